#pragma once
// main() for the benchmarks that need the application object (fonts, widgets).
#include "app/application.h"

#include <benchmark/benchmark.h>

#define SKYVANE_BENCHMARK_MAIN()                                                                                  \
    int main(int argc, char **argv) {                                                                             \
        qputenv("QT_QPA_PLATFORM", "offscreen");                                                                  \
        sky::TApplication app(argc, argv);                                                                        \
        benchmark::Initialize(&argc, argv);                                                                       \
        benchmark::RunSpecifiedBenchmarks();                                                                      \
        benchmark::Shutdown();                                                                                    \
        return 0;                                                                                                 \
    }
