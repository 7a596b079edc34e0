#include "platform/Memory.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {
bool AllZero(const char* p, Size n) {
    for (Size i = 0; i < n; i++)
        if (p[i] != 0) return false;
    return true;
}

TEST(MemoryBlocks, KnowTheirSizeAndComeZeroFilled) {
    for (Size n : {0, 1, 396, 80000}) {
        Ptr p = NewPtrClear(n);
        Handle h = NewHandleClear(n);
        ASSERT_NE(p, nullptr);
        ASSERT_NE(h, nullptr);
        ASSERT_NE(*h, nullptr);
        EXPECT_EQ(GetPtrSize(p), n);
        EXPECT_EQ(GetHandleSize(h), n);
        EXPECT_TRUE(AllZero(p, n));
        EXPECT_TRUE(AllZero(*h, n));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignof(double), 0u);  // records with doubles
        EXPECT_EQ(reinterpret_cast<uintptr_t>(*h) % alignof(double), 0u);
        DisposePtr(p);
        DisposeHandle(h);
    }
    EXPECT_EQ(GetPtrSize(nullptr), 0);
    EXPECT_EQ(GetHandleSize(nullptr), 0);
    DisposePtr(nullptr);
    DisposeHandle(nullptr);
}

TEST(MemoryBlocks, RefusalsAnswerNullAndTheirError) {
    EXPECT_EQ(NewPtrClear(-1), nullptr);
    EXPECT_EQ(MemError(), paramErr);
    EXPECT_EQ(NewHandleClear(-1), nullptr);
    EXPECT_EQ(MemError(), paramErr);
    MemFailNextAllocations(2);
    EXPECT_EQ(NewPtrClear(8), nullptr);
    EXPECT_EQ(MemError(), memFullErr);
    EXPECT_EQ(NewHandleClear(8), nullptr);
    Handle h = NewHandleClear(8);  // the injected failures are spent
    EXPECT_NE(h, nullptr);
    EXPECT_EQ(MemError(), noErr);
    DisposeHandle(h);
}
}  // namespace
