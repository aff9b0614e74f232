#include "scan/sweep_tool.h"

#include "scan/receiver_options.h"

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
    const ScanParams defaults;
    s += QStringLiteral(" -i ");
    s += ValidateInterval(p.interval).value_or(defaults.interval);
    if (const QString crop = ValidateCrop(p.crop).value_or(defaults.crop); !crop.isEmpty())
        s += QStringLiteral(" -c ") + crop;
    s += QStringLiteral(" -w ");
    s += ValidateWindow(p.window).value_or(defaults.window);
    s += QLatin1Char(' ') + QLatin1String(kSweepFileName);
    return s;
}

} // namespace sky
