#include "engine/fixedrandom.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {
class FixedRandom : public ::testing::Test {
protected:
    void SetUp() override {
        SetQDRandomSeed(4242);
        FInitRandom();
    }
};

TEST_F(FixedRandom, TableHoldsMultiplesOf1Over32767InUnitRange) {
    const RandomArray& t = *FSharedTable();
    for (int i = 0; i < cMaxRandom; i++) {
        ASSERT_TRUE(t[i] >= 0.0 && t[i] <= 1.0) << i;
        const double steps = t[i] * 32767.0;
        ASSERT_NEAR(steps, std::round(steps), 1e-6) << i;
    }
}

TEST_F(FixedRandom, CursorWrapsAfter30000DrawsAndSetIndexFoldsIntoTheTable) {
    EXPECT_EQ(FGetIndex(), 0);
    const double first = FGetRandom();
    for (int i = 1; i < cMaxRandom; i++) FGetRandom();
    EXPECT_EQ(FGetIndex(), 0);
    EXPECT_EQ(FGetRandom(), first);
    EXPECT_EQ(FGetIndex(), 1);
    FResetRandom();
    EXPECT_EQ(FGetIndex(), 0);
    const struct {
        int16_t in, out;
    } cases[] = {{0, 0}, {29999, 29999}, {30000, 0}, {32000, 0}, {-1, 29999}, {-30001, 29999}, {-32768, 27232}};
    for (const auto& c : cases) {
        FSetIndex(c.in);
        EXPECT_EQ(FGetIndex(), c.out) << c.in;
    }
}

TEST_F(FixedRandom, RefillDrawsNewContentsAndRewinds) {
    const double before = (*FSharedTable())[0];
    FGetRandom();
    FInitRandom();
    EXPECT_EQ(FGetIndex(), 0);
    bool changed = false;
    for (int i = 0; i < 100; i++) changed |= (*FSharedTable())[i] != before;
    EXPECT_TRUE(changed);
}

TEST_F(FixedRandom, FRndReachesMaxOnlyForAnEntryOfOne) {
    RandomArray& t = *FSharedTable();
    t[0] = 1.0;
    t[1] = 32766.0 / 32767.0;
    t[2] = 0.0;
    FSetIndex(0);
    EXPECT_EQ(FRnd(10), 10);
    EXPECT_EQ(FRnd(10), 9);
    EXPECT_EQ(FRnd(10), 0);
}

TEST(RandomTables, NilTableDrawsNothingAndPrivateTablesKeepTheirOwnCursor) {
    SetQDRandomSeed(99);
    InitRandomArray(nullptr);
    EXPECT_EQ(GetQDRandomSeed(), 99);

    RandomArrayPtr mine = NewRandomArray();
    ASSERT_NE(mine, nullptr);
    EXPECT_EQ((*mine)[123], 0.0);  // allocated zero-filled, not filled
    InitRandomArray(mine);
    FSetIndex(500);
    int16_t index = 29999;
    const double last = NextRandom(index, mine);
    EXPECT_EQ(last, (*mine)[29999]);
    EXPECT_EQ(index, 0);
    int16_t hostile = -5;  // a caller-held index is folded into range before use
    EXPECT_EQ(NextRandom(hostile, mine), (*mine)[29995]);
    EXPECT_EQ(FGetIndex(), 500);
    DisposeRandomArray(mine);
}
}  // namespace
