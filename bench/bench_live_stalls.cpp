// The live window with the simulated tool sweeping 24-1700 MHz at a 1 kHz step (about 1.7
// million values a sweep): the longest gap between two turns of the window thread's event loop,
// and how many gaps pass 100 ms, over a run of SKYVANE_LIVE_SECONDS (default 60); the window
// thread's own time in the longest gap (the rest is waiting for a core), the chart frames drawn,
// and what one frame of the last sweep costs.
#include "bench_main.h"
#include "app/main_form.h"

#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstring>
#include <ctime>

namespace {

// A "Vm...:" line of /proc/self/status, in bytes (0 when it cannot be read).
double statusBytes(const char *key) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(static_cast<qsizetype>(std::strlen(key))).trimmed().split(' ').first().toDouble() * 1024.0;
    return 0;
}

void BM_LiveWindowStalls(benchmark::State &state) {
    const int seconds = qEnvironmentVariableIsSet("SKYVANE_LIVE_SECONDS") ? qEnvironmentVariableIntValue("SKYVANE_LIVE_SECONDS") : 60;
    for (auto _ : state) {
        QTemporaryDir dir;
        QFile settings(dir.filePath("settings.ini"));
        settings.open(QIODevice::WriteOnly);
        settings.write("Dongle number=0\r\nFreq min Hz=24000000\r\nFreq max Hz=1700000000\r\nFreq step=1k\r\n"
                       "Gain level=12.5\r\nPPM=0\r\nChart Point=1\r\nChart Scale=1\r\nChart Max=1\r\n");
        settings.close();
        sky::TForm1 form({dir.path(), SKYVANE_SIM_PATH});
        form.resize(716, 386);
        form.show();
        const double startBytes = statusBytes("VmRSS:"); // before any sweep
        // A 1 ms timer: the gap between its firings is how long the window thread was away.
        QElapsedTimer clock;
        clock.start();
        qint64 last = 0, longest = 0;
        double lastCpu = 0, longestCpu = 0; // the window thread's own time in the longest gap
        int over100 = 0;
        QTimer probe;
        probe.setInterval(1);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            const qint64 now = clock.elapsed();
            timespec cpu{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
            const double cpuMs = cpu.tv_sec * 1e3 + cpu.tv_nsec / 1e6;
            if (now > 3000) { // past start-up
                if (now - last > longest) {
                    longest = now - last;
                    longestCpu = cpuMs - lastCpu;
                }
                over100 += now - last > 100;
            }
            last = now;
            lastCpu = cpuMs;
        });
        probe.start();
        // Frames of the chart: how often a sweep's million points are drawn.
        struct PaintCounter : QObject {
            int paints = 0;
            bool eventFilter(QObject *, QEvent *e) override {
                paints += e->type() == QEvent::Paint;
                return false;
            }
        } counter;
        form.ch->installEventFilter(&counter);
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        state.counters["longest_gap_ms"] = static_cast<double>(longest);
        state.counters["longest_gap_cpu_ms"] = longestCpu; // the rest: waiting for a core
        state.counters["gaps_over_100ms"] = over100;
        state.counters["sweeps"] = form.sweepCount;
        state.counters["chart_frames"] = counter.paints;
        // One frame of the last sweep drawn again, the sweeps stopped: what a frame costs the
        // window thread here, beside the benchmarks' synthetic sweeps.
        form.scanThread->RequestStop();
        form.scanThread->wait();
        // The simulated tool may still be computing its sweep on the other core: the window
        // thread's own time tells the frame's cost apart from waiting for a core.
        auto threadCpuNs = [] {
            timespec t{};
            clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
            return t.tv_sec * 1000000000.0 + static_cast<double>(t.tv_nsec);
        };
        QElapsedTimer frames;
        frames.start();
        const double cpuBefore = threadCpuNs();
        for (int k = 0; k < 10; ++k) {
            form.ch->Invalidate();
            form.ch->repaint();
        }
        state.counters["frame_ms"] = static_cast<double>(frames.nsecsElapsed()) / 10e6;
        state.counters["frame_cpu_ms"] = (threadCpuNs() - cpuBefore) / 10e6;
        state.counters["values_per_sweep"] = static_cast<double>(form.LastSweep().values);
        // The whole process's peak memory per value of a sweep, and the part of it the sweeps
        // added to the window as it stood before the first one.
        if (const double values = static_cast<double>(form.LastSweep().values); values > 0) {
            const double peak = statusBytes("VmHWM:");
            state.counters["peak_bytes_per_value"] = peak / values;
            state.counters["peak_over_start_bytes_per_value"] = (peak - startBytes) / values;
        }
    }
}

} // namespace

BENCHMARK(BM_LiveWindowStalls)->Iterations(1)->Unit(benchmark::kSecond);

SKYVANE_BENCHMARK_MAIN()
