// Saved defaults carried between processors of the two byte orders. tests/data/prefs holds a
// preferences file saved on x86-64 and one saved on s390x, both from FillDistinct's settings; with
// BW_WRITE_PREFS_SAMPLE=<folder> the test writes this processor's there instead of comparing.
#include <gtest/gtest.h>

#include <cstdlib>

#include "configs.h"
#include "platform/forkbytes.h"
#include "platform/sandbox.h"
#include "settings/prefsloader.h"

namespace {
bool BigEndianHere() {
    const uint32_t one = 1;
    uint8_t first;
    std::memcpy(&first, &one, 1);
    return first == 0;
}

struct Sample {
    const char* Name;
    bool BigEndian;
    uint8_t SizeBytes[4];  // 396 in the writer's order
};
const Sample kSamples[] = {
    {"kpblk-Prefs.little-endian", false, {0x8C, 0x01, 0x00, 0x00}},
    {"kpblk-Prefs.big-endian", true, {0x00, 0x00, 0x01, 0x8C}},
};

TEST(ByteOrder, TheVersionTextNamesTheProcessor) {
    EXPECT_STREQ(cPlugVersion, BigEndianHere() ? "3.0.0 (PPC Universal)" : "3.0.0 (i386 Universal)");
}

class SavedHere : public Sandbox {
protected:
    static std::string SamplePath(const Sample& s) {
        const char* data = std::getenv("BW_TEST_DATA");  // set by ctest; else run from the source folder
        return std::string(data ? data : "tests/data") + "/prefs/" + s.Name;
    }
    static std::vector<uint8_t> RecordIn(const std::vector<uint8_t>& file) {
        for (const forkbytes::Res& r : forkbytes::Parse(file).Resources)
            if (r.Type == "Pref" && r.ID == 1) return r.Data;
        return {};
    }
};
class SavedElsewhere : public SavedHere, public ::testing::WithParamInterface<Sample> {};

// This processor's sample is what SaveConfig writes today, byte for byte.
TEST_F(SavedHere, TheSampleOfThisByteOrderIsWhatASaveWrites) {
    const Sample& here = kSamples[BigEndianHere() ? 1 : 0];
    MakePrefsFile();
    ConfigBlock c;
    ResetConfig(c.P, true);
    FillDistinct(*c.P);
    ASSERT_TRUE(SaveConfig(c.P));
    if (const char* dir = std::getenv("BW_WRITE_PREFS_SAMPLE")) {
        WriteBytes(std::string(dir) + "/" + here.Name, ReadBytes(PrefsPath()));
        return;
    }
    EXPECT_EQ(ReadBytes(PrefsPath()), ReadBytes(SamplePath(here)));
}

// Read as at start-up and written back: the writer's own order gives its settings; the other order
// reads the size as 2348875776, is refused like a stale record and replaced by a current one in
// this processor's order. The resource file around it reads the same on both, so nothing is taken
// for damaged and moved aside.
TEST_P(SavedElsewhere, IsReadInItsOwnOrderAndReplacedInTheOther) {
    const std::vector<uint8_t> file = ReadBytes(SamplePath(GetParam()));
    ASSERT_FALSE(file.empty()) << GetParam().Name;
    const std::vector<uint8_t> record = RecordIn(file);
    ASSERT_EQ(record.size(), sizeof(ConfigSaveRec));
    ASSERT_TRUE(std::equal(record.begin(), record.begin() + 4, GetParam().SizeBytes));
    const bool own = GetParam().BigEndian == BigEndianHere();
    uint32_t size;
    std::memcpy(&size, record.data(), 4);
    EXPECT_EQ(size, own ? 396u : 2348875776u);

    WriteBytes(PrefsPath(), file);
    MakePrefsFile();
    ConfigBlock c, distinct, defaults;
    ResetConfig(c.P, true);
    ResetConfig(defaults.P, true);
    FillDistinct(*distinct.P);
    EXPECT_EQ(ReadConfig(c.P), own);
    EXPECT_EQ(PrefsLastError(), "");
    EXPECT_TRUE(SameSaved(*c.P, own ? *distinct.P : *defaults.P));

    ASSERT_TRUE(SaveConfig(c.P));
    const std::vector<uint8_t> now = RecordIn(ReadBytes(PrefsPath()));
    EXPECT_EQ(now, SavedBytes(c.P));
    std::memcpy(&size, now.data(), 4);
    EXPECT_EQ(size, 396u);
    EXPECT_EQ(Listing(Config), (std::vector<std::string>{"kpblk-Prefs", "kpblk-Prefs.lock"}));
    ConfigBlock again;
    ResetConfig(again.P, true);
    EXPECT_TRUE(ReadConfig(again.P));
    EXPECT_TRUE(SameSaved(*again.P, *c.P));
}
INSTANTIATE_TEST_SUITE_P(Samples, SavedElsewhere, ::testing::ValuesIn(kSamples),
                         [](const auto& info) { return std::string(info.param.BigEndian ? "BigEndian" : "LittleEndian"); });
}  // namespace
