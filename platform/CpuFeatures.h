// What the processor offers beyond the x86-64 baseline, asked once per process; the fast row
// loops choose their width from it.
#pragma once

#if defined(__x86_64__)
inline bool HasAVX2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}
#endif
