#include "scan/sweep_tool_run.h"

#ifndef Q_OS_WIN
#include <csignal>
#include <unistd.h>
#endif

namespace sky {

SweepToolRun::SweepToolRun(QObject *parent) : QObject(parent) {}

SweepToolRun::~SweepToolRun() { Stop(); }

bool SweepToolRun::Start(const QString &program, const QStringList &arguments, const QString &workingDir) {
    if (running_)
        return false;
    if (process_)
        process_->deleteLater();
    errorTail_.clear();
    startError_.clear();
    process_ = new QProcess(this);
    process_->setProgram(program);
    process_->setArguments(arguments); // each argument as it is: no shell sees them
    process_->setWorkingDirectory(workingDir);
    process_->setStandardInputFile(QProcess::nullDevice());
    process_->setStandardOutputFile(QProcess::nullDevice());
    process_->setProcessChannelMode(QProcess::SeparateChannels);
#ifndef Q_OS_WIN
    // A group of its own: a wrapper script's children end with it.
    process_->setChildProcessModifier([] { ::setpgid(0, 0); });
#endif
    connect(process_, &QProcess::readyReadStandardError, this, &SweepToolRun::readErrorOutput);
    connect(process_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        finish(status == QProcess::NormalExit ? code : -1);
    });
    connect(process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        startError_ = QStringLiteral("Cannot start %1: %2").arg(process_->program(), process_->errorString());
        finish(-1);
    });
    connect(process_, &QProcess::started, this, [this] { group_ = process_->processId(); });
    group_ = 0;
    running_ = true;
    process_->start(QIODevice::ReadOnly);
    group_ = process_->processId(); // known once started, before its started() is delivered
    return true;
}

bool SweepToolRun::Running() const { return running_; }

void SweepToolRun::Stop() {
    if (!process_ || process_->state() == QProcess::NotRunning)
        return;
    process_->disconnect(this);
#ifndef Q_OS_WIN
    if (group_ <= 0)
        group_ = process_->processId();
    if (group_ > 0)
        ::kill(-pid_t(group_), SIGKILL); // the whole group: what the tool started goes too
#endif
    process_->kill();
    process_->waitForFinished(1000);
    running_ = false;
}

QString SweepToolRun::FailureLine(const QByteArray &errorOutput) {
    // What rtl_power's lines say when something failed (the tuner's own start with its tag:
    // "[R82XX] PLL not locked!").
    static const char *const kFailures[] = {"No supported devices found", "No matching devices found",
                                            "Failed to open",             "usb_claim_interface error",
                                            "Bad frequency range", "Error: bandwidth too wide",
                                            "Error: dropped samples",     "PLL not locked"};
    QByteArray last;
    const QList<QByteArray> lines = errorOutput.split('\n');
    for (auto it = lines.crbegin(); it != lines.crend(); ++it) {
        const QByteArray line = it->trimmed();
        if (line.isEmpty())
            continue;
        if (last.isEmpty())
            last = line;
        for (const char *failure : kFailures)
            if (line.contains(failure))
                return QString::fromLocal8Bit(line);
    }
    return QString::fromLocal8Bit(last);
}

QString SweepToolRun::LastErrorLine() const {
    return startError_.isEmpty() ? FailureLine(errorTail_) : startError_;
}

QString SweepToolRun::ErrorOutput() const {
    return startError_.isEmpty() ? QString::fromLocal8Bit(errorTail_).trimmed() : startError_;
}

qint64 SweepToolRun::ProcessId() const { return process_ ? process_->processId() : 0; }

void SweepToolRun::readErrorOutput() {
    errorTail_ += process_->readAllStandardError();
    if (errorTail_.size() > kErrorTail)
        errorTail_.remove(0, errorTail_.size() - kErrorTail);
}

void SweepToolRun::finish(int exitCode) {
    if (!running_)
        return;
#ifndef Q_OS_WIN
    // The tool is gone; children it left in its group go with it.
    if (group_ > 0)
        ::kill(-pid_t(group_), SIGKILL);
#endif
    readErrorOutput();
    running_ = false;
    emit ended(exitCode, LastErrorLine());
}

} // namespace sky
