// Ingest (load, parse, order, extremes, noise, peaks) of a 1,000,000-value sweep file against a
// bare read-and-parse loop, and the waterfall line for 1,000,000 bins into a 1920-pixel buffer.
#include "bench_main.h"
#include "display/waterfall.h"
#include "platform/hundredths.h"
#include "scan/sweep_file.h"
#include "scan/sweep_ingest.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>

namespace {

// rtl_power's layout: hops of 4096 bins, two decimals, ", " between fields. The second kind is a
// Windows capture whose hops overlap by 2 Hz (as at a 10 kHz step): CR LF line ends, and the
// points need ordering.
QByteArray makeSweep(int values, bool crlfOverlapping = false) {
    QByteArray out;
    out.reserve(values * 8 + 4096);
    std::mt19937 rng(1);
    std::normal_distribution<double> noise(-45.0, 2.0);
    const int perHop = 4096;
    const double step = 976.56;
    long long low = 400000000;
    char buf[32];
    for (int done = 0; done < values; done += perHop) {
        const int n = std::min(perHop, values - done);
        out += "2026-12-07, 21:00:00, " + QByteArray::number(low) + ", " +
               QByteArray::number(low + static_cast<long long>(n * step)) + ", 976.56, 8";
        for (int i = 0; i < n; ++i) {
            const double v = (done + i) % 50000 == 0 ? -5.0 : noise(rng);
            std::snprintf(buf, sizeof buf, ", %.2f", v);
            out += buf;
        }
        out += crlfOverlapping ? "\r\n" : "\n";
        low += static_cast<long long>(n * step) - (crlfOverlapping ? 2 : 0);
    }
    return out;
}

struct Files {
    QTemporaryDir dir;
    QString path, overlapping;
    Files() : path(dir.filePath("scan.csv")), overlapping(dir.filePath("overlapping.csv")) {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(makeSweep(1000000));
        QFile g(overlapping);
        g.open(QIODevice::WriteOnly);
        g.write(makeSweep(1000000, true));
    }
    const QString &of(int kind) const { return kind ? overlapping : path; }
};

Files &files() {
    static Files f;
    return f;
}

QByteArray readFile(int kind) {
    QFile f(files().of(kind));
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}


// Reads the file and parses every number with from_chars: the floor any reader pays.
long bareReadAndParse(int kind = 0) {
    {
        const QByteArray bytes = readFile(kind);
        const char *p = bytes.constData(), *end = p + bytes.size();
        double sum = 0;
        long count = 0;
        while (p < end) {
            while (p < end && (*p == ',' || *p == ' ' || *p == '\n'))
                ++p;
            double v;
            const auto r = std::from_chars(p, end, v);
            if (r.ec == std::errc()) {
                sum += v;
                ++count;
                p = r.ptr;
            } else {
                while (p < end && *p != ',' && *p != '\n')
                    ++p;
            }
        }
        benchmark::DoNotOptimize(sum);
        return count;
    }
}

void BM_BareReadAndParse(benchmark::State &state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(bareReadAndParse());
}

// Both in every iteration, so that the machine's ups and downs hit both alike.
// The shipped ingest as the window runs it each sweep, with buffers reused.
struct Ingest {
    int kind = 0;
    QByteArray buffer;
    sky::SweepFindings findings;
    bool run() {
        if (!sky::LoadSweepFile(files().of(kind), buffer))
            return false;
        sky::IngestSweep(std::string_view(buffer.constData(), static_cast<std::size_t>(buffer.size())), true, findings);
        return findings.Complete();
    }
};

void BM_IngestToBareRatio(benchmark::State &state) {
    Ingest ingestOnce;
    ingestOnce.kind = static_cast<int>(state.range(0));
    double bare = 0, ingest = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(bareReadAndParse(ingestOnce.kind));
        auto t1 = std::chrono::steady_clock::now();
        ingestOnce.run();
        auto t2 = std::chrono::steady_clock::now();
        bare += std::chrono::duration<double, std::milli>(t1 - t0).count();
        ingest += std::chrono::duration<double, std::milli>(t2 - t1).count();
    }
    state.counters["bare_ms"] = bare / state.iterations();
    state.counters["ingest_ms"] = ingest / state.iterations();
    state.counters["ratio"] = ingest / bare;
}

void BM_IngestSweepFile(benchmark::State &state) {
    Ingest ingest;
    ingest.kind = static_cast<int>(state.range(0));
    for (auto _ : state) {
        if (!ingest.run() || ingest.findings.PointCount() != 1000000)
            state.SkipWithError("ingest failed");
    }
}

// A waterfall row of a million levels; argument 1: held as hundredths, as the window holds them.
void BM_WaterfallLine(benchmark::State &state) {
    sky::TWaterfall w(QSize(1920, 1080));
    std::vector<double> y(1000000);
    std::vector<std::int16_t> h(y.size());
    std::mt19937 rng(2);
    std::normal_distribution<double> noise(-45.0, 2.0);
    for (std::size_t i = 0; i < y.size(); ++i) {
        h[i] = static_cast<std::int16_t>(std::lround(noise(rng) * 100));
        y[i] = sky::HundredthsValue(h[i]);
    }
    y[123456] = -3;
    h[123456] = -300;
    std::size_t minIdx = 0;
    for (std::size_t i = 0; i < y.size(); ++i)
        if (y[i] < y[minIdx])
            minIdx = i;
    for (auto _ : state)
        benchmark::DoNotOptimize(state.range(0) ? w.AddLine(h.data(), h.size(), 123456, minIdx, 8388608, 65280)
                                                : w.AddLine(y.data(), y.size(), 123456, minIdx, 8388608, 65280));
}

} // namespace

BENCHMARK(BM_BareReadAndParse)->Unit(benchmark::kMillisecond)->MinTime(2);
// Argument 0: LF, hops in order without overlap; 1: CR LF, hops overlapping by 2 Hz.
BENCHMARK(BM_IngestSweepFile)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_IngestToBareRatio)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_WaterfallLine)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->MinTime(1);

SKYVANE_BENCHMARK_MAIN()
