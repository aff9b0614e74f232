#include "app/command_line.h"

#include "platform/numtext.h"

#include <QFileInfo>

#include <cmath>

namespace sky {

namespace {

bool isQtOptionWithValue(const QString &a) {
    static const QStringList names = {
        "-platform",        "-platformpluginpath", "-platformtheme", "-plugin",   "-display", "-style", "-stylesheet",
        "-qwindowgeometry", "-qwindowtitle",       "-qwindowicon",   "-geometry", "-session", "-title", "-name"};
    return names.contains(a);
}

bool isQtFlag(const QString &a) {
    static const QStringList names = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};
    return names.contains(a);
}

} // namespace

QString UsageText() {
    return QStringLiteral("Usage: skyvane [OPTION]...\n"
                          "Live panoramic spectrum from an RTL2832U receiver and the rtl_power sweep tool.\n"
                          "\n"
                          "  --plugins-dir DIR   working folder (settings.ini, scan.csv, screenshots, recordings)\n"
                          "                      instead of the plugins folder beside the program\n"
                          "  --sweep-tool PATH   run this program instead of the rtl_power found in the\n"
                          "                      plugins folder or on PATH\n"
                          "  --render OUT.png [--size WxH|Wxauto] [--trace-csv OUT.csv] FILE...\n"
                          "                      read each rtl_power CSV FILE, split into its sweeps, through the\n"
                          "                      window's ingest, write the window as it would look to OUT.png\n"
                          "                      and one JSON line per FILE to stdout; with Wxauto the waterfall\n"
                          "                      is as tall as the sweeps need; starts no sweep tool and changes\n"
                          "                      no file but OUT.png (and OUT.csv: the last sweep's\n"
                          "                      trace, one row per bin)\n"
                          "  --replay FILE [--speed X]\n"
                          "                      play a capture of many sweeps in the window at the pace of its\n"
                          "                      time stamps, X times faster (default 1); starts no sweep tool\n"
                          "  --help              show this help and exit\n"
                          "  --version           show the version and exit\n");
}

CommandLine ParseCommandLine(const QStringList &args) {
    CommandLine cl;
    auto fail = [&](const QString &msg) {
        cl.action = CommandLine::Fail;
        cl.error = msg;
        return cl;
    };
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        auto value = [&](QString &out) -> bool {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            cl.action = CommandLine::Help;
        } else if (a == QLatin1String("--version")) {
            if (cl.action != CommandLine::Help)
                cl.action = CommandLine::Version;
        } else if (a == QLatin1String("--plugins-dir")) {
            if (!value(cl.pluginsDir) || cl.pluginsDir.isEmpty())
                return fail(QStringLiteral("skyvane: --plugins-dir needs a folder"));
            if (!QFileInfo(cl.pluginsDir).isDir())
                return fail(QStringLiteral("skyvane: plugins folder not found: %1").arg(cl.pluginsDir));
        } else if (a == QLatin1String("--sweep-tool")) {
            if (!value(cl.sweepTool) || cl.sweepTool.isEmpty())
                return fail(QStringLiteral("skyvane: --sweep-tool needs a program"));
            const QFileInfo tool(cl.sweepTool);
            if (!tool.isFile() || !tool.isExecutable())
                return fail(QStringLiteral("skyvane: sweep tool not found or not executable: %1").arg(cl.sweepTool));
            cl.sweepTool = tool.absoluteFilePath();
        } else if (a == QLatin1String("--render")) {
            if (!value(cl.renderOutput) || cl.renderOutput.isEmpty())
                return fail(QStringLiteral("skyvane: --render needs an output PNG file"));
            if (cl.action == CommandLine::Replay)
                return fail(QStringLiteral("skyvane: --render and --replay do not go together"));
            cl.action = CommandLine::Render;
        } else if (a == QLatin1String("--size")) {
            QString size;
            if (!value(size))
                return fail(QStringLiteral("skyvane: --size needs WIDTHxHEIGHT"));
            const QStringList wh = size.split(QLatin1Char('x'));
            bool okW = false, okH = false;
            const int w = wh.size() == 2 ? wh[0].toInt(&okW) : 0;
            const bool autoHeight = wh.size() == 2 && wh[1] == QLatin1String("auto");
            const int h = autoHeight ? 386 : wh.size() == 2 ? wh[1].toInt(&okH) : 0;
            okH = okH || autoHeight;
            if (!okW || !okH || w < 716 || h < 386 || w > 8192 || h > 8192)
                return fail(QStringLiteral("skyvane: --size takes WIDTHxHEIGHT from 716x386 to 8192x8192 or "
                                           "WIDTHxauto, not '%1'")
                                .arg(size));
            cl.width = w;
            cl.height = h;
            cl.autoHeight = autoHeight;
        } else if (a == QLatin1String("--trace-csv")) {
            if (!value(cl.traceCsv) || cl.traceCsv.isEmpty())
                return fail(QStringLiteral("skyvane: --trace-csv needs an output CSV file"));
        } else if (a == QLatin1String("--replay")) {
            if (!value(cl.replayFile) || cl.replayFile.isEmpty())
                return fail(QStringLiteral("skyvane: --replay needs a sweep file"));
            if (!QFileInfo(cl.replayFile).isFile())
                return fail(QStringLiteral("skyvane: sweep file not found: %1").arg(cl.replayFile));
            if (cl.action == CommandLine::Render)
                return fail(QStringLiteral("skyvane: --render and --replay do not go together"));
            cl.action = CommandLine::Replay;
        } else if (a == QLatin1String("--speed")) {
            QString text;
            const std::optional<double> x = value(text) ? ParseFloat(text) : std::nullopt;
            if (!x || !(*x >= 0.01 && *x <= 10000))
                return fail(QStringLiteral("skyvane: --speed takes a factor from 0.01 to 10000, not '%1'").arg(text));
            cl.speed = *x;
        } else if (!a.startsWith(QLatin1Char('-')) && cl.action == CommandLine::Render) {
            cl.files << a;
        } else if (isQtOptionWithValue(a)) {
            ++i;
        } else if (isQtFlag(a)) {
        } else {
            return fail(QStringLiteral("skyvane: unknown option '%1' (try --help)").arg(a));
        }
    }
    if (cl.action == CommandLine::Render && cl.files.isEmpty())
        return fail(QStringLiteral("skyvane: --render needs at least one sweep file"));
    if (cl.action != CommandLine::Render && (cl.width != 716 || cl.height != 386 || cl.autoHeight))
        return fail(QStringLiteral("skyvane: --size goes with --render"));
    if (cl.action != CommandLine::Render && !cl.traceCsv.isEmpty())
        return fail(QStringLiteral("skyvane: --trace-csv goes with --render"));
    if (cl.action != CommandLine::Replay && cl.speed != 1.0)
        return fail(QStringLiteral("skyvane: --speed goes with --replay"));
    return cl;
}

} // namespace sky
