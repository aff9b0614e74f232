#pragma once
// main() for the benchmarks that need the application object (fonts, widgets).
#include "app/application.h"

#include <benchmark/benchmark.h>

#include <cstdio>

#include <unistd.h>

// The process's resident memory in bytes (0 where it cannot be read).
inline long ResidentBytes() {
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

#define SKYVANE_BENCHMARK_MAIN()                                                                                  \
    int main(int argc, char **argv) {                                                                             \
        if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) /* QT_QPA_PLATFORM=xcb: a real X server */            \
            qputenv("QT_QPA_PLATFORM", "offscreen");                                                              \
        sky::TApplication app(argc, argv);                                                                        \
        benchmark::Initialize(&argc, argv);                                                                       \
        benchmark::RunSpecifiedBenchmarks();                                                                      \
        benchmark::Shutdown();                                                                                    \
        return 0;                                                                                                 \
    }
