// Recording on the live window (default size, the simulated sweep tool running):
//  - Tick: what one frame tick costs the window thread (window capture plus hand-over to the
//    recording's thread), per codec, while that codec compresses beside it. The reported time
//    is the median tick; counters give the 95th percentile and the longest.
//  - Fps: frames per second compressed (encoded_fps) and written (file_fps, drop frames
//    included: always 10 when the file keeps real time) over a stretch of live sweeps (30 s;
//    SKYVANE_BENCH_SECONDS changes it), the time the stop needed to complete the file, and its
//    size in MB per minute.
//  SKYVANE_BENCH_SIZE=WxH sets the window's size for both (default: the window's own).
//  - HeaderRefresh: one rewrite of the headers of a growing recording (what a recording pays
//    every 2 s so that a killed one still plays), after 1 and 10 minutes at the default size.
#include "bench_main.h"

#include "app/main_form.h"
#include "capture/avi_writer.h"
#include "capture/recording_session.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
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
        // SKYVANE_BENCH_SIZE=1920x1080 records a window of that size (under a large enough
        // screen: xvfb-run -s "-screen 0 1920x1200x24").
        const QStringList size = qEnvironmentVariable("SKYVANE_BENCH_SIZE").split(QLatin1Char('x'));
        if (size.size() == 2)
            form->resize(size[0].toInt(), size[1].toInt());
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
        state.counters["encoded_fps"] = double(w.form->recorder->Captured()) / recorded;
        state.counters["file_fps"] = double(w.form->recorder->Captured() + w.form->recorder->DropFrames()) / recorded;
    }
    state.counters["encoded"] = w.form->recorder->Captured();
    state.counters["drop_frames"] = w.form->recorder->DropFrames();
    state.counters["drain_s"] = drainSeconds;
    // The file's size over the time it covers.
    qint64 bytes = 0;
    QDirIterator files(w.dir.path(), {QStringLiteral("*.avi")}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext())
        bytes += QFileInfo(files.next()).size();
    const double frames = double(w.form->recorder->Captured() + w.form->recorder->DropFrames());
    state.counters["MB_per_min"] = frames > 0 ? double(bytes) / frames * 600 / 1e6 : 0;
    state.SetLabel(Codec(state).isEmpty() ? "uncompressed" : Codec(state).toStdString());
}
BENCHMARK(BM_RecordedFps)->DenseRange(0, 4)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

void BM_HeaderRefresh(benchmark::State &state) {
    QTemporaryDir dir;
    sky::TAviWriter w;
    w.Width = 716;
    w.Height = 386;
    w.FrameTime = 100;
    w.filename = dir.filePath("refresh.avi");
    w.SetCompression(QStringLiteral("MJPG"));
    w.InitVideo();
    QImage frame(716, 386, QImage::Format_RGB32);
    frame.fill(Qt::darkBlue);
    w.AddFrame(frame);
    for (int i = 1; i < state.range(0); ++i)
        w.AddDropFrame(); // the index grows as with real frames, the disk does not fill
    for (auto _ : state)
        w.Refresh();
    state.counters["frames"] = double(w.FrameCounter());
}
BENCHMARK(BM_HeaderRefresh)->Arg(600)->Arg(6000)->Unit(benchmark::kMicrosecond);

} // namespace

SKYVANE_BENCHMARK_MAIN();
