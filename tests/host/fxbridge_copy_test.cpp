#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/callpixelfx.h"
#include "engine/fixedrandom.h"
#include "engine/recthandler.h"
#include "engine/relrects.h"
#include "host/fxbridge.h"
#include "host/iMovieGlue.h"
#include "imaging/CGglue.h"
#include "imaging/commonprocs.h"
#include "platform/CoreGraphics.h"
#include "platform/Memory.h"
#include "settings/DataHandling.h"

namespace {
// A configuration block as the host hands it out, recorded at the size it was asked for.
PluginDataPtr NewBlock(bool plain = false, uint32_t size = sizeof(PluginDataRec)) {
    auto* block = reinterpret_cast<PluginDataPtr>(plain ? static_cast<Ptr>(std::calloc(1, size)) : NewPtrClear(size));
    RecordConfigBlock(block, size);
    return block;
}
void FreeBlock(PluginDataPtr block, bool plain = false) {
    ForgetConfigBlock(block);
    if (plain)
        std::free(block);
    else
        DisposePtr(reinterpret_cast<Ptr>(block));
}

struct Master {
    PluginDataPtr config = NewBlock();
    Master() {
        config->Rects = reinterpret_cast<RectFieldPtr>(NewPtrClear(sizeof(RectField)));
        ResetConfig(config, false);
        config->Method = 17;
        (*config->Rects)[3][4] = RectDesc{5, 9};
        GWorldPtr gw = AllocateGWorld(4, 3);
        config->TheRendered = GWorld2CGImage(gw);
        config->TheOriginalImage = CGImageRetain(config->TheRendered);
        DisposeGWorld(gw);
    }
    ~Master() {
        CGImageRelease(config->TheOriginalImage);
        pUncopyConfig(config);
        FreeBlock(config);
    }
};

// From the Memory Manager or from plain calloc, which keeps no size in front of the block: the
// copy compares the sizes recorded for the two blocks.
class ConfigCopy : public ::testing::TestWithParam<bool> {};
TEST_P(ConfigCopy, CopyOwnsItsFieldAndImageAndNeverThePicture) {
    Master master;
    PluginDataPtr copy = NewBlock(GetParam());
    pCopyConfig(master.config, copy);
    EXPECT_NE(copy->Rects, master.config->Rects);
    EXPECT_EQ((*copy->Rects)[3][4].EndFrame, 9);
    EXPECT_NE(copy->TheRendered, nullptr);
    EXPECT_EQ(copy->TheOriginalImage, nullptr);
    EXPECT_EQ(copy->Method, 17);
    // Changing the master afterwards leaves the copy as it was.
    master.config->Method = 3;
    (*master.config->Rects)[3][4].EndFrame = 99;
    EXPECT_EQ(copy->Method, 17);
    EXPECT_EQ((*copy->Rects)[3][4].EndFrame, 9);
    pUncopyConfig(copy);
    EXPECT_EQ(copy->Rects, nullptr);
    EXPECT_EQ(copy->TheRendered, nullptr);
    // Releasing the copy's image leaves the master's alive.
    EXPECT_EQ(CGImageGetWidth(master.config->TheRendered), 4u);
    FreeBlock(copy, GetParam());
}
INSTANTIATE_TEST_SUITE_P(Blocks, ConfigCopy, ::testing::Values(false, true));

TEST(ConfigCopyEdges, MissingBlocksDoNothingAndUnknownRecordsAnswerNtsc) {
    Master master;
    pCopyConfig(master.config, nullptr);
    pCopyConfig(nullptr, master.config);
    EXPECT_EQ(master.config->Method, 17);
    EXPECT_EQ(GetMediaFormat(nullptr), 1);
    master.config->MediaType = 3;
    EXPECT_EQ(GetMediaFormat(master.config), 3);
    uint32_t size = 0;
    pGetConfigSize(size);
    EXPECT_EQ(size, sizeof(PluginDataRec));
}

struct LevelCase {
    int16_t volume;
    double percent;
    bool rising;
    int16_t level;
};
class AudioLevels : public ::testing::TestWithParam<LevelCase> {};
TEST_P(AudioLevels, FollowTheProgressAndStayInRange) {
    EXPECT_EQ(FadingLevel(GetParam().volume, GetParam().percent, GetParam().rising), GetParam().level);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, AudioLevels,
    ::testing::Values(LevelCase{255, 0.05, false, 243}, LevelCase{255, 1.0, false, 0}, LevelCase{100, 0.5, false, 50},
                      LevelCase{255, 0.05, true, 12}, LevelCase{255, 1.0, true, 256}, LevelCase{255, INFINITY, false, 0},
                      LevelCase{255, -INFINITY, false, 256}, LevelCase{255, NAN, true, 0},
                      LevelCase{255, 3.0, true, 256}));

TEST(ConfigCopyDeathTest, MismatchedBlocksStop) {
    Master master;
    PluginDataPtr small = NewBlock(false, sizeof(PluginDataRec) + 8);
    EXPECT_EXIT(pCopyConfig(master.config, small), ::testing::ExitedWithCode(1),
                "Non-Matching Blocks\nThe Size of Source and Dest do not match");
    PluginDataPtr unknown = reinterpret_cast<PluginDataPtr>(std::calloc(1, sizeof(PluginDataRec)));
    EXPECT_EXIT(pCopyConfig(master.config, unknown), ::testing::ExitedWithCode(1),
                "Non-Matching Blocks\nThe Size of Source and Dest do not match");
    std::free(unknown);
    PluginDataPtr fine = NewBlock();
    DisposePtr(reinterpret_cast<Ptr>(master.config->Rects));
    master.config->Rects = nullptr;
    EXPECT_EXIT(pCopyConfig(master.config, fine), ::testing::ExitedWithCode(1),
                "Non-Matching Blocks\nThe Size of rects for Source and Dest do not match");
    EXPECT_EXIT(DoEffect(nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 1, 3), ::testing::ExitedWithCode(1),
                "Assertion failed in: uninited theData in Plugin Effect master proc. need to call init before calling me");
    EXPECT_EXIT(pUncopyConfig(nullptr), ::testing::ExitedWithCode(1), "Assertion failed in: Nil data in pUncopyConfig");
    FreeBlock(small);
    FreeBlock(fine);
}
}  // namespace

namespace {
bool SamePixels(GWorldPtr x, GWorldPtr y) {
    PixMapHandle a = GetGWorldPixMap(x), b = GetGWorldPixMap(y);
    for (int row = 0; row < a->bounds.bottom; row++)
        if (std::memcmp(GetPixBaseAddr(a) + row * GetPixRowBytes(a), GetPixBaseAddr(b) + row * GetPixRowBytes(b),
                        size_t(a->bounds.right) * 4) != 0)
            return false;
    return true;
}

// A run lays its copy's field out on the first frame it renders, whatever its index, and keeps it:
// with random jitter, frames in any order equal those of the field laid out once from the same
// place in the random table.
TEST(RunFrames, TheFieldIsLaidOutOnceOnTheFirstFrameRendered) {
    const int32_t n = 20;
    Master master;
    master.config->Method = 9;
    master.config->RandomizedDuration = true;
    master.config->Sliders[1] = 9;
    master.config->Sliders[2] = 7;
    master.config->StartRel = RelRect{0.1, 0.9, 0, 1};
    FInitRandom();
    PluginDataPtr run = NewBlock(), once = NewBlock();
    pCopyConfig(master.config, run);
    pCopyConfig(master.config, once);
    GWorldPtr src = AllocateGWorld(48, 32), out = AllocateGWorld(48, 32), want = AllocateGWorld(48, 32);
    ClearGW(src, RGBColor{65535, 0, 0});
    const int16_t cursor = FGetIndex();
    once->Which = 3;
    InitRectangles(once, n, Rel2Rect(once->StartRel, GetPortRect(out)));
    FSetIndex(cursor);

    EffectData data{};
    data.configData = run;
    HYPluginParams params{};
    params.clientData = &data;
    for (int32_t k : {5, 0, 3, 19, 5}) {
        ClearGW(out, RGBColor{0, 0, 65535});
        DoEffect(run, &params, src, out, k, 0, 0, n, 3);
        ClearGW(want, RGBColor{0, 0, 65535});
        DoPixelEffect(src, want, once, k, n);
        EXPECT_TRUE(SamePixels(out, want)) << "frame " << k;
    }
    EXPECT_EQ(data.frameCount, 5);
    for (GWorldPtr g : {src, out, want}) DisposeGWorld(g);
    for (PluginDataPtr c : {run, once}) {
        pUncopyConfig(c);
        FreeBlock(c);
    }
}
}  // namespace
