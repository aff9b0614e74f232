#pragma once
// What the program needs from the operating system, behind one interface with a Linux and a
// Windows implementation (platform_linux.cpp, platform_win.cpp).
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

class QFileDevice;

namespace sky {

// Milliseconds from a steady clock as a 32-bit count that wraps, like the classic tick count.
std::uint32_t TickCount();

// The executable's folder followed by "plugins/" (always with the trailing separator).
QString PluginsDirFor(const QString &executablePath);

// The time of day in the locale's long time format without any time-zone part, every ":"
// replaced by "-" so that it can name a file.
QString TimeStampName();

// Splits a parameter text into arguments the way a Windows program splits its command line:
// blanks and tabs separate, double quotes group, backslashes escape only before a quote.
QStringList SplitCommandLine(const QString &parameters);

// File name of the sweep tool on this platform ("rtl_power.exe" on Windows, "rtl_power" elsewhere).
QString SweepToolFileName();

// Resolves the program to start: an explicit override as given, else the tool in pluginsDir,
// else the first match on PATH. Returns the bare file name when nothing is found, so the
// launch fails quietly like any other missing program.
QString FindSweepTool(const QString &pluginsDir, const QString &overridePath);

// Starts a program detached and hidden: no shell, the given working folder, standard input and
// output connected to the null device. The call does not wait for the program. Children that
// have ended are reaped on every call, so none is left as a zombie. Returns the process id, or
// 0 when the program could not be started.
qint64 LaunchDetached(const QString &program, const QStringList &arguments, const QString &workingDir);

// Reaps every child started by LaunchDetached that has ended; returns how many are still running.
int ReapLaunchedChildren();

// Ends every process whose lower-cased executable name contains `text`, never this process, and
// waits for each up to `waitMsEach` milliseconds. Returns the number of processes it signalled.
int KillProcessesByName(const QString &text, int waitMsEach = 2000);

// Like KillProcessesByName, but only for processes of this user whose working folder is
// `workingDir`: sweep tools left by an earlier run of the same set-up, never another window's
// tool or another user's process. Where the working folder cannot be read (Windows), every
// process of that name.
int KillSweepToolsIn(const QString &text, const QString &workingDir, int waitMsEach = 2000);

// A file is busy when it exists and another process holds it open or it cannot be opened for
// reading and writing. A missing file, and anything that is not a regular file, is not busy.
// Cheap whatever else runs on the system.
bool IsFileBusy(const QString &path);
// The same test by looking through every process's open files: slow on a busy desktop, and
// only the fallback where the cheap test is not available.
bool IsFileHeldByAnyProcess(const QString &path);

// Hands what was written to an open file over to the disk, so that it survives a power cut.
bool SyncToDisk(QFileDevice &file);

// Why a write to `file` failed, `savedErrno` being errno right after it: a write the disk cut
// short sets no error of the file's own, and then the system's error says why.
QString WriteFailureReason(const QFileDevice &file, int savedErrno);

// Lets the calling thread give way to the others of the process when the cores are busy (a nice
// value 5 higher on Linux, below normal on Windows): for background work that must never keep
// the window thread waiting. False where the system refuses.
bool LowerCurrentThreadPriority();

// From now on a request to end the process (SIGTERM, SIGHUP, SIGINT; on Windows the console's
// Ctrl-C, close and log-off) calls `handler` on the thread of the Qt event loop instead of
// ending the process at once, so it can close as the window's Close does. Needs a running
// QCoreApplication; a second call replaces the handler, an empty one restores the defaults.
void WatchTerminationRequests(std::function<void()> handler);

} // namespace sky
