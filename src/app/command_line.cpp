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
        } else if (isQtOptionWithValue(a)) {
            ++i;
        } else if (isQtFlag(a)) {
        } else {
            return fail(QStringLiteral("skyvane: unknown option '%1' (try --help)").arg(a));
        }
    }
    return cl;
}

} // namespace sky
