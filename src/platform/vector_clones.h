#pragma once
// Marks a function whose loops the plain x86-64 instruction set cannot vectorise well: where the
// processor has AVX2 a second copy of it runs. Not under ThreadSanitizer (its run-time is not
// ready when the copy is chosen, before main) nor where the platform has no indirect functions.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_THREAD__) &&            \
    !defined(_WIN32)
#define SKYVANE_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define SKYVANE_VECTOR_CLONES
#endif

// A function compiled for AVX2 with fused multiply-add, called only where CpuHasFma() says the
// processor has both (a plain function, no indirect-function resolver, so usable everywhere);
// the same for AVX-512 with CpuHasAvx512().
// SKYVANE_CPU=avx2 or SKYVANE_CPU=plain in the environment caps this choice (any other value
// leaves it alone), so that the tests run the narrower copies on a processor that has more. The
// SKYVANE_VECTOR_CLONES copies above are chosen by the loader, before any of this is read.
#if defined(__GNUC__) && defined(__x86_64__)
#include <cstdlib>
#include <cstring>
#define SKYVANE_HAS_FMA_TARGET 1
#define SKYVANE_FMA_TARGET __attribute__((target("avx2,fma")))
#define SKYVANE_AVX512_TARGET __attribute__((target("avx512f,fma")))
inline int CpuLevelCap()
{
    static const int cap = [] {
        const char *v = std::getenv("SKYVANE_CPU");
        return !v ? 2 : std::strcmp(v, "plain") == 0 ? 0 : std::strcmp(v, "avx2") == 0 ? 1 : 2;
    }();
    return cap;
}
inline bool CpuHasFma()
{
    static const bool yes = CpuLevelCap() >= 1 && __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return yes;
}
inline bool CpuHasAvx512()
{
    static const bool yes =
        CpuLevelCap() >= 2 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("fma");
    return yes;
}
#else
#define SKYVANE_HAS_FMA_TARGET 0
#endif
