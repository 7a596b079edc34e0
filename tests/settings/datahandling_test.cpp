#include "settings/DataHandling.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "configs.h"
#include "engine/fixedrandom.h"
#include "engine/recthandler.h"
#include "engine/relrects.h"

namespace {
// The record of FillDistinct's settings, laid out by hand; every other byte is zero.
TEST(ConfigSaveRecord, FieldsSitAtTheirOffsetsInNativeOrder) {
    ConfigBlock c;
    FillDistinct(*c.P);
    std::vector<uint8_t> want(396, 0);
    PutNative<uint32_t>(want, 0, 396);                                               // size
    PutNative<uint32_t>(want, 4, 3);                                                 // version
    const double edges[] = {0.125, 0.875, 0.25, 0.75, 0.0625, 0.5, 0.375, 1.0 / 3};  // StartRel, EndRel: L R T B
    for (size_t i = 0; i < 8; i++) PutNative(want, 8 + 8 * i, edges[i]);
    for (int i = 1; i <= 6; i++) {
        for (int k = 0; k < 3; k++)  // colours: red, green, blue
            PutNative<uint16_t>(want, 72 + 6 * size_t(i - 1) + 2 * size_t(k), uint16_t(1000 * (k + 1) * i));
        PutNative<int16_t>(want, 108 + 2 * size_t(i - 1), int16_t(10 * i));  // sliders
    }
    for (int k = 0; k < 6; k++) PutNative<uint16_t>(want, 120 + 2 * size_t(k), uint16_t(11 * (k + 1)));  // frame colours
    PutNative<int16_t>(want, 132, 3);                                                                    // media type
    want[134] = 1;                                                                                       // keep proportions
    PutNative<int16_t>(want, 136, 28);                                                                   // method; 138: randomized duration, false
    const std::string label = "Config save for qv/z iMovie plug-in";
    want[139] = uint8_t(label.size());
    std::copy(label.begin(), label.end(), want.begin() + 140);
    const std::vector<uint8_t> b = SavedBytes(c.P);
    ASSERT_EQ(b.size(), 396u);
    for (size_t i = 0; i < 396; i++) EXPECT_EQ(b[i], want[i]) << "byte " << i;
}

TEST(ConfigSaveRecord, ConvertersRefuseMissingArguments) {
    ConfigBlock c;
    Handle h = NewHandleClear(sizeof(ConfigSaveRec));
    auto* rec = reinterpret_cast<ConfigSaveHandle>(h);
    EXPECT_FALSE(Config2Save(nullptr, rec));
    EXPECT_FALSE(Config2Save(c.P, nullptr));
    EXPECT_FALSE(Save2Config(nullptr, rec));
    EXPECT_FALSE(Save2Config(c.P, nullptr));
    EXPECT_EQ(std::vector<uint8_t>(*h, *h + 396), std::vector<uint8_t>(396, 0));  // nothing written
    Handle small = NewHandleClear(100);
    EXPECT_FALSE(Config2Save(c.P, reinterpret_cast<ConfigSaveHandle>(small)));
    DisposeHandle(small);
    DisposeHandle(h);
}

TEST(ConfigSaveRecord, RoundTripKeepsEverySavedFieldAndNothingElse) {
    ConfigBlock from, to(ConfigBlock::Defaults);
    FillDistinct(*from.P);
    to->Which = 3;
    to->LineIndex[7] = 77;
    RectFieldPtr rects = to->Rects;
    Handle h = NewHandleClear(sizeof(ConfigSaveRec));
    ASSERT_TRUE(Config2Save(from.P, reinterpret_cast<ConfigSaveHandle>(h)));
    ASSERT_TRUE(Save2Config(to.P, reinterpret_cast<ConfigSaveHandle>(h)));
    EXPECT_TRUE(SameSaved(*from.P, *to.P));
    EXPECT_EQ(to->Which, 3);
    EXPECT_EQ(to->LineIndex[7], 77);
    EXPECT_EQ(to->Rects, rects);
    DisposeHandle(h);
}

// A saved record in a block of the given size, the bytes past the record 0xEE.
Handle BlockOf(const std::vector<uint8_t>& b, Size size) {
    Handle h = NewHandleClear(size);
    std::memset(*h, 0xEE, size_t(size));
    std::memcpy(*h, b.data(), std::min<size_t>(b.size(), size_t(size)));
    return h;
}

// Blocks Save2Config reads (a longer block counts by its first 396 bytes) or refuses, leaving the
// configuration exactly as it was.
struct StoredBlock {
    const char* What;
    Size HandleSize;
    void (*Spoil)(std::vector<uint8_t>& b);
    bool Read;
};
const StoredBlock kBlocks[] = {
    {"version 2", 396, [](auto& b) { PutNative<uint32_t>(b, 4, 2); }, false},
    {"version 4", 396, [](auto& b) { PutNative<uint32_t>(b, 4, 4); }, false},
    {"written in the other byte order", 396,
     [](auto& b) {
    PutNative<uint32_t>(b, 0, __builtin_bswap32(396));
    PutNative<uint32_t>(b, 4, __builtin_bswap32(3));
     },
     false},
    {"size field 395", 396, [](auto& b) { PutNative<uint32_t>(b, 0, 395); }, false},
    {"a block of 395 bytes", 395, [](auto&) {}, false},
    {"NaN left edge", 396, [](auto& b) { PutNative(b, 8, std::numeric_limits<double>::quiet_NaN()); }, false},
    {"infinite top edge", 396, [](auto& b) { PutNative(b, 24, -std::numeric_limits<double>::infinity()); }, false},
    {"infinite end bottom", 396, [](auto& b) { PutNative(b, 64, std::numeric_limits<double>::infinity()); }, false},
    {"a block of 397 bytes", 397, [](auto&) {}, true},
    {"a block of 400 bytes", 400, [](auto&) {}, true},
    {"a block of 4096 bytes", 4096, [](auto&) {}, true},
};
class SavedBlock : public ::testing::TestWithParam<StoredBlock> {};
TEST_P(SavedBlock, IsReadWholeOrLeavesTheConfigurationAsItWas) {
    ConfigBlock source, c(ConfigBlock::Defaults);
    FillDistinct(*source.P);
    std::vector<uint8_t> b = SavedBytes(source.P);
    GetParam().Spoil(b);
    Handle h = BlockOf(b, GetParam().HandleSize);
    const std::vector<uint8_t> before(reinterpret_cast<uint8_t*>(c.P), reinterpret_cast<uint8_t*>(c.P + 1));
    EXPECT_EQ(Save2Config(c.P, reinterpret_cast<ConfigSaveHandle>(h)), GetParam().Read) << GetParam().What;
    if (GetParam().Read)
        EXPECT_TRUE(SameSaved(*c.P, *source.P));
    else
        EXPECT_EQ(std::vector<uint8_t>(reinterpret_cast<uint8_t*>(c.P), reinterpret_cast<uint8_t*>(c.P + 1)), before);
    DisposeHandle(h);
}
INSTANTIATE_TEST_SUITE_P(Cases, SavedBlock, ::testing::ValuesIn(kBlocks));

TEST(ResetConfig, FullInitWritesTheFactoryDefaults) {
    ConfigBlock c;
    c->FrameEndColor = RGBColor{1, 2, 3};
    c->Which = 2;
    c->LineIndex[2000] = 5;
    c->TheOriginalImage = reinterpret_cast<CGImageRef>(0x10);  // stale references: cleared, not released
    c->TheMask = reinterpret_cast<GWorldPtr>(0x20);
    FSetIndex(123);
    ResetConfig(c.P, true);
    EXPECT_EQ(c->StartRel.Left, 0);
    EXPECT_EQ(c->StartRel.Right, 1);
    EXPECT_EQ(c->StartRel.Top, 0);
    EXPECT_EQ(c->StartRel.Bottom, 1);
    EXPECT_EQ(std::memcmp(&c->EndRel, &c->StartRel, sizeof(RelRect)), 0);
    EXPECT_EQ(c->Colors[1], (RGBColor{0, 0, 65535}));
    EXPECT_EQ(c->Colors[2], (RGBColor{65535, 65535, 65535}));
    for (int i = 3; i <= 6; i++) EXPECT_EQ(c->Colors[i], (RGBColor{0, 0, 0}));
    const int16_t sliders[] = {50, 50, 50, 0, 0, 0};
    for (int i = 1; i <= 6; i++) EXPECT_EQ(c->Sliders[i], sliders[i - 1]);
    EXPECT_EQ(c->FrameStartColor, (RGBColor{65535, 0, 0}));
    EXPECT_EQ(c->MediaType, 1);
    EXPECT_FALSE(c->KeepProps);
    EXPECT_EQ(c->Method, 1);
    EXPECT_TRUE(c->RandomizedDuration);
    EXPECT_EQ(c->TheOriginalImage, nullptr);
    EXPECT_EQ(c->TheRendered, nullptr);
    EXPECT_EQ(c->TheMask, nullptr);
    ASSERT_NE(c->Rects, nullptr);
    EXPECT_EQ(GetPtrSize(reinterpret_cast<Ptr>(c->Rects)), 80000);
    const auto* field = reinterpret_cast<const uint8_t*>(c->Rects);
    EXPECT_TRUE(std::all_of(field, field + 80000, [](uint8_t v) { return v == 0; }));
    EXPECT_EQ(FGetIndex(), 0);  // the random table was drawn afresh
    EXPECT_EQ(c->FrameEndColor, (RGBColor{1, 2, 3}));
    EXPECT_EQ(c->Which, 2);
    EXPECT_EQ(c->LineIndex[2000], 5);
}

TEST(ResetConfig, WithoutFullInitKeepsPicturesFieldAndEndColour) {
    ConfigBlock c(ConfigBlock::Defaults);
    FillDistinct(*c.P);
    RectFieldPtr rects = c->Rects;
    (*rects)[3][4].StartFrame = 9;
    c->TheOriginalImage = reinterpret_cast<CGImageRef>(0x10);
    c->TheRendered = reinterpret_cast<CGImageRef>(0x20);
    c->TheMask = reinterpret_cast<GWorldPtr>(0x30);
    FSetIndex(77);
    ResetConfig(c.P, false);
    EXPECT_EQ(c->Rects, rects);
    EXPECT_EQ((*rects)[3][4].StartFrame, 9);
    EXPECT_EQ(c->TheOriginalImage, reinterpret_cast<CGImageRef>(0x10));
    EXPECT_EQ(c->TheRendered, reinterpret_cast<CGImageRef>(0x20));
    EXPECT_EQ(c->TheMask, reinterpret_cast<GWorldPtr>(0x30));
    EXPECT_EQ(c->FrameEndColor, (RGBColor{44, 55, 66}));
    EXPECT_EQ(c->MediaType, 1);
    EXPECT_EQ(c->Method, 1);
    EXPECT_EQ(c->Sliders[1], 50);
    EXPECT_EQ(FGetIndex(), 77);  // the random table is left alone
    c->TheOriginalImage = c->TheRendered = nullptr;
    c->TheMask = nullptr;
}

// Finite but extreme values pass the read: every engine path that uses them stays defined.
struct Extreme {
    int16_t Columns, Rows, Percent, Method;
    double Edge;
};
class ExtremeRecord : public ::testing::TestWithParam<Extreme> {};
TEST_P(ExtremeRecord, IsAcceptedAndLaysOutSafely) {
    const Extreme x = GetParam();
    ConfigBlock source, c(ConfigBlock::Defaults);
    FillDistinct(*source.P);
    source->Sliders[1] = x.Columns;
    source->Sliders[2] = x.Rows;
    source->Sliders[3] = x.Percent;
    source->Method = x.Method;
    source->StartRel = RelRect{-x.Edge, x.Edge, x.Edge, -x.Edge};
    Handle h = BlockOf(SavedBytes(source.P), 396);
    ASSERT_TRUE(Save2Config(c.P, reinterpret_cast<ConfigSaveHandle>(h)));
    DisposeHandle(h);

    const Rect active = Rel2Rect(c->StartRel, Rect{0, 0, 480, 720});
    for (int32_t frames : {0, 1, 150, 100000}) InitRectangles(c.P, frames, active);
    EXPECT_GE(FieldColumns(*c.P), 1);
    EXPECT_LE(FieldColumns(*c.P), 100);
    EXPECT_GE(FieldRows(*c.P), 1);
    EXPECT_LE(FieldRows(*c.P), 100);
}
INSTANTIATE_TEST_SUITE_P(Cases, ExtremeRecord,
                         ::testing::Values(Extreme{32767, 32767, 32767, 32767, 1e308},
                                           Extreme{-32768, -32768, -32768, -32768, 1e308},
                                           Extreme{0, 0, 0, 0, 0}, Extreme{101, 1, 100, 28, 5e9},
                                           Extreme{100, 100, -1, 29, -1e300},
                                           Extreme{99, 100, 32767, 2, 0.5}));

// --- The settings' ranges, shared by the dialog, the bundle and the host program ---
bool SameRect(const RelRect& a, const RelRect& b) {
    return a.Left == b.Left && a.Right == b.Right && a.Top == b.Top && a.Bottom == b.Bottom;
}
struct RangeCase {
    const char* What;
    void (*Spoil)(PluginDataRec& c);
    const char* Named;  // ConfigOutOfRange's words; "" when in range
    void (*Expect)(const PluginDataRec& c);
};
const RangeCase kRanges[] = {
    {"factory", [](PluginDataRec&) {}, "", [](const PluginDataRec& c) { EXPECT_EQ(c.Sliders[1], 50); }},
    {"columns 1 and rows 100", [](PluginDataRec& c) { c.Sliders[1] = 1; c.Sliders[2] = 100; }, "",
     [](const PluginDataRec& c) { EXPECT_EQ(c.Sliders[1], 1); EXPECT_EQ(c.Sliders[2], 100); }},
    {"columns 0", [](PluginDataRec& c) { c.Sliders[1] = 0; }, "columns is 0, not 1..100",
     [](const PluginDataRec& c) { EXPECT_EQ(c.Sliders[1], 1); }},
    {"rows 101", [](PluginDataRec& c) { c.Sliders[2] = 101; }, "rows is 101, not 1..100",
     [](const PluginDataRec& c) { EXPECT_EQ(c.Sliders[2], 100); }},
    {"columns 60000 (read as -5536)", [](PluginDataRec& c) { c.Sliders[1] = int16_t(60000 - 65536); },
     "columns is -5536, not 1..100", [](const PluginDataRec& c) { EXPECT_EQ(c.Sliders[1], 1); }},
    {"duration 0", [](PluginDataRec& c) { c.Sliders[3] = 0; }, "",
     [](const PluginDataRec& c) { EXPECT_EQ(c.Sliders[3], 0); }},
    {"duration 255", [](PluginDataRec& c) { c.Sliders[3] = 255; }, "duration is 255, not 0..100",
     [](const PluginDataRec& c) { EXPECT_EQ(c.Sliders[3], 100); }},
    {"duration -1", [](PluginDataRec& c) { c.Sliders[3] = -1; }, "duration is -1, not 0..100",
     [](const PluginDataRec& c) { EXPECT_EQ(c.Sliders[3], 0); }},
    {"method 0", [](PluginDataRec& c) { c.Method = 0; }, "method is 0, not 1..41",
     [](const PluginDataRec& c) { EXPECT_EQ(c.Method, 1); }},
    {"method 41", [](PluginDataRec& c) { c.Method = 41; }, "", [](const PluginDataRec& c) { EXPECT_EQ(c.Method, 41); }},
    {"method 200", [](PluginDataRec& c) { c.Method = 200; }, "method is 200, not 1..41",
     [](const PluginDataRec& c) { EXPECT_EQ(c.Method, 41); }},
    {"media 7", [](PluginDataRec& c) { c.MediaType = 7; }, "media is 7, not 1..3",
     [](const PluginDataRec& c) { EXPECT_EQ(c.MediaType, 1); }},
    {"media 0", [](PluginDataRec& c) { c.MediaType = 0; }, "media is 0, not 1..3",
     [](const PluginDataRec& c) { EXPECT_EQ(c.MediaType, 1); }},
    {"an inverted rect", [](PluginDataRec& c) { c.StartRel = RelRect{0.8, 0.2, 0, 1}; },
     "rect is 0.8,0,0.2,1, not inside the frame with L < R and T < B",
     [](const PluginDataRec& c) { EXPECT_TRUE(SameRect(c.StartRel, RelRect{0, 1, 0, 1})); }},
    {"an empty rect", [](PluginDataRec& c) { c.StartRel = RelRect{0.5, 0.5, 0, 1}; },
     "rect is 0.5,0,0.5,1, not inside the frame with L < R and T < B",
     [](const PluginDataRec& c) { EXPECT_TRUE(SameRect(c.StartRel, RelRect{0, 1, 0, 1})); }},
    {"a rect past the frame", [](PluginDataRec& c) { c.StartRel = RelRect{-0.5, 0.5, 0.25, 1.5}; },
     "rect is -0.5,0.25,0.5,1.5, not inside the frame with L < R and T < B",
     [](const PluginDataRec& c) { EXPECT_TRUE(SameRect(c.StartRel, RelRect{0, 0.5, 0.25, 1})); }},
    {"a rect exactly the frame", [](PluginDataRec& c) { c.StartRel = RelRect{0, 1, 0, 1}; }, "",
     [](const PluginDataRec& c) { EXPECT_TRUE(SameRect(c.StartRel, RelRect{0, 1, 0, 1})); }},
};
class Ranges : public ::testing::TestWithParam<RangeCase> {};
TEST_P(Ranges, AreNamedAndHeldToTheDialogsValues) {
    ConfigBlock c(ConfigBlock::Defaults);
    GetParam().Spoil(*c.P);
    EXPECT_EQ(ConfigOutOfRange(*c.P), GetParam().Named);
    const Boolean randomized = c->RandomizedDuration;
    ClampConfig(c.P);
    GetParam().Expect(*c.P);
    EXPECT_EQ(ConfigOutOfRange(*c.P), "");
    EXPECT_EQ(c->RandomizedDuration, randomized);  // the rest is left alone
}
INSTANTIATE_TEST_SUITE_P(Cases, Ranges, ::testing::ValuesIn(kRanges));
}  // namespace
