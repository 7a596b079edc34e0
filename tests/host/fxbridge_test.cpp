#include "host/fxbridge.h"

#include <gtest/gtest.h>

#include "engine/fixedrandom.h"
#include "platform/Resources.h"
#include "platform/forkbytes.h"
#include "platform/sandbox.h"
#include "settings/configs.h"
#include "settings/prefsloader.h"

namespace {
class StartUp : public Sandbox {
protected:
    std::vector<uint8_t> StoredRecord() {
        for (const forkbytes::Res& r : forkbytes::Parse(ReadBytes(PrefsPath())).Resources)
            if (r.Type == "Pref" && r.ID == 1) return r.Data;
        return {};
    }
    static std::vector<uint8_t> DefaultRecord() {
        ConfigBlock d;
        ResetConfig(d.P, true);
        return SavedBytes(d.P);
    }
};

TEST_F(StartUp, FirstRunMakesTheFileAndStoresTheFactoryDefaults) {
    ConfigBlock c;
    InitMyPlugIn(c.P);
    ConfigBlock d;
    ResetConfig(d.P, true);
    EXPECT_TRUE(SameSaved(*c.P, *d.P));
    EXPECT_EQ(c->FrameEndColor, (RGBColor{0, 0, 0}));
    ASSERT_NE(c->Rects, nullptr);
    EXPECT_EQ(GetPtrSize(reinterpret_cast<Ptr>(c->Rects)), 80000);
    EXPECT_EQ(StoredRecord(), DefaultRecord());

    FSSpec fileSpec;
    ASSERT_EQ(FSMakeFSSpecFromPath(PrefsPath(), &fileSpec), noErr);
    FInfo info{};
    ASSERT_EQ(FSpGetFInfo(&fileSpec, &info), noErr);
    if (info.fdType != 0) {  // zero where the file system keeps no user attributes
        EXPECT_EQ(info.fdType, FourCC("Pref"));
        EXPECT_EQ(info.fdCreator, FourCC("qvz "));
    }
}

TEST_F(StartUp, TheSavedDefaultOverlaysTheFactoryOneAndIsWrittenBack) {
    ConfigBlock saved;
    FillDistinct(*saved.P);
    WriteBytes(PrefsPath(), forkbytes::Build({{"Pref", 1, "Config Settings", SavedBytes(saved.P)}}));
    ConfigBlock c;
    FSetIndex(500);
    InitMyPlugIn(c.P);
    EXPECT_TRUE(SameSaved(*c.P, *saved.P));
    EXPECT_EQ(c->FrameEndColor, (RGBColor{44, 55, 66}));  // from the file, not the zero-filled block
    EXPECT_EQ(FGetIndex(), 0);                            // the defaults ran first: a fresh random table
    EXPECT_EQ(StoredRecord(), SavedBytes(saved.P));
}

TEST_F(StartUp, AStaleRecordGivesTheDefaultsAndIsReplaced) {
    ConfigBlock saved;
    FillDistinct(*saved.P);
    std::vector<uint8_t> old = SavedBytes(saved.P);
    PutNative<uint32_t>(old, 4, 2);  // version 2
    WriteBytes(PrefsPath(), forkbytes::Build({{"Pref", 1, "Config Settings", old}}));
    ConfigBlock c;
    InitMyPlugIn(c.P);
    EXPECT_EQ(c->Sliders[1], 50);
    EXPECT_EQ(StoredRecord(), DefaultRecord());
    EXPECT_EQ(GetNative<uint32_t>(StoredRecord(), 4), 3u);
}

TEST_F(StartUp, ADamagedFileGivesTheDefaultsAndIsReplaced) {
    WriteBytes(PrefsPath(), std::vector<uint8_t>(300, 0xEE));
    ConfigBlock c;
    InitMyPlugIn(c.P);
    EXPECT_EQ(c->Method, 1);
    EXPECT_EQ(StoredRecord(), DefaultRecord());
}

TEST_F(StartUp, AnUnwritableFolderStillGivesAWorkingConfiguration) {
    Keep("XDG_CONFIG_HOME", Root + "/file-not-folder");
    WriteBytes(Root + "/file-not-folder", {1});
    ConfigBlock c;
    InitMyPlugIn(c.P);
    EXPECT_EQ(c->Sliders[3], 50);
    EXPECT_NE(c->Rects, nullptr);
}

using StartUpDeathTest = StartUp;
TEST_F(StartUpDeathTest, AMissingBlockStopsWithTheAssertion) {
    PluginDataPtr none = nullptr;
    EXPECT_DEATH(InitMyPlugIn(none), "Assertion failed in: Unable to allocate new data structure");
    EXPECT_DEATH(InitPluginData(nullptr), "Assertion failed in: Nil theConfig on InitPluginData");
    ConfigBlock c;
    MemFailNextAllocations(1);
    EXPECT_DEATH(InitPluginData(c.P), "Assertion failed in: Cannot allocate theRects");
}
}  // namespace
