// Ingest of a 1,000,000-value sweep file against a bare read-and-parse loop, and the waterfall
// line for 1,000,000 bins into a 1920-pixel buffer.
#include "app/application.h"
#include "app/main_form.h"
#include "display/waterfall.h"

#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <random>

namespace {

// rtl_power's layout: hops of 4096 bins, two decimals, ", " between fields.
QByteArray makeSweep(int values) {
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
        out += '\n';
        low += static_cast<long long>(n * step);
    }
    return out;
}

struct Files {
    QTemporaryDir dir;
    QString path;
    Files() : path(dir.filePath("scan.csv")) {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(makeSweep(1000000));
    }
};

Files &files() {
    static Files f;
    return f;
}

QByteArray readFile() {
    QFile f(files().path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}


void BM_BareReadAndParse(benchmark::State &state) {
    for (auto _ : state) {
        const QByteArray bytes = readFile();
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
        benchmark::DoNotOptimize(count);
    }
}

void BM_IngestSweepFile(benchmark::State &state) {
    sky::TForm1 form({{}, {}, true});
    for (auto _ : state) {
        const QByteArray bytes = readFile();
        form.AssembleSweep(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
        if (!form.LastSweep().ok || form.spectrum.Series1.PointCount() != 1000000)
            state.SkipWithError("ingest failed");
    }
}

void BM_WaterfallLine(benchmark::State &state) {
    sky::TWaterfall w(QSize(1920, 1080));
    std::vector<double> y(1000000);
    std::mt19937 rng(2);
    std::normal_distribution<double> noise(-45.0, 2.0);
    for (double &v : y)
        v = noise(rng);
    y[123456] = -3;
    std::size_t minIdx = 0;
    for (std::size_t i = 0; i < y.size(); ++i)
        if (y[i] < y[minIdx])
            minIdx = i;
    for (auto _ : state)
        benchmark::DoNotOptimize(w.AddLine(y.data(), y.size(), 123456, minIdx, 8388608, 65280));
}

} // namespace

BENCHMARK(BM_BareReadAndParse)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_IngestSweepFile)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_WaterfallLine)->Unit(benchmark::kMillisecond)->MinTime(1);

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    sky::TApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
