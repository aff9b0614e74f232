// --render of a capture of 100 sweeps x 20,000 bins (20 hops of 1,000 bins, rtl_power's layout,
// one sweep a second): splitting alone, and the whole render (window, every sweep through the
// ingest and waterfall, chart, PNG) in this process. The whole process is timed from the shell
// (see the README): write the capture with --write-capture FILE.
#include "app/command_line.h"
#include "app/render_mode.h"
#include "bench_main.h"
#include "scan/sweep_split.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <random>

namespace {

constexpr int kSweeps = 100, kHops = 20, kBinsPerHop = 1000;
constexpr std::int64_t kValues = std::int64_t(kSweeps) * kHops * kBinsPerHop;

QByteArray makeCapture() {
    QByteArray out;
    out.reserve(kValues * 8 + kSweeps * kHops * 64);
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(-45.0, 2.0);
    const double step = 1000.0;
    char buf[64];
    for (int s = 0; s < kSweeps; ++s) {
        for (int h = 0; h < kHops; ++h) {
            const long long low = 88000000LL + static_cast<long long>(h) * kBinsPerHop * 1000;
            std::snprintf(buf, sizeof buf, "2026-12-07, 12:%02d:%02d, %lld, %lld, %.2f, 4096", s / 60, s % 60, low,
                          low + kBinsPerHop * 1000LL, step);
            out += buf;
            for (int i = 0; i < kBinsPerHop; ++i) {
                const double carrier = (h * kBinsPerHop + i) % 2500 == s % 2500 ? 30.0 : 0.0;
                std::snprintf(buf, sizeof buf, ", %.2f", noise(rng) + carrier);
                out += buf;
            }
            out += '\n';
        }
    }
    return out;
}

const QByteArray &capture() {
    static const QByteArray c = makeCapture();
    return c;
}

void BM_SplitSweeps(benchmark::State &state) {
    const std::string_view text(capture().constData(), static_cast<std::size_t>(capture().size()));
    std::vector<sky::SweepSpan> spans;
    for (auto _ : state) {
        sky::SplitSweeps(text, spans);
        benchmark::DoNotOptimize(spans.data());
    }
    if (spans.size() != kSweeps)
        state.SkipWithError("wrong sweep count");
    state.SetBytesProcessed(state.iterations() * capture().size());
}
BENCHMARK(BM_SplitSweeps)->Unit(benchmark::kMillisecond);

void BM_RenderMulti(benchmark::State &state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("capture.csv");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(capture()) != capture().size()) {
        state.SkipWithError("cannot write the capture");
        return;
    }
    f.close();
    const sky::CommandLine cl = sky::ParseCommandLine(
        {"--render", dir.filePath("out.png"), "--size", "1200xauto", "--plugins-dir", dir.path(), path});
    FILE *sink = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        if (sky::RunRender(cl, sink, stderr) != 0)
            state.SkipWithError("render failed");
    }
    std::fclose(sink);
    // Seconds per value (shown with an SI prefix: "70n" is 70 ns).
    state.counters["time_per_value"] = benchmark::Counter(
        double(kValues), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RenderMulti)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

} // namespace

int main(int argc, char **argv) {
    // --write-capture FILE: only write the capture, for timing the whole program from the shell.
    if (argc == 3 && std::strcmp(argv[1], "--write-capture") == 0) {
        QFile f(QString::fromLocal8Bit(argv[2]));
        return f.open(QIODevice::WriteOnly) && f.write(capture()) == capture().size() ? 0 : 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    sky::TApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
