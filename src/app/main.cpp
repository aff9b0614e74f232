#include "app/application.h"
#include "app/command_line.h"
#include "app/main_form.h"
#include "app/render_mode.h"
#include "app/replay.h"
#include "platform/platform.h"

#include <cstdio>
#include <functional>

namespace {

// Shows the window and runs it until it closes. Log-out, kill and Ctrl-C close it as Close does:
// recordings completed, the sweep tool ended.
int RunWindow(QApplication &app, sky::TForm1 &form, const std::function<void()> &shown = {}) {
    QObject::connect(&form, &sky::TForm1::closed, &app, &QCoreApplication::quit);
    sky::WatchTerminationRequests([&form] { form.TerminationRequested(); });
    form.show();
    if (shown)
        shown();
    const int rc = app.exec();
    sky::WatchTerminationRequests([] {}); // closing already: a second request waits for it
    return rc;
}

} // namespace

int main(int argc, char **argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const sky::CommandLine cl = sky::ParseCommandLine(args);
    switch (cl.action) {
    case sky::CommandLine::Fail:
        std::fprintf(stderr, "%s\n", cl.error.toLocal8Bit().constData());
        return 2;
    case sky::CommandLine::Help:
        std::fputs(sky::UsageText().toLocal8Bit().constData(), stdout);
        return 0;
    case sky::CommandLine::Version:
        std::printf("skyvane %s\n", SKYVANE_VERSION);
        return 0;
    case sky::CommandLine::Run:
    case sky::CommandLine::Render:
    case sky::CommandLine::Replay:
        break;
    }

    if (cl.action == sky::CommandLine::Render) {
        // No screen needed: draw offscreen unless a platform was chosen.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        sky::TApplication app(argc, argv);
        return sky::RunRender(cl, stdout, stderr);
    }

    sky::TApplication app(argc, argv);
    if (cl.action == sky::CommandLine::Replay) {
        sky::StartOptions options;
        options.pluginsDir = cl.pluginsDir;
        options.replay = true;
        sky::TForm1 form(options);
        QString error;
        const auto replay = sky::TReplay::FromFile(form, cl.replayFile, cl.speed, error);
        if (!replay) {
            std::fprintf(stderr, "skyvane: %s\n", error.toLocal8Bit().constData());
            return 2;
        }
        return RunWindow(app, form, [&replay] { replay->Start(); });
    }
    sky::TForm1 form({cl.pluginsDir, cl.sweepTool});
    return RunWindow(app, form);
}
