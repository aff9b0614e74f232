#pragma once
// Shared helpers for the window tests: one QApplication for the whole run, collected errors.
#include "app/application.h"
#include "app/main_form.h"

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>
#include <string>

namespace skytest {

inline QApplication &app() {
    static int argc = 1;
    static char name[] = "skyvane-tests";
    static char *argv[] = {name, nullptr};
    static sky::TApplication *a = [] {
        // Offscreen unless a platform is named (the tests run under X name "xcb").
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        return new sky::TApplication(argc, argv);
    }();
    return *a;
}

// Collects what the default error handler would show, for the lifetime of the object.
class ErrorCollector {
public:
    ErrorCollector() {
        app();
        old_ = sky::SetErrorSink([this](const QString &m) { messages << m; });
    }
    ~ErrorCollector() { sky::SetErrorSink(std::move(old_)); }
    QStringList messages;

private:
    sky::ErrorSink old_;
};

// The process runs: it exists and is no zombie (an orphan's new parent may reap it late).
inline bool ProcessRunning(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const qsizetype at = text.lastIndexOf(')');
    return at >= 0 && at + 2 < text.size() && text[at + 2] != 'Z';
}

// Runs the event loop until `done` holds or `ms` milliseconds have passed.
inline bool waitFor(const std::function<bool()> &done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

inline QByteArray readFile(const QString &path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

inline void writeFile(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

// What a render wrote to `out` (a temporary file, closed here): one JSON object a line.
inline QList<QJsonObject> JsonLines(FILE *out) {
    std::rewind(out);
    QByteArray text;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, out)) > 0;)
        text.append(buf, static_cast<qsizetype>(n));
    std::fclose(out);
    QList<QJsonObject> lines;
    for (const QByteArray &l : text.trimmed().split('\n'))
        if (!l.isEmpty())
            lines << QJsonDocument::fromJson(l).object();
    return lines;
}

// One sweep line in the tool's layout: n noise levels around -51 dB with one -20 dB peak.
inline std::string SweepText(double lowHz, double stepHz, int n, int peakAt) {
    std::string l = "2026-12-07, 21:00:00, " + std::to_string(static_cast<long long>(lowHz)) + ", 0, " +
                    std::to_string(stepHz) + ", 10";
    for (int i = 0; i < n; ++i)
        l += i == peakAt ? ", -20.00" : (i % 2 ? ", -50.00" : ", -52.00");
    return l + "\n";
}

// A window whose scan cycle is stopped, shown at its first size: the tests hand it sweeps
// themselves (AssembleSweep, or a scan.csv and IngestSweepFile).
struct QuietWindow {
    ErrorCollector errors;
    QTemporaryDir dir;
    sky::TForm1 form{sky::StartOptions{dir.path(), dir.filePath("no-tool")}};
    QuietWindow() {
        form.scanThread->RequestStop();
        form.scanThread->wait();
        form.resize(716, 386);
        form.show();
        waitFor([] { return false; }, 30);
    }
};

} // namespace skytest
