#include "app/command_line.h"

#include <QFileInfo>

namespace sky {

namespace {

bool isQtOptionWithValue(const QString &a) {
    static const QStringList names = {"-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-display",
                                      "-style", "-stylesheet", "-qwindowgeometry", "-qwindowtitle",
                                      "-qwindowicon", "-geometry", "-session", "-title", "-name"};
    return names.contains(a);
}

bool isQtFlag(const QString &a) {
    static const QStringList names = {"-reverse", "-widgetcount", "-nograb", "-dograb", "-sync"};
    return names.contains(a);
}

} // namespace

QString UsageText() {
    return QStringLiteral(
        "Usage: skyvane [OPTION]...\n"
        "Live panoramic spectrum from an RTL2832U receiver and the rtl_power sweep tool.\n"
        "\n"
        "  --plugins-dir DIR   working folder (settings.ini, scan.csv, screenshots, recordings)\n"
        "                      instead of the plugins folder beside the program\n"
        "  --sweep-tool PATH   run this program instead of the rtl_power found in the\n"
        "                      plugins folder or on PATH\n"
        "  --render OUT.png [--size WxH] FILE...\n"
        "                      read each rtl_power CSV FILE as one sweep, write the window as\n"
        "                      it would look to OUT.png and one JSON line per FILE to stdout;\n"
        "                      starts no sweep tool and changes no file but OUT.png\n"
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
            cl.action = CommandLine::Render;
        } else if (a == QLatin1String("--size")) {
            QString size;
            if (!value(size))
                return fail(QStringLiteral("skyvane: --size needs WIDTHxHEIGHT"));
            const QStringList wh = size.split(QLatin1Char('x'));
            bool okW = false, okH = false;
            const int w = wh.size() == 2 ? wh[0].toInt(&okW) : 0;
            const int h = wh.size() == 2 ? wh[1].toInt(&okH) : 0;
            if (!okW || !okH || w < 716 || h < 386 || w > 8192 || h > 8192)
                return fail(QStringLiteral("skyvane: --size takes WIDTHxHEIGHT from 716x386 to 8192x8192, not '%1'")
                                .arg(size));
            cl.width = w;
            cl.height = h;
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
    if (cl.action != CommandLine::Render && (cl.width != 716 || cl.height != 386))
        return fail(QStringLiteral("skyvane: --size goes with --render"));
    return cl;
}

} // namespace sky
