#include "scan/sweep_tool.h"

namespace sky {

QString BuildSweepParameters(const ScanParams &p) {
    QString s;
    s += QStringLiteral("-f ");
    s += p.freqMinHz;
    s += QStringLiteral("h");
    s += QStringLiteral(":");
    s += p.freqMaxHz;
    s += QStringLiteral("h");
    s += QStringLiteral(":");
    s += p.freqStep;
    s += QStringLiteral(" -g ");
    s += p.gainLevel;
    s += QStringLiteral(" -p ");
    s += p.ppmCorrection;
    s += QStringLiteral(" -d ");
    s += p.dongleNumber;
    s += QStringLiteral(" -1");
    s += QStringLiteral(" -i 0.5s");
    s += QStringLiteral(" -w hamming");
    s += QLatin1Char(' ') + QLatin1String(kSweepFileName);
    return s;
}

} // namespace sky
