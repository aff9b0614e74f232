#pragma once
// One run of the sweep tool as the window's child: started without a shell in the plugins folder,
// in a process group of its own (ended whole, so a wrapper script's children go too), standard
// output discarded, the tail of its error output kept so that a tool that fails ("No supported
// devices found.") can say why.
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace sky {

class SweepToolRun : public QObject {
    Q_OBJECT
public:
    explicit SweepToolRun(QObject *parent = nullptr);
    ~SweepToolRun() override; // ends a run still going

    // Starts the program; false when a run is still going. A program that cannot be started
    // reports through `ended` like one that fails at once.
    bool Start(const QString &program, const QStringList &arguments, const QString &workingDir);
    bool Running() const;
    // Ends a run still going and waits for it (briefly: the tool dies on SIGKILL at once).
    void Stop();
    // The line of the run's error output that says what failed (see FailureLine), or why it
    // could not start.
    QString LastErrorLine() const;
    // The run's error output as kept (its last kErrorTail bytes), or why it could not start.
    QString ErrorOutput() const;
    // rtl_power writes set-up lines around its failure ("No supported devices found." comes
    // before nine of them): the last of its known failure lines, else the last non-empty line.
    static QString FailureLine(const QByteArray &errorOutput);
    qint64 ProcessId() const;

    // How much error output is kept: enough for the last lines of any message.
    static constexpr qsizetype kErrorTail = 4096;

signals:
    // The run is over: exit code (-1 for a crash or a failed start) and the last error line.
    void ended(int exitCode, const QString &lastErrorLine);

private:
    void readErrorOutput();
    void finish(int exitCode);

    QProcess *process_ = nullptr;
    QByteArray errorTail_;
    QString startError_;
    bool running_ = false;
    qint64 group_ = 0; // the run's process group (its first process's id)
};

} // namespace sky
