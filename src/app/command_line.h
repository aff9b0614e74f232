#pragma once
// The program's own command-line options, checked before any window opens.
#include <QString>
#include <QStringList>

namespace sky {

struct CommandLine {
    enum Action { Run, Render, Replay, Help, Version, Fail } action = Run;
    QString pluginsDir;
    QString sweepTool;
    // --render OUT.png [--size WxH | --size Wxauto] [--trace-csv OUT.csv] FILE...
    QString renderOutput;
    int width = 716, height = 386;
    bool autoHeight = false; // the waterfall as tall as the sweeps read need
    QStringList files;
    QString traceCsv; // --trace-csv OUT.csv: the last sweep's trace as "Save Trace..." writes it
    // --replay FILE [--speed X]
    QString replayFile;
    double speed = 1.0; // recorded seconds per wall-clock second
    QString error;      // one line, for Fail
};

// `args` without the program name. Qt's own window-system options (-platform NAME and the like)
// are let through for QApplication.
CommandLine ParseCommandLine(const QStringList &args);
QString UsageText();

} // namespace sky
