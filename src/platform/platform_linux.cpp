// Linux implementation of the platform layer: posix_spawn instead of the shell, /proc instead of
// the process snapshot and the exclusive open.
#include "platform/platform.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>
#include <dirent.h>

extern char **environ;

namespace sky {

namespace {

std::mutex childMutex;
std::vector<pid_t> children; // started by LaunchDetached and not reaped yet

int reapLocked() {
    for (auto it = children.begin(); it != children.end();) {
        const pid_t r = waitpid(*it, nullptr, WNOHANG);
        if (r == *it || (r < 0 && errno == ECHILD))
            it = children.erase(it);
        else
            ++it;
    }
    return static_cast<int>(children.size());
}

bool isNumber(const char *s) {
    if (!*s)
        return false;
    for (; *s; ++s)
        if (*s < '0' || *s > '9')
            return false;
    return true;
}

template <typename F> void forEachProcess(F &&f) {
    DIR *proc = opendir("/proc");
    if (!proc)
        return;
    while (dirent *e = readdir(proc)) {
        if (isNumber(e->d_name))
            f(static_cast<pid_t>(std::atol(e->d_name)));
    }
    closedir(proc);
}

// The executable's file name as the system reports it, or empty when it cannot be read.
QString executableName(pid_t pid) {
    char link[64], target[4096];
    std::snprintf(link, sizeof link, "/proc/%d/exe", static_cast<int>(pid));
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n > 0) {
        QString path = QString::fromLocal8Bit(target, n);
        if (path.endsWith(QLatin1String(" (deleted)")))
            path.chop(10);
        return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
    }
    // No access to the link (another user's process): fall back to the short command name.
    std::snprintf(link, sizeof link, "/proc/%d/comm", static_cast<int>(pid));
    const int fd = open(link, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {};
    const ssize_t m = read(fd, target, sizeof target - 1);
    close(fd);
    if (m <= 0)
        return {};
    return QString::fromLocal8Bit(target, m).trimmed();
}

// True once the process is gone or only a zombie is left of it.
bool hasEnded(pid_t pid) {
    char path[64], buf[512];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return true;
    const ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    if (n <= 0)
        return true;
    buf[n] = 0;
    const char *paren = std::strrchr(buf, ')');
    return !paren || paren[1] == 0 || paren[2] == 'Z' || paren[2] == 'X';
}

// True when one of the process's open files is the file `st` describes.
bool heldBy(pid_t pid, const struct stat &st) {
    char fdDir[64];
    std::snprintf(fdDir, sizeof fdDir, "/proc/%d/fd", static_cast<int>(pid));
    const int dfd = open(fdDir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0)
        return false;
    DIR *d = fdopendir(dfd);
    if (!d) {
        close(dfd);
        return false;
    }
    bool held = false;
    while (dirent *e = readdir(d)) {
        if (!isNumber(e->d_name))
            continue;
        struct stat fst;
        if (fstatat(dfd, e->d_name, &fst, 0) == 0 && fst.st_ino == st.st_ino && fst.st_dev == st.st_dev) {
            held = true;
            break;
        }
    }
    closedir(d);
    return held;
}

} // namespace

QString SweepToolFileName() { return QStringLiteral("rtl_power"); }

qint64 LaunchDetached(const QString &program, const QStringList &arguments, const QString &workingDir) {
    std::lock_guard lock(childMutex);
    reapLocked();

    const QByteArray prog = QFile::encodeName(program);
    std::vector<QByteArray> argBytes;
    argBytes.push_back(prog);
    for (const QString &a : arguments)
        argBytes.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (auto &a : argBytes)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    const QByteArray dir = QFile::encodeName(workingDir);
    if (!dir.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions, dir.constData());

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The tool must not share our process group: a Ctrl+C in our terminal is not meant for it,
    // and its signal dispositions start from the defaults.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);

    pid_t pid = 0;
    // A name without a slash is looked up on PATH, as the shell would, but without a shell.
    const int rc = program.contains(QLatin1Char('/'))
                       ? posix_spawn(&pid, prog.constData(), &actions, &attr, argv.data(), environ)
                       : posix_spawnp(&pid, prog.constData(), &actions, &attr, argv.data(), environ);
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0 || pid <= 0)
        return 0;
    children.push_back(pid);
    return pid;
}

int ReapLaunchedChildren() {
    std::lock_guard lock(childMutex);
    return reapLocked();
}

namespace {

// Ends the matching processes `take` accepts; see KillProcessesByName.
template <typename Accept> int killMatching(const QString &text, int waitMsEach, Accept &&take) {
    const pid_t self = getpid();
    int count = 0;
    forEachProcess([&](pid_t pid) {
        if (pid == self)
            return;
        const QString name = executableName(pid).toLower();
        if (name.isEmpty() || !name.contains(text) || !take(pid))
            return;
        if (kill(pid, SIGKILL) != 0)
            return; // not ours to end: passed over
        ++count;
        for (int waited = 0; waited < waitMsEach && !hasEnded(pid); waited += 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        waitpid(pid, nullptr, WNOHANG); // collect it if it was our own child
    });
    ReapLaunchedChildren();
    return count;
}

} // namespace

int KillProcessesByName(const QString &text, int waitMsEach) {
    return killMatching(text, waitMsEach, [](pid_t) { return true; });
}

int KillSweepToolsIn(const QString &text, const QString &workingDir, int waitMsEach) {
    const QByteArray want = QFile::encodeName(QFileInfo(workingDir).canonicalFilePath());
    if (want.isEmpty())
        return 0;
    const uid_t me = getuid();
    return killMatching(text, waitMsEach, [&](pid_t pid) {
        char link[64], target[4096];
        std::snprintf(link, sizeof link, "/proc/%d", static_cast<int>(pid));
        struct stat st;
        if (stat(link, &st) != 0 || st.st_uid != me)
            return false;
        std::snprintf(link, sizeof link, "/proc/%d/cwd", static_cast<int>(pid));
        const ssize_t n = readlink(link, target, sizeof target - 1);
        return n > 0 && QByteArray(target, n) == want;
    });
}

bool IsFileBusy(const QString &path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (stat(name.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    // One test at a time in this process: two threads' lease attempts would refuse each other.
    static std::mutex leaseMutex;
    std::lock_guard lock(leaseMutex);
    const int fd = open(name.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return true;
    // A write lease is granted only while no other descriptor anywhere has the file open: one
    // call instead of a walk through every process's open files. It is released at once, so a
    // process opening the file meanwhile is held up for no more than that.
    // A process opening the file meanwhile breaks the lease, which signals us: SIGIO, whose
    // default ends the program, unless another signal is named. SIGURG is ignored by default.
    fcntl(fd, F_SETSIG, SIGURG);
    const int lease = fcntl(fd, F_SETLEASE, F_WRLCK);
    const int err = errno;
    if (lease == 0)
        fcntl(fd, F_SETLEASE, F_UNLCK);
    close(fd);
    if (lease == 0)
        return false;
    // Refused because it is open somewhere: busy, unless one of those opens is our own (which
    // does not count); then only the long way can tell. Refused for any other reason (a file
    // system without leases, leases switched off, not the file's owner): the long way too.
    if ((err == EAGAIN || err == EBUSY) && !heldBy(getpid(), st))
        return true;
    return IsFileHeldByAnyProcess(path);
}

bool IsFileHeldByAnyProcess(const QString &path) {
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    if (stat(name.constData(), &st) != 0)
        return false;
    // Held open by another process? Look for the same device and inode among every process's
    // open files.
    const pid_t self = getpid();
    bool busy = false;
    forEachProcess([&](pid_t pid) {
        if (!busy && pid != self)
            busy = heldBy(pid, st);
    });
    return busy;
}

bool SyncToDisk(QFileDevice &file) {
    if (!file.flush())
        return false;
    const int fd = file.handle();
    return fd < 0 || ::fdatasync(fd) == 0 || errno == EINVAL; // a pipe or special file has nothing to sync
}

namespace {

// The signal handler only writes a byte into this socket pair; the notifier reads it on the
// event loop's thread, where anything may be done.
int terminationPipe[2] = {-1, -1};
QSocketNotifier *terminationNotifier = nullptr;
std::function<void()> terminationHandler;
constexpr int kTerminationSignals[] = {SIGTERM, SIGHUP, SIGINT};

void OnTerminationSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(terminationPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void WatchTerminationRequests(std::function<void()> handler) {
    terminationHandler = std::move(handler);
    if (!terminationHandler) {
        for (int sig : kTerminationSignals)
            std::signal(sig, SIG_DFL);
        return;
    }
    if (terminationPipe[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, terminationPipe) != 0)
            return;
        ::fcntl(terminationPipe[1], F_SETFL, O_NONBLOCK);
        terminationNotifier = new QSocketNotifier(terminationPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(terminationNotifier, &QSocketNotifier::activated, [] {
            char bytes[64];
            [[maybe_unused]] const ssize_t n = ::read(terminationPipe[0], bytes, sizeof bytes);
            if (terminationHandler)
                terminationHandler();
        });
    }
    struct sigaction sa = {};
    sa.sa_handler = OnTerminationSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : kTerminationSignals)
        ::sigaction(sig, &sa, nullptr);
}

bool LowerCurrentThreadPriority() {
    // A thread's nice value is its own on Linux: setpriority on its thread id.
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, tid);
    if (nice == -1 && errno != 0)
        return false;
    return setpriority(PRIO_PROCESS, tid, std::min(nice + 5, 19)) == 0;
}

} // namespace sky
