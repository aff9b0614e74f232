#include "app/application.h"

#include "platform/error.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QMessageBox>

namespace sky {

namespace {

ErrorSink &sink() {
    static ErrorSink s;
    return s;
}

} // namespace

void ShowError(const QString &message) {
    if (sink()) {
        sink()(message);
        return;
    }
    QMessageBox::critical(nullptr, QStringLiteral("Skyvane"), message);
}

ErrorSink SetErrorSink(ErrorSink s) {
    ErrorSink old = std::move(sink());
    sink() = std::move(s);
    return old;
}

void EnsureTahoma() {
    if (QFontDatabase::hasFamily(QStringLiteral("Tahoma")))
        return;
    // The window's layout was made for Tahoma's widths; Wine's metric-compatible Tahoma (Debian's
    // fonts-wine, which the set-up installs) keeps every text in its place where Tahoma is not.
    for (const char *file : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
        if (QFileInfo::exists(QString::fromLatin1(file)))
            QFontDatabase::addApplicationFont(QString::fromLatin1(file));
    }
}

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Skyvane"));
    setApplicationVersion(QStringLiteral(SKYVANE_VERSION));
    EnsureTahoma();
}

bool TApplication::notify(QObject *receiver, QEvent *event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const Error &e) {
        ShowError(e.text());
    } catch (const std::exception &e) {
        ShowError(QString::fromLocal8Bit(e.what()));
    }
    return false;
}

} // namespace sky
