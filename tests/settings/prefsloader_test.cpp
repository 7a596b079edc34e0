#include "settings/prefsloader.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "configs.h"
#include "platform/ResourceFork.h"
#include "platform/forkbytes.h"
#include "platform/sandbox.h"

namespace {
class Prefs : public Sandbox {
protected:
    // The 'Pref' 1 resource of the file as the test's own reader finds it.
    std::optional<forkbytes::Res> StoredRecord() {
        const forkbytes::Read read = forkbytes::Parse(ReadBytes(PrefsPath()));
        for (const forkbytes::Res& r : read.Resources)
            if (r.Type == "Pref" && r.ID == 1) return r;
        return std::nullopt;
    }
    void StoreFile(const std::vector<forkbytes::Res>& resources) { WriteBytes(PrefsPath(), forkbytes::Build(resources)); }
};

TEST_F(Prefs, WithoutAFileNothingIsReadOrWrittenUntilItIsMade) {
    ConfigBlock c;
    ResetConfig(c.P, true);
    EXPECT_FALSE(ReadConfig(c.P));
    EXPECT_FALSE(SaveConfig(c.P));  // saving never creates the file
    EXPECT_FALSE(std::filesystem::exists(PrefsPath()));
    EXPECT_FALSE(ReadConfig(nullptr));
    EXPECT_FALSE(SaveConfig(nullptr));

    MakePrefsFile();
    ASSERT_TRUE(std::filesystem::exists(PrefsPath()));
    EXPECT_TRUE(forkbytes::Parse(ReadBytes(PrefsPath())).Resources.empty());
    EXPECT_FALSE(ReadConfig(c.P));  // a file without the record
    MakePrefsFile();                // an existing file is left alone
    EXPECT_TRUE(forkbytes::Parse(ReadBytes(PrefsPath())).Resources.empty());
}

TEST_F(Prefs, SaveThenReadGivesTheSameSettings) {
    MakePrefsFile();
    ConfigBlock saved, read;
    ResetConfig(saved.P, true);
    FillDistinct(*saved.P);
    ASSERT_TRUE(SaveConfig(saved.P));
    ResetConfig(read.P, true);
    ASSERT_TRUE(ReadConfig(read.P));
    EXPECT_TRUE(SameSaved(*saved.P, *read.P));

    const auto rec = StoredRecord();
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->Name, "Config Settings");
    EXPECT_EQ(rec->Data, SavedBytes(saved.P));
    EXPECT_EQ(rec->Data[135], 0);
    EXPECT_EQ(rec->Data[395], 0);
}

TEST_F(Prefs, TheLabelIsWrittenAfreshWhateverWasRead) {
    ConfigBlock stored, c;
    FillDistinct(*stored.P);
    std::vector<uint8_t> rec = SavedBytes(stored.P);
    std::fill(rec.begin() + 139, rec.begin() + 395, 'x');  // a foreign label, no zero tail
    StoreFile({{"Pref", 1, "Config Settings", rec}});
    ResetConfig(c.P, true);
    ASSERT_TRUE(ReadConfig(c.P));  // the label is not part of the settings
    EXPECT_TRUE(SameSaved(*c.P, *stored.P));
    ASSERT_TRUE(SaveConfig(c.P));
    EXPECT_EQ(StoredRecord()->Data, SavedBytes(stored.P));
}

TEST_F(Prefs, OtherResourcesOfTheFileAreKept) {
    const forkbytes::Res labels{"STR#", 128, "Labels", {0, 1, 2, 'h', 'i'}, resPurgeable};
    const forkbytes::Res icon{"ICN#", -4064, std::nullopt, std::vector<uint8_t>(256, 0xF0)};
    StoreFile({labels, {"Pref", 1, "Config Settings", std::vector<uint8_t>(396, 0)}, icon});
    ConfigBlock c;
    ResetConfig(c.P, true);
    FillDistinct(*c.P);
    ASSERT_TRUE(SaveConfig(c.P));
    const forkbytes::Read read = forkbytes::Parse(ReadBytes(PrefsPath()));
    ASSERT_EQ(read.Resources.size(), 3u);
    for (const forkbytes::Res* kept : {&labels, &icon}) {
        const auto it = std::find_if(read.Resources.begin(), read.Resources.end(),
                                     [&](const forkbytes::Res& r) { return r.Type == kept->Type; });
        ASSERT_NE(it, read.Resources.end());
        EXPECT_EQ(it->ID, kept->ID);
        EXPECT_EQ(it->Name, kept->Name);
        EXPECT_EQ(it->Attributes, kept->Attributes);
        EXPECT_EQ(it->Data, kept->Data);
    }
}

// Stored records the read refuses; the next save replaces each with a current one.
struct StaleRecord {
    const char* What;
    void (*Spoil)(std::vector<uint8_t>& b);
};
const StaleRecord kStale[] = {
    {"version 2", [](auto& b) { PutNative<uint32_t>(b, 4, 2); }},
    {"the other byte order",
     [](auto& b) {
         PutNative<uint32_t>(b, 0, 2348875776u);
         PutNative<uint32_t>(b, 4, 0x03000000u);
     }},
    {"a NaN fraction", [](auto& b) { PutNative(b, 16, std::numeric_limits<double>::quiet_NaN()); }},
    {"one byte short", [](auto& b) { b.pop_back(); }},
    {"one byte long", [](auto& b) { b.push_back(0); }},
    {"empty", [](auto& b) { b.clear(); }},
};
class StaleRecords : public Prefs, public ::testing::WithParamInterface<StaleRecord> {};
TEST_P(StaleRecords, AreRefusedAndThenOverwritten) {
    ConfigBlock stored, c;
    FillDistinct(*stored.P);
    std::vector<uint8_t> rec = SavedBytes(stored.P);
    GetParam().Spoil(rec);
    StoreFile({{"Pref", 1, "Config Settings", rec}});
    ResetConfig(c.P, true);
    const std::vector<uint8_t> before(reinterpret_cast<uint8_t*>(c.P), reinterpret_cast<uint8_t*>(c.P + 1));
    EXPECT_FALSE(ReadConfig(c.P)) << GetParam().What;
    EXPECT_EQ(std::vector<uint8_t>(reinterpret_cast<uint8_t*>(c.P), reinterpret_cast<uint8_t*>(c.P + 1)), before);
    ASSERT_TRUE(SaveConfig(c.P));
    const auto now = StoredRecord();
    ASSERT_TRUE(now);
    EXPECT_EQ(now->Data, SavedBytes(c.P));
}
INSTANTIATE_TEST_SUITE_P(Cases, StaleRecords, ::testing::ValuesIn(kStale));

// Damaged files: the read finds nothing, the next save replaces the file with a good one.
struct DamagedFile {
    const char* What;
    std::vector<uint8_t> (*Make)(const std::vector<uint8_t>& good);
};
std::vector<uint8_t> WithBe(std::vector<uint8_t> f, size_t at, uint32_t v) {
    for (int i = 3; i >= 0; i--, v >>= 8) f[at + size_t(i)] = uint8_t(v);
    return f;
}
const DamagedFile kDamaged[] = {
    {"truncated in the map", [](const auto& g) { return std::vector<uint8_t>(g.begin(), g.begin() + 40); }},
    {"truncated in the data", [](const auto& g) { return std::vector<uint8_t>(g.begin(), g.end() - 100); }},
    {"map offset outside the file", [](const auto& g) { return WithBe(g, 4, 0xFFFFFF00); }},
    {"a record claiming 4 GB", [](const auto& g) { return WithBe(g, g.size() - 400, 0xFFFFFFFF); }},
    {"a reference list looping into the type list",
     [](const auto& g) {
         auto f = g;
         f[16 + 28 + 2 + 6] = 0;
         f[16 + 28 + 2 + 7] = 0;
         return f;
     }},
    {"sixteen zero bytes", [](const auto&) { return std::vector<uint8_t>(16, 0); }},
    {"no fork at all", [](const auto&) { return std::vector<uint8_t>(); }},
    {"text", [](const auto&) { return std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', '\n'}; }},
};
class DamagedFiles : public Prefs, public ::testing::WithParamInterface<DamagedFile> {};
TEST_P(DamagedFiles, GiveNoRecordAndAreReplacedByTheNextSave) {
    ConfigBlock stored, c;
    FillDistinct(*stored.P);
    WriteBytes(PrefsPath(), GetParam().Make(forkbytes::Build({{"Pref", 1, "Config Settings", SavedBytes(stored.P)}})));
    ResetConfig(c.P, true);
    EXPECT_FALSE(ReadConfig(c.P)) << GetParam().What;
    EXPECT_EQ(c->Sliders[1], 50);
    ASSERT_TRUE(SaveConfig(c.P));
    ConfigBlock back;
    FillDistinct(*back.P);
    ASSERT_TRUE(ReadConfig(back.P));
    EXPECT_TRUE(SameSaved(*back.P, *c.P));
    EXPECT_EQ(Listing(Config), std::vector<std::string>{"kpblk-Prefs"});
}
INSTANTIATE_TEST_SUITE_P(Cases, DamagedFiles, ::testing::ValuesIn(kDamaged));

TEST_F(Prefs, ASaveFailingHalfWayLeavesTheOldFileWhole) {
    MakePrefsFile();
    ConfigBlock first, second;
    ResetConfig(first.P, true);
    ASSERT_TRUE(SaveConfig(first.P));
    const std::vector<uint8_t> before = ReadBytes(PrefsPath());
    ResetConfig(second.P, true);
    FillDistinct(*second.P);
    FSFailWritesAfter(int64_t(before.size() / 2));
    EXPECT_FALSE(SaveConfig(second.P));
    EXPECT_EQ(ReadBytes(PrefsPath()), before);
    EXPECT_EQ(Listing(Config), std::vector<std::string>{"kpblk-Prefs"});

    FSFailWritesAfter(-1);
    MemFailNextAllocations(1);  // no memory for the record: nothing changes either
    EXPECT_FALSE(SaveConfig(second.P));
    EXPECT_EQ(ReadBytes(PrefsPath()), before);
    ASSERT_TRUE(SaveConfig(second.P));
    EXPECT_NE(ReadBytes(PrefsPath()), before);
}

// Two processes save at the same time while a third reads: every read finds a whole record of
// one writer or the other, and the file ends as one of them.
TEST_F(Prefs, ConcurrentSavesNeverMixTheFile) {
    MakePrefsFile();
    constexpr int kSaves = 150;
    auto run = [&](int writer) -> pid_t {
        const pid_t pid = ::fork();
        if (pid != 0) return pid;
        ConfigBlock c;
        ResetConfig(c.P, true);
        FillDistinct(*c.P, int16_t(writer));
        bool ok = true;
        for (int i = 0; i < kSaves; i++) ok = SaveConfig(c.P) && ok;
        ::_exit(ok ? 0 : 1);
    };
    const pid_t a = run(1), b = run(2);
    ConfigBlock one, two;
    FillDistinct(*one.P, 1);
    FillDistinct(*two.P, 2);
    int reads = 0, found = 0, gaps = 0, mixed = 0;
    std::map<pid_t, int> exits;
    while (exits.size() < 2) {
        ConfigBlock r;
        ResetConfig(r.P, true);
        reads++;
        if (ReadConfig(r.P)) {
            found++;
            if (!SameSaved(*r.P, *one.P) && !SameSaved(*r.P, *two.P)) mixed++;
        } else if (found > 0) {
            gaps++;  // the file was without its record after a save had put it there
        }
        for (pid_t pid : {a, b}) {
            int status;
            if (!exits.count(pid) && ::waitpid(pid, &status, WNOHANG) == pid) exits[pid] = status;
        }
    }
    EXPECT_EQ(exits[a], 0);
    EXPECT_EQ(exits[b], 0);
    EXPECT_EQ(mixed, 0);
    EXPECT_EQ(gaps, 0);
    EXPECT_GT(found, 0);
    ConfigBlock last;
    ASSERT_TRUE(ReadConfig(last.P));
    EXPECT_TRUE(SameSaved(*last.P, *one.P) || SameSaved(*last.P, *two.P));
    EXPECT_EQ(Listing(Config), std::vector<std::string>{"kpblk-Prefs"});
    std::printf("%d reads, %d found a record\n", reads, found);
}
}  // namespace
