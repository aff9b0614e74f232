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
#if defined(__GNUC__) && defined(__x86_64__)
#define SKYVANE_HAS_FMA_TARGET 1
#define SKYVANE_FMA_TARGET __attribute__((target("avx2,fma")))
#define SKYVANE_AVX512_TARGET __attribute__((target("avx512f,fma")))
inline bool CpuHasFma()
{
    static const bool yes = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return yes;
}
inline bool CpuHasAvx512()
{
    static const bool yes = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("fma");
    return yes;
}
#else
#define SKYVANE_HAS_FMA_TARGET 0
#endif
