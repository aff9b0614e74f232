// The waterfall row for a 1,000,000-bin sweep in each level mode and a few colour maps, into the
// default 716-pixel-wide buffer and a 1920-pixel one. Fixed, Auto and the maps should cost at most
// 2 ms a row over the default (Sweep with the ramp), which is measured alongside.
#include "bench_main.h"
#include "display/waterfall.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

using sky::TWaterfall;
using sky::WaterfallColours;
using sky::WaterfallLevels;

struct Sweep {
    std::vector<double> y;
    std::size_t maxIndex = 0, minIndex = 0;
    Sweep() : y(1000000) {
        std::mt19937 rng(3);
        std::normal_distribution<double> noise(-45.0, 2.0);
        for (double &v : y)
            v = noise(rng);
        for (std::size_t i = 25000; i < y.size(); i += 50000) // carriers
            y[i] = -5.0;
        for (std::size_t i = 0; i < y.size(); ++i) {
            if (y[i] > y[maxIndex])
                maxIndex = i;
            if (y[i] < y[minIndex])
                minIndex = i;
        }
    }
};

const Sweep &sweep() {
    static const Sweep s;
    return s;
}

// Arguments: level mode, colour map, buffer width, and 1 to renew Auto's range on every row (the
// clock moving a second a row) instead of once a second.
void BM_WaterfallRow(benchmark::State &state) {
    const auto levels = static_cast<WaterfallLevels>(state.range(0));
    const auto map = static_cast<WaterfallColours>(state.range(1));
    const int width = static_cast<int>(state.range(2));
    const bool renewEachRow = state.range(3) != 0;
    TWaterfall w(QSize(width, 386));
    w.SetLevels(levels, -60.0, -10.0);
    w.SetColours(map);
    qint64 now = 0;
    if (renewEachRow)
        w.clockMs = [&now] { return now += 1000; };
    const Sweep &s = sweep();
    for (auto _ : state)
        benchmark::DoNotOptimize(w.AddLine(s.y.data(), s.y.size(), s.maxIndex, s.minIndex, 8388608, 65280));
    state.SetLabel((sky::WaterfallLevelsText(levels) + "/" + sky::WaterfallColoursText(map) + " " +
                    QString::number(width) + (renewEachRow ? " renewed every row" : ""))
                       .toStdString());
}

void modes(benchmark::internal::Benchmark *b) {
    const int sweepLevels = static_cast<int>(WaterfallLevels::Sweep);
    const int fixed = static_cast<int>(WaterfallLevels::Fixed);
    const int autoLevels = static_cast<int>(WaterfallLevels::Auto);
    const int ramp = static_cast<int>(WaterfallColours::Ramp);
    const int turbo = static_cast<int>(WaterfallColours::Turbo);
    const int viridis = static_cast<int>(WaterfallColours::Viridis);
    const int inferno = static_cast<int>(WaterfallColours::Inferno);
    for (int width : {716, 1920}) {
        b->Args({sweepLevels, ramp, width, 0}); // the default, to compare against
        b->Args({sweepLevels, turbo, width, 0});
        b->Args({fixed, ramp, width, 0});
        b->Args({fixed, viridis, width, 0});
        b->Args({autoLevels, ramp, width, 0});
        b->Args({autoLevels, inferno, width, 0});
        b->Args({autoLevels, turbo, width, 1});
    }
}

} // namespace

BENCHMARK(BM_WaterfallRow)->Apply(modes)->Unit(benchmark::kMillisecond)->MinTime(1);

SKYVANE_BENCHMARK_MAIN()
