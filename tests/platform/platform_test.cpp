#include "platform/platform.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#ifdef __linux__
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace sky;
using namespace std::chrono_literals;

namespace {

bool processAlive(pid_t pid) {
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    QFile f(QString::fromLatin1(path));
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray s = f.readAll();
    const qsizetype p = s.lastIndexOf(')');
    return p > 0 && p + 2 < s.size() && s[p + 2] != 'Z';
}

// Copies /bin/sleep under another name so the process shows that name.
QString sleeperNamed(const QTemporaryDir &dir, const QString &name) {
    const QString path = dir.filePath(name);
    QFile::copy(QStringLiteral("/bin/sleep"), path);
    QFile(path).setPermissions(QFile::ExeOwner | QFile::ReadOwner | QFile::WriteOwner);
    return path;
}

} // namespace

TEST(SplitCommandLine, SplitsAtBlanksLikeWindows) {
    EXPECT_EQ(SplitCommandLine("-f 430000000h:470000000h:50k -g 12.5 -p 0 -d 0 -1 -i 0.5s -w hamming scan.csv"),
              QStringList({"-f", "430000000h:470000000h:50k", "-g", "12.5", "-p", "0", "-d", "0", "-1", "-i",
                           "0.5s", "-w", "hamming", "scan.csv"}));
    EXPECT_EQ(SplitCommandLine("  a\t b  "), QStringList({"a", "b"}));
    // Shell syntax is just text.
    EXPECT_EQ(SplitCommandLine("-g 50k;touch x $(id) `id` |cat"),
              QStringList({"-g", "50k;touch", "x", "$(id)", "`id`", "|cat"}));
    // Quotes group, backslashes escape only before a quote.
    EXPECT_EQ(SplitCommandLine(R"("a b" c)"), QStringList({"a b", "c"}));
    EXPECT_EQ(SplitCommandLine(R"(a\\b \"x\" "c\\" d)"), QStringList({R"(a\\b)", R"("x")", R"(c\)", "d"}));
    EXPECT_EQ(SplitCommandLine(R"(x "" y)"), QStringList({"x", "", "y"}));
    EXPECT_EQ(SplitCommandLine(R"("a""b")"), QStringList({R"(a"b)"}));
    EXPECT_TRUE(SplitCommandLine("   ").isEmpty());
}

TEST(PluginsDir, IsTheFolderBesideTheExecutable) {
    EXPECT_EQ(PluginsDirFor("/opt/sky/bin/skyvane"), "/opt/sky/bin/plugins/");
}

TEST(TimeStampName, HasNoColonsAndNoTimeZone) {
    const QString name = TimeStampName();
    EXPECT_FALSE(name.isEmpty());
    EXPECT_FALSE(name.contains(':'));
    EXPECT_FALSE(name.contains("UTC"));
    EXPECT_TRUE(name.contains('-'));
}

TEST(TickCount, AdvancesInMilliseconds) {
    const auto a = TickCount();
    std::this_thread::sleep_for(50ms);
    const std::uint32_t d = TickCount() - a; // unsigned difference survives a wrap
    EXPECT_GE(d, 45u);
    EXPECT_LT(d, 5000u);
}

TEST(IsFileBusy, MissingFreeHeldAndReadOnly) {
    QTemporaryDir dir;
    const QString path = dir.filePath("scan.csv");
    EXPECT_FALSE(IsFileBusy(path)); // missing: not busy
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    EXPECT_FALSE(IsFileBusy(path));

    // A child process holding the file open makes it busy until it exits.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = open(path.toLocal8Bit().constData(), O_RDONLY);
        (void)fd;
        pause();
        _exit(0);
    }
    bool sawBusy = false;
    for (int i = 0; i < 200 && !sawBusy; ++i) {
        sawBusy = IsFileBusy(path);
        if (!sawBusy)
            std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(sawBusy);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_FALSE(IsFileBusy(path));

    // Our own open handle does not count.
    {
        QFile own(path);
        ASSERT_TRUE(own.open(QIODevice::ReadOnly));
        EXPECT_FALSE(IsFileBusy(path));
    }

    // A file that cannot be opened for reading and writing counts as busy (not as root).
    if (geteuid() != 0) {
        QFile::setPermissions(path, QFile::ReadOwner);
        EXPECT_TRUE(IsFileBusy(path));
    }
}

TEST(LaunchDetached, NoShellNoZombiesMissingProgramQuiet) {
    QTemporaryDir dir;
    // Shell syntax reaches the program as plain arguments and runs nothing.
    const QString marker = dir.filePath("pwned");
    const qint64 pid = LaunchDetached("/bin/echo", SplitCommandLine("x;touch " + marker + " $(touch " + marker + ")"),
                                      dir.path());
    ASSERT_GT(pid, 0);
    for (int i = 0; i < 200 && ReapLaunchedChildren() > 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(ReapLaunchedChildren(), 0);
    EXPECT_FALSE(QFile::exists(marker));

    // The working folder is the one given.
    ASSERT_GT(LaunchDetached("/usr/bin/touch", {"here"}, dir.path()), 0);
    for (int i = 0; i < 200 && ReapLaunchedChildren() > 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(QFile::exists(dir.filePath("here")));

    // A missing program starts nothing and leaves nothing behind, however often it is tried.
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(LaunchDetached(dir.filePath("no-such-tool"), {"-1"}, dir.path()), 0);
    EXPECT_EQ(LaunchDetached("no-such-tool-on-path", {}, dir.path()), 0);
    EXPECT_EQ(ReapLaunchedChildren(), 0);

    // A program that fails at once many times: all of them are reaped.
    for (int i = 0; i < 50; ++i)
        ASSERT_GT(LaunchDetached("/bin/false", {}, dir.path()), 0);
    for (int i = 0; i < 300 && ReapLaunchedChildren() > 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(ReapLaunchedChildren(), 0);
}

TEST(KillProcessesByName, EndsMatchingProcessesOnly) {
    QTemporaryDir dir;
    // A name no other test run or running program has: this test must not end theirs.
    const QString tag = QString::number(getpid());
    const QString victim = sleeperNamed(dir, "my_RTL_POWER_copy" + tag); // lower-cased name contains the text
    const QString bystander = sleeperNamed(dir, "rtl_powe_r" + tag);
    const qint64 v = LaunchDetached(victim, {"30"}, dir.path());
    const qint64 b = LaunchDetached(bystander, {"30"}, dir.path());
    ASSERT_GT(v, 0);
    ASSERT_GT(b, 0);
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(processAlive(static_cast<pid_t>(v)));

    EXPECT_GE(KillProcessesByName("rtl_power_copy" + tag), 1);
    EXPECT_FALSE(processAlive(static_cast<pid_t>(v)));
    EXPECT_TRUE(processAlive(static_cast<pid_t>(b)));
    // The given text itself is not lower-cased.
    EXPECT_EQ(KillProcessesByName("RTL_POWE_R" + tag), 0);
    EXPECT_TRUE(processAlive(static_cast<pid_t>(b)));

    kill(static_cast<pid_t>(b), SIGKILL);
    for (int i = 0; i < 200 && ReapLaunchedChildren() > 0; ++i)
        std::this_thread::sleep_for(10ms);
    EXPECT_EQ(ReapLaunchedChildren(), 0);
}

// Two windows with two plugins folders: start-up ends only the tools working in its own folder.
TEST(KillSweepToolsIn, EndsOnlyToolsWorkingInThatFolder) {
    QTemporaryDir dir, mine, theirs;
    const QString tag = QString::number(getpid());
    const QString tool = sleeperNamed(dir, "rtl_power_left" + tag);
    const qint64 left = LaunchDetached(tool, {"30"}, mine.path());
    const qint64 other = LaunchDetached(tool, {"30"}, theirs.path());
    ASSERT_GT(left, 0);
    ASSERT_GT(other, 0);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(KillSweepToolsIn("rtl_power_left" + tag, mine.path() + "/"), 1);
    EXPECT_FALSE(processAlive(static_cast<pid_t>(left)));
    EXPECT_TRUE(processAlive(static_cast<pid_t>(other)));
    EXPECT_EQ(KillSweepToolsIn("rtl_power_left" + tag, dir.filePath("missing")), 0);
    kill(static_cast<pid_t>(other), SIGKILL);
    for (int i = 0; i < 200 && ReapLaunchedChildren() > 0; ++i)
        std::this_thread::sleep_for(10ms);
}

// Only a regular file can be a sweep file: a FIFO or a folder of that name is never "busy" (so the
// window gets to say what it is), and testing it never blocks.
TEST(IsFileBusy, FifosAndFoldersAreNotBusyAndNeverBlock) {
    QTemporaryDir dir;
    const QString fifo = dir.filePath("scan.csv");
    ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    EXPECT_FALSE(IsFileBusy(fifo));
    EXPECT_FALSE(IsFileHeldByAnyProcess(dir.filePath("missing")));
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    EXPECT_FALSE(IsFileBusy(dir.filePath("folder")));
}

// Two threads of one process testing the same free file at once never see each other as the
// holder (the scan worker and the window may both ask).
TEST(IsFileBusy, ConcurrentTestsInOneProcessAgreeTheFileIsFree) {
    QTemporaryDir dir;
    const QString path = dir.filePath("scan.csv");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    std::atomic<int> busy{0};
    auto probe = [&] {
        for (int i = 0; i < 3000; ++i)
            busy += IsFileBusy(path);
    };
    std::thread a(probe), b(probe);
    a.join();
    b.join();
    EXPECT_EQ(busy.load(), 0);
}

#ifdef Q_OS_LINUX
// The worker's priority is lowered for its own thread only: the thread that asked gives way,
// the others (the window thread) keep theirs.
TEST(Platform, LoweringAThreadsPriorityLeavesTheOthersAlone) {
    const auto niceOf = [](long tid) { return getpriority(PRIO_PROCESS, static_cast<id_t>(tid)); };
    const long self = syscall(SYS_gettid);
    const int before = niceOf(self);
    int inside = 0, insideBefore = 0;
    std::thread worker([&] {
        const long tid = syscall(SYS_gettid);
        insideBefore = niceOf(tid);
        ASSERT_TRUE(sky::LowerCurrentThreadPriority());
        inside = niceOf(tid);
    });
    worker.join();
    EXPECT_EQ(inside, std::min(insideBefore + 5, 19));
    EXPECT_EQ(niceOf(self), before) << "the calling thread's neighbours keep their priority";
}
#endif
