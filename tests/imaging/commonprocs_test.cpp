#include "imaging/commonprocs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace {
using ::testing::HasSubstr;

TEST(ReportingDeathTest, AssertionsAndTerminateStopWithTheirTextsCutAt255) {
    EXPECT_EXIT(Assert(nullptr, "Unable to allocate theMask in ConfigurePlug Init run"), ::testing::ExitedWithCode(1),
                "Assertion Failure\nAssertion failed in: Unable to allocate theMask in ConfigurePlug Init run");
    EXPECT_EXIT(Terminate("OpenNibWindow Failed", "it returned errcode #-43."), ::testing::ExitedWithCode(1),
                "OpenNibWindow Failed\nit returned errcode #-43.");
    EXPECT_EXIT(Assert(nullptr, std::string(400, 'x')), ::testing::ExitedWithCode(1),
                "Assertion failed in: " + std::string(255 - 21, 'x') + "\n");
}

TEST(Reporting, PresentPointerHasNoEffectAndWarningsAnswerDefault) {
    int x = 0;
    Assert(&x, "never shown");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(StandardWarning("Head", "Text", "OK", "Cancel"), 1);
    Notify("the message");
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_THAT(err, HasSubstr("Head\nText"));
    EXPECT_THAT(err, HasSubstr("Internal Notification:\nthe message"));
    EXPECT_THAT(err, ::testing::Not(HasSubstr("never shown")));
}

PixRec* Row(GWorldPtr gw, int y) { return PixRow(GetPixBaseAddr(GetGWorldPixMap(gw)), GetPixRowBytes(GetGWorldPixMap(gw)), y); }

TEST(Buffers, RectGWorldStartsAtOrigin) {
    GWorldPtr gw = AllocateRectGWorld(Rect{10, 20, 110, 220});
    ASSERT_NE(gw, nullptr);
    EXPECT_EQ(GetPortRect(gw), (Rect{0, 0, 100, 200}));
    EXPECT_TRUE(GetPixelsState(GetGWorldPixMap(gw)) & pixelsLocked);
    DisposeGWorld(gw);
    QDFailNextGWorlds(1);
    EXPECT_EQ(AllocateGWorld(4, 4), nullptr);
}

TEST(Buffers, ClearFillsEveryPixelAndRestoresPortAndColour) {
    GWorldPtr other = AllocateGWorld(2, 2), gw = AllocateGWorld(5, 3);
    SetGWorld(other, nullptr);
    ClearGW(gw, RGBColor{65535, 32768, 0});
    CGrafPtr now;
    GetGWorld(&now, nullptr);
    EXPECT_EQ(now, other);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++) EXPECT_EQ(PixRec2LongInt(Row(gw, y)[x]), 0xFF8000) << x << "," << y;
    SetGWorld(gw, nullptr);
    RGBColor fg;
    GetForeColor(&fg);
    EXPECT_EQ(fg, (RGBColor{0, 0, 0}));
    SetGWorld(nullptr, nullptr);
    DisposeGWorld(gw);
    DisposeGWorld(other);
}

TEST(Buffers, Source2TargetScalesTheWholeSource) {
    GWorldPtr a = AllocateGWorld(2, 1), b = AllocateGWorld(4, 2);
    Row(a, 0)[1] = PixRec{0, 9, 9, 9};
    Source2Target(a, b);
    EXPECT_EQ(Row(b, 1)[1].RED, 0);
    EXPECT_EQ(Row(b, 1)[2].RED, 9);
    EXPECT_EQ(Row(b, 1)[3].RED, 9);
    DisposeGWorld(a);
    DisposeGWorld(b);
}

TEST(Geometry, KeepPropsKeepsOneSideAndRoundsTheOther) {
    const struct {
        Rect original, newSize;
        bool horizontal;
        Rect expected;
    } cases[] = {
        {{0, 0, 480, 640}, {0, 0, 10, 300}, true, {0, 0, 225, 300}},
        {{0, 0, 480, 640}, {0, 0, 10, 301}, true, {0, 0, 226, 301}},
        {{0, 0, 480, 640}, {5, 7, 10, 307}, true, {5, 7, 230, 307}},
        {{0, 0, 480, 0}, {0, 0, 10, 300}, true, {0, 0, 10, 300}},
        {{0, 0, 0, 640}, {0, 0, 10, 300}, false, {0, 0, 10, 300}},
        {{0, 0, 480, 640}, {0, 0, 300, 10}, false, {0, 0, 300, 400}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.horizontal ? KeepPropsWithFixedHorizontal(c.original, c.newSize)
                               : KeepPropsWithFixedVertical(c.original, c.newSize),
                  c.expected)
            << c.newSize.bottom << "x" << c.newSize.right;
}

TEST(Geometry, ProportionalFitKeepsTheFramesLongSideForTheSameOrientation) {
    EXPECT_EQ(CalcProportionalRectForFrame(Rect{0, 0, 640, 480}, Rect{0, 0, 480, 720}), (Rect{0, 0, 480, 360}));
    EXPECT_EQ(CalcProportionalRectForFrame(Rect{0, 0, 480, 640}, Rect{0, 0, 180, 320}), (Rect{0, 0, 240, 320}));
    EXPECT_EQ(CalcProportionalRectForFrame(Rect{0, 0, 480, 640}, Rect{0, 0, 300, 200}), (Rect{0, 0, 150, 200}));
    Rect r{0, 0, 10, 10};
    CenterRectInRect(r, Rect{0, 0, 101, 101});
    EXPECT_EQ(r, (Rect{45, 45, 55, 55}));
    int32_t w, h;
    GetDims(Rect{5, 10, 25, 50}, w, h);
    EXPECT_EQ(std::pair(w, h), std::pair(40, 20));
}

TEST(Colours, PackingUsesTheHighByteOfEachChannel) {
    EXPECT_EQ(RGBColor2LongInt(RGBColor{65535, 32768, 255}), 0xFF8000);
    EXPECT_EQ(LongInt2RGBColor(0xFF8000), (RGBColor{65280, 32768, 0}));
    EXPECT_EQ(SetRGBColor(-1, 0, 256), (RGBColor{65535, 0, 256}));
    const PixRec p = LongInt2PixRec(int32_t(0xAB123456));
    EXPECT_EQ(p.ALPHA, 0);
    EXPECT_EQ(p.RED, 0x12);
    EXPECT_EQ(PixRec2LongInt(PixRec{0xFF, 0x12, 0x34, 0x56}), 0x123456);
}

TEST(Numbers, TextSwapMaxAndRandomPercent) {
    EXPECT_EQ(Num2Text(-1234567), "-1234567");
    EXPECT_EQ(Num2Text(0), "0");
    int16_t a = 1, b = 2;
    SwapInt(a, b);
    EXPECT_EQ(std::pair(a, b), std::pair(int16_t(2), int16_t(1)));
    EXPECT_EQ(Max(-3, -7), -3);
    bool sawHigh = false;
    for (int i = 0; i < 10000; i++) {
        const double r = RandomPercent();
        ASSERT_TRUE(r >= 0.0 && r <= 1.0) << r;
        sawHigh |= r > 0.9;
    }
    EXPECT_TRUE(sawHigh);
}
}  // namespace
