// The instruction sets the imaging loops may use beyond the build's baseline, asked of the CPU
// once. MX_X86_DISPATCH is set where such loops can be built (x86-64 with GCC or Clang); their
// callers keep a portable path for every other CPU.
#pragma once

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MX_X86_DISPATCH 1

inline bool CpuHasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}

inline bool CpuHasSsse3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}
#endif
