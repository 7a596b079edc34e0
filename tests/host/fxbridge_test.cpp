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
};

// Start-ups that find no usable record: the factory defaults, stored for the next time.
struct NoRecord {
    const char* What;
    std::vector<uint8_t> (*File)();  // nullptr: no file
};
const NoRecord kNoRecord[] = {
    {"no file", nullptr},
    {"a version 2 record",
     [] {
    ConfigBlock saved;
    FillDistinct(*saved.P);
    std::vector<uint8_t> old = SavedBytes(saved.P);
    PutNative<uint32_t>(old, 4, 2);
    return forkbytes::Build({{"Pref", 1, "Config Settings", old}});
     }},
    {"a damaged file", [] { return std::vector<uint8_t>(300, 0xEE); }},
};
class NoUsableRecord : public StartUp, public ::testing::WithParamInterface<NoRecord> {};
TEST_P(NoUsableRecord, GivesTheFactoryDefaultsAndStoresThem) {
    if (GetParam().File) WriteBytes(PrefsPath(), GetParam().File());
    ConfigBlock c;
    InitMyPlugIn(c.P);
    ConfigBlock d(ConfigBlock::Defaults);
    EXPECT_TRUE(SameSaved(*c.P, *d.P)) << GetParam().What;
    EXPECT_EQ(c->FrameEndColor, (RGBColor{0, 0, 0}));
    ASSERT_NE(c->Rects, nullptr);
    EXPECT_EQ(GetPtrSize(reinterpret_cast<Ptr>(c->Rects)), 80000);
    EXPECT_EQ(StoredRecord(), SavedBytes(d.P));
    if (GetParam().File) return;
    FSSpec fileSpec;
    ASSERT_EQ(FSMakeFSSpecFromPath(PrefsPath(), &fileSpec), noErr);
    FInfo info{};
    ASSERT_EQ(FSpGetFInfo(&fileSpec, &info), noErr);
    if (info.fdType != 0) {  // zero where the file system keeps no user attributes
        EXPECT_EQ(info.fdType, FourCC("Pref"));
        EXPECT_EQ(info.fdCreator, FourCC("qvz "));
    }
}
INSTANTIATE_TEST_SUITE_P(Cases, NoUsableRecord, ::testing::ValuesIn(kNoRecord));

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
