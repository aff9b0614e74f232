// Recording on the live window (default size, the simulated sweep tool running):
//  - Tick: what one frame tick costs the window thread (window capture plus hand-over to the
//    recording's thread), per codec, while that codec compresses beside it. The reported time
//    is the median tick; counters give the 95th percentile and the longest.
//  - Fps: frames per second actually recorded by the 100 ms timer over a stretch of live sweeps
//    (30 s; SKYVANE_BENCH_SECONDS changes it), with the ticks that found the queue full and the
//    time the stop needed to complete the file.
#include "bench_main.h"

#include "app/main_form.h"
#include "capture/recording_session.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

const char *const kCodecs[] = {"", "cvid", "MJPG", "FMP4", "H264"};

QString Codec(const benchmark::State &state) {
    return QString::fromLatin1(kCodecs[state.range(0)]);
}

void Run(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void RunUntil(const std::function<bool()> &done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        Run(5);
}

// The window as the user has it: default size, shown, sweeping with the simulated tool.
struct LiveWindow {
    QTemporaryDir dir;
    std::unique_ptr<sky::TForm1> form;
    LiveWindow() {
#ifdef SKYVANE_SIM_PATH
        const QString tool = QStringLiteral(SKYVANE_SIM_PATH);
#else
        const QString tool;
#endif
        form = std::make_unique<sky::TForm1>(sky::StartOptions{dir.path(), tool});
        form->show();
        RunUntil([this] { return form->LastSweep().ok; }, 15000); // the first sweep is in
    }
};

double Percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[size_t(p * double(v.size() - 1) + 0.5)];
}

void BM_RecordingTick(benchmark::State &state) {
    LiveWindow w;
    w.form->TimeStampNow = [] { return QStringLiteral("bench-tick"); };
    w.form->flags.codecFourCC = Codec(state);
    std::vector<double> ms;
    for (auto _ : state) {
        w.form->reccClick();
        w.form->tavi->stop(); // the benchmark runs the ticks itself
        for (int i = 0; i < 150; ++i) {
            Run(100); // sweeps, repaints and the writer's reports run between ticks, as in use
            if (!w.form->ActiveRecording()->HasRoom())
                continue; // a late tick costs nothing: only ticks that capture are timed
            QElapsedTimer t;
            t.start();
            w.form->taviTimer();
            ms.push_back(double(t.nsecsElapsed()) / 1e6);
        }
        w.form->reccClick();
        RunUntil([&] { return w.form->RecordingsInProgress() == 0; }, 120000);
        state.SetIterationTime(Percentile(ms, 0.5) / 1000.0);
    }
    state.counters["median_ms"] = Percentile(ms, 0.5);
    state.counters["p95_ms"] = Percentile(ms, 0.95);
    state.counters["max_ms"] = Percentile(ms, 1.0);
    state.counters["captured"] = double(ms.size());
    state.SetLabel(Codec(state).isEmpty() ? "uncompressed" : Codec(state).toStdString());
}
BENCHMARK(BM_RecordingTick)->DenseRange(0, 4)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_RecordedFps(benchmark::State &state) {
    const int seconds = qEnvironmentVariableIntValue("SKYVANE_BENCH_SECONDS") > 0
                            ? qEnvironmentVariableIntValue("SKYVANE_BENCH_SECONDS")
                            : 30;
    LiveWindow w;
    w.form->TimeStampNow = [] { return QStringLiteral("bench-fps"); };
    w.form->flags.codecFourCC = Codec(state);
    double drainSeconds = 0;
    for (auto _ : state) {
        w.form->reccClick();
        QElapsedTimer t;
        t.start();
        Run(seconds * 1000);
        w.form->reccClick();
        const double recorded = double(t.elapsed()) / 1000.0;
        QElapsedTimer drain;
        drain.start();
        RunUntil([&] { return w.form->RecordingsInProgress() == 0; }, 300000);
        drainSeconds = double(drain.elapsed()) / 1000.0;
        state.SetIterationTime(recorded);
        state.counters["fps"] = double(w.form->recordingFrames) / recorded;
    }
    state.counters["frames"] = w.form->recordingFrames;
    state.counters["late_ticks"] = w.form->recordingLateTicks;
    state.counters["drain_s"] = drainSeconds;
    state.SetLabel(Codec(state).isEmpty() ? "uncompressed" : Codec(state).toStdString());
}
BENCHMARK(BM_RecordedFps)->DenseRange(0, 4)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

} // namespace

SKYVANE_BENCHMARK_MAIN();
