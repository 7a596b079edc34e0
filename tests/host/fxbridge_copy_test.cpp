#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "host/fxbridge.h"
#include "host/iMovieGlue.h"
#include "imaging/CGglue.h"
#include "imaging/commonprocs.h"
#include "platform/CoreGraphics.h"
#include "platform/Memory.h"
#include "settings/DataHandling.h"

namespace {
PluginDataPtr NewBlock() { return reinterpret_cast<PluginDataPtr>(NewPtrClear(sizeof(PluginDataRec))); }

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
        DisposePtr(reinterpret_cast<Ptr>(config));
    }
};

TEST(ConfigCopy, CopyOwnsItsFieldAndImageAndNeverThePicture) {
    Master master;
    PluginDataPtr copy = NewBlock();
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
    DisposePtr(reinterpret_cast<Ptr>(copy));
}

TEST(ConfigCopy, MissingBlocksDoNothingAndUnknownRecordsAnswerNtsc) {
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
    PluginDataPtr small = reinterpret_cast<PluginDataPtr>(NewPtrClear(sizeof(PluginDataRec) + 8));
    EXPECT_EXIT(pCopyConfig(master.config, small), ::testing::ExitedWithCode(1),
                "Non-Matching Blocks\nThe Size of Source and Dest do not match");
    PluginDataPtr fine = NewBlock();
    DisposePtr(reinterpret_cast<Ptr>(master.config->Rects));
    master.config->Rects = nullptr;
    EXPECT_EXIT(pCopyConfig(master.config, fine), ::testing::ExitedWithCode(1),
                "Non-Matching Blocks\nThe Size of rects for Source and Dest do not match");
    EXPECT_EXIT(DoEffect(nullptr, nullptr, nullptr, nullptr, 0, 0, 0, 1, 3), ::testing::ExitedWithCode(1),
                "Assertion failed in: uninited theData in Plugin Effect master proc. need to call init before calling me");
    EXPECT_EXIT(pUncopyConfig(nullptr), ::testing::ExitedWithCode(1), "Assertion failed in: Nil data in pUncopyConfig");
    DisposePtr(reinterpret_cast<Ptr>(small));
    DisposePtr(reinterpret_cast<Ptr>(fine));
}
}  // namespace
