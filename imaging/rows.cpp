#include "imaging/rows.h"

#include <cstdlib>
#include <cstring>
#include <iterator>

#include "imaging/rows_p.h"

namespace {
constexpr const char* cLevelNames[] = {"scalar", "sse2", "avx2"};
static_assert(std::size(cLevelNames) == cRowLevels);

RowLevel ProcessorLevel() {
#if defined(BW_ROWS_X86)
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") ? RowLevel::AVX2 : RowLevel::SSE2;  // SSE2 is x86-64's baseline
#else
    return RowLevel::Scalar;
#endif
}

struct LevelTables {
    RowLevel best;
    RowKernels at[cRowLevels];
};
const LevelTables& Tables() {
    static const LevelTables t = [] {
        LevelTables t{};
        t.best = ProcessorLevel();
        FillRowsScalar(t.at[int(RowLevel::Scalar)]);
#if defined(BW_ROWS_X86)
        FillRowsSSE2(t.at[int(RowLevel::SSE2)]);
        if (t.best >= RowLevel::AVX2) FillRowsAVX2(t.at[int(RowLevel::AVX2)]);
#endif
        return t;
    }();
    return t;
}

struct Active {
    RowLevel level;
    RowKernels rows;
};
Active& Chosen() {
    static Active a = [] {
        RowLevel level = BestRowLevel(), capped;
        if (ParseRowLevel(std::getenv("BW_CPU_LEVEL"), capped) && capped < level) level = capped;
        return Active{level, *RowKernelsAt(level)};
    }();
    return a;
}
}  // namespace

const RowKernels& Rows() { return Chosen().rows; }

RowLevel ActiveRowLevel() { return Chosen().level; }

RowLevel BestRowLevel() { return Tables().best; }

const RowKernels* RowKernelsAt(RowLevel level) {
    const LevelTables& t = Tables();
    return level <= t.best ? &t.at[int(level)] : nullptr;
}

bool ForceRowLevel(RowLevel level) {
    const RowKernels* k = RowKernelsAt(level);
    if (!k) return false;
    Chosen() = Active{level, *k};
    return true;
}

const char* RowLevelName(RowLevel level) { return cLevelNames[int(level)]; }

bool ParseRowLevel(const char* text, RowLevel& level) {
    if (!text) return false;
    for (int i = 0; i < cRowLevels; i++)
        if (std::strcmp(text, cLevelNames[i]) == 0) {
            level = RowLevel(i);
            return true;
        }
    return false;
}
