// Windows implementation of the platform layer: the Win32 calls the program was designed around.
#include "platform/platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDevice>
#include <QMetaObject>
#include <io.h>
#include <QRegularExpression>

#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

namespace sky {

namespace {

std::wstring wide(const QString &s) { return s.toStdWString(); }

// Quotes one argument so that the child's command-line parser gives it back unchanged.
QString quoteArgument(const QString &arg) {
    if (!arg.isEmpty() && !arg.contains(QRegularExpression(QStringLiteral("[ \\t\"]"))))
        return arg;
    QString out = QStringLiteral("\"");
    int slashes = 0;
    for (const QChar c : arg) {
        if (c == u'\\') {
            ++slashes;
            continue;
        }
        if (c == u'"')
            out += QString(slashes * 2 + 1, u'\\');
        else
            out += QString(slashes, u'\\');
        slashes = 0;
        out += c;
    }
    out += QString(slashes * 2, u'\\');
    return out + u'"';
}

} // namespace

QString SweepToolFileName() { return QStringLiteral("rtl_power.exe"); }

qint64 LaunchDetached(const QString &program, const QStringList &arguments, const QString &workingDir) {
    QString cmd = quoteArgument(program);
    for (const QString &a : arguments)
        cmd += u' ' + quoteArgument(a);
    std::wstring cmdLine = wide(cmd);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    const std::wstring dir = wide(QDir::toNativeSeparators(workingDir));
    if (!CreateProcessW(nullptr, cmdLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW | DETACHED_PROCESS,
                        nullptr, dir.empty() ? nullptr : dir.c_str(), &si, &pi))
        return 0;
    // Windows keeps no zombies: closing our handles lets the process go when it exits.
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<qint64>(pi.dwProcessId);
}

int ReapLaunchedChildren() { return 0; }

int KillProcessesByName(const QString &text, int waitMsEach) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return 0;
    const DWORD self = GetCurrentProcessId();
    int count = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry)) {
        if (entry.th32ProcessID == self)
            continue;
        const QString name = QString::fromWCharArray(entry.szExeFile).toLower();
        if (!name.contains(text))
            continue;
        HANDLE h = OpenProcess(PROCESS_ALL_ACCESS, FALSE, entry.th32ProcessID);
        if (!h)
            continue;
        if (TerminateProcess(h, 1)) {
            ++count;
            WaitForSingleObject(h, static_cast<DWORD>(waitMsEach));
        }
        CloseHandle(h);
    }
    CloseHandle(snap);
    return count;
}

// The working folder of another process is not at hand here: every tool of that name goes.
int KillSweepToolsIn(const QString &text, const QString &, int waitMsEach) {
    return KillProcessesByName(text, waitMsEach);
}

bool IsFileHeldByAnyProcess(const QString &path) { return IsFileBusy(path); }

bool IsFileBusy(const QString &path) {
    const std::wstring p = wide(QDir::toNativeSeparators(path));
    const DWORD attributes = GetFileAttributesW(p.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    HANDLE h = CreateFileW(p.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return true;
    CloseHandle(h);
    return false;
}

bool SyncToDisk(QFileDevice &file) {
    if (!file.flush())
        return false;
    const int fd = file.handle();
    if (fd < 0)
        return true;
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    return h == INVALID_HANDLE_VALUE || FlushFileBuffers(h);
}

namespace {

std::function<void()> terminationHandler;

// Runs on a thread of the console's own: the handler is queued to the event loop, and the
// process is given time to close (log-off and close end it after a few seconds regardless).
BOOL WINAPI OnConsoleControl(DWORD) {
    if (!terminationHandler || !QCoreApplication::instance())
        return FALSE;
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] {
        if (terminationHandler)
            terminationHandler();
    }, Qt::QueuedConnection);
    Sleep(5000);
    return TRUE;
}

} // namespace

void WatchTerminationRequests(std::function<void()> handler) {
    terminationHandler = std::move(handler);
    SetConsoleCtrlHandler(OnConsoleControl, terminationHandler ? TRUE : FALSE);
}

bool LowerCurrentThreadPriority() {
    return SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL) != 0;
}

} // namespace sky
