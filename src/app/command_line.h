#pragma once
// The program's own command-line options, checked before any window opens.
#include <QString>
#include <QStringList>

namespace sky {

struct CommandLine {
    enum Action { Run, Render, Help, Version, Fail } action = Run;
    QString pluginsDir;
    QString sweepTool;
    // --render OUT.png [--size WxH] FILE...
    QString renderOutput;
    int width = 716, height = 386;
    QStringList files;
    QString error; // one line, for Fail
};

// `args` without the program name. Qt's own window-system options (-platform NAME and the like)
// are let through for QApplication.
CommandLine ParseCommandLine(const QStringList &args);
QString UsageText();

} // namespace sky
