#include "app/command_line.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace sky;

TEST(CommandLine, OptionsAndErrors) {
    QTemporaryDir dir;
    auto cl = ParseCommandLine({"--plugins-dir", dir.path(), "--sweep-tool", "/bin/true"});
    EXPECT_EQ(cl.action, CommandLine::Run);
    EXPECT_EQ(cl.pluginsDir, dir.path());
    EXPECT_EQ(cl.sweepTool, "/bin/true");
    EXPECT_EQ(ParseCommandLine({"--help"}).action, CommandLine::Help);
    EXPECT_EQ(ParseCommandLine({"--version"}).action, CommandLine::Version);
    EXPECT_EQ(ParseCommandLine({"-platform", "offscreen"}).action, CommandLine::Run);
    for (const QStringList &bad : {QStringList{"--bogus"}, QStringList{"--plugins-dir"},
                                   QStringList{"--plugins-dir", dir.filePath("missing")},
                                   QStringList{"--sweep-tool", dir.filePath("missing")}, QStringList{"extra"}}) {
        const auto r = ParseCommandLine(bad);
        EXPECT_EQ(r.action, CommandLine::Fail) << bad.join(' ').toStdString();
        EXPECT_FALSE(r.error.contains('\n'));
        EXPECT_FALSE(r.error.isEmpty());
    }
}

TEST(CommandLine, ExecutableExitsWithStatus2BeforeAnyWindow) {
    QProcess p;
    p.setProgram(SKYVANE_EXE_PATH);
    p.setArguments({"--no-such-option"});
    p.start();
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 2);
    const QByteArray err = p.readAllStandardError();
    EXPECT_TRUE(err.contains("--no-such-option"));
    EXPECT_EQ(err.count('\n'), 1);

    p.setArguments({"--version"});
    p.start();
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(p.readAllStandardOutput().startsWith("skyvane "));
}
