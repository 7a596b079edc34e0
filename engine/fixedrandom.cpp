#include "engine/fixedrandom.h"

#include <new>

#include "imaging/commonprocs.h"
#include "platform/Numerics.h"

namespace {
RandomArray lgRandoms = {};
int16_t lgIndex = 0;

// Any 16-bit value into 0..29,999 by the cursor's rules: too large wraps to 0, negative has
// 30,000 added until it is not.
int16_t NormalIndex(int32_t index) {
    if (index >= cMaxRandom) return 0;
    while (index < 0) index += cMaxRandom;
    return int16_t(index);
}
}  // namespace

void InitRandomArray(RandomArrayPtr TheArray) {
    if (!TheArray) return;
    for (int i = 0; i < cMaxRandom; i++) (*TheArray)[i] = RandomPercent();
}

RandomArrayPtr NewRandomArray() {
    auto* table = new (std::nothrow) RandomArray[1]();
    return table;  // pointer to the first (only) RandomArray
}

void DisposeRandomArray(RandomArrayPtr TheArray) { delete[] TheArray; }

double NextRandom(int16_t& Index, RandomArrayPtr TheArray) {
    Index = NormalIndex(Index);  // a caller-held index may hold anything
    const double value = (*TheArray)[Index];
    Index = int16_t(Index + 1);
    if (Index >= cMaxRandom) Index = 0;
    return value;
}

void FInitRandom() {
    InitRandomArray(&lgRandoms);
    lgIndex = 0;
}

void FResetRandom() { lgIndex = 0; }

double FGetRandom() { return NextRandom(lgIndex, &lgRandoms); }

int16_t FRnd(int16_t Max) { return TruncS(Max * FGetRandom()); }

void FSetIndex(int16_t TheIndex) { lgIndex = NormalIndex(TheIndex); }

int16_t FGetIndex() { return lgIndex; }

RandomArrayPtr FSharedTable() { return &lgRandoms; }
