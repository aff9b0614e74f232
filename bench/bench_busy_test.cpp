// The sweep file's busy test, run every 100 ms by the scan worker, on a system with thousands of
// open files held by another process (a desktop with a browser): the lease test against the walk
// through every process's open files.
#include "platform/platform.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <csignal>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Another process holding `count` open descriptors for as long as the benchmark runs.
struct Crowd {
    pid_t pid = -1;
    explicit Crowd(int count) {
        pid = fork();
        if (pid == 0) {
            rlimit lim{};
            getrlimit(RLIMIT_NOFILE, &lim);
            lim.rlim_cur = lim.rlim_max;
            setrlimit(RLIMIT_NOFILE, &lim);
            for (int i = 0; i < count; ++i)
                if (open("/dev/null", O_RDONLY) < 0)
                    break;
            pause();
            _exit(0);
        }
        usleep(300000); // let it open them
    }
    ~Crowd() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
};

struct SweepFile {
    QTemporaryDir dir;
    QString path = dir.filePath("scan.csv");
    SweepFile() {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write("2026-12-07, 21:00:00, 430000000, 431000000, 25000.00, 10, -50\n");
    }
};

void BM_BusyTest(benchmark::State &state) {
    Crowd crowd(static_cast<int>(state.range(0)));
    SweepFile file;
    for (auto _ : state)
        benchmark::DoNotOptimize(sky::IsFileBusy(file.path));
}

void BM_BusyTestByWalkingEveryProcess(benchmark::State &state) {
    Crowd crowd(static_cast<int>(state.range(0)));
    SweepFile file;
    for (auto _ : state)
        benchmark::DoNotOptimize(sky::IsFileHeldByAnyProcess(file.path));
}

} // namespace

BENCHMARK(BM_BusyTest)->Arg(16000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BusyTestByWalkingEveryProcess)->Arg(16000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
