#include "settings/prefsloader.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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
    ConfigBlock c(ConfigBlock::Defaults);
    EXPECT_EQ(PrefsFilePath(), PrefsPath());
    EXPECT_FALSE(ReadConfig(c.P));
    EXPECT_EQ(PrefsLastError(), "");  // nothing saved yet is no failure
    EXPECT_FALSE(SaveConfig(c.P));    // saving never creates the file
    EXPECT_EQ(PrefsLastError(), "cannot write " + PrefsPath() + ": No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(Config));  // nor the folder: reading never makes it
    EXPECT_FALSE(ReadConfig(nullptr));
    EXPECT_FALSE(SaveConfig(nullptr));

    MakePrefsFile();
    ASSERT_TRUE(std::filesystem::exists(PrefsPath()));
    EXPECT_EQ(ModeOf(Config), 0700u);
    EXPECT_TRUE(forkbytes::Parse(ReadBytes(PrefsPath())).Resources.empty());
    EXPECT_FALSE(ReadConfig(c.P));  // a file without the record
    MakePrefsFile();                // an existing file is left alone
    EXPECT_TRUE(forkbytes::Parse(ReadBytes(PrefsPath())).Resources.empty());
}

// A save replaces the record under its own name and keeps the file's other resources.
TEST_F(Prefs, SaveThenReadGivesTheSameSettingsAndKeepsOtherResources) {
    const forkbytes::Res labels{"STR#", 128, "Labels", {0, 1, 2, 'h', 'i'}, resPurgeable};
    const forkbytes::Res icon{"ICN#", -4064, std::nullopt, std::vector<uint8_t>(256, 0xF0)};
    StoreFile({labels, {"Pref", 1, "Older", std::vector<uint8_t>(396, 0)}, icon});
    ConfigBlock saved(ConfigBlock::Defaults), back(ConfigBlock::Defaults);
    FillDistinct(*saved.P);
    ASSERT_TRUE(SaveConfig(saved.P));
    ASSERT_TRUE(ReadConfig(back.P));
    EXPECT_TRUE(SameSaved(*saved.P, *back.P));
    const auto rec = StoredRecord();
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->Name, "Config Settings");
    EXPECT_EQ(rec->Data, SavedBytes(saved.P));
    EXPECT_EQ(rec->Data[135], 0);
    EXPECT_EQ(rec->Data[395], 0);
    const forkbytes::Read read = forkbytes::Parse(ReadBytes(PrefsPath()));
    ASSERT_EQ(read.Resources.size(), 3u);
    auto fields = [](const forkbytes::Res& r) { return std::tie(r.Type, r.ID, r.Name, r.Attributes, r.Data); };
    for (const forkbytes::Res* kept : {&labels, &icon}) {
        auto same = [&](const forkbytes::Res& r) { return fields(r) == fields(*kept); };
        EXPECT_EQ(std::count_if(read.Resources.begin(), read.Resources.end(), same), 1) << kept->Type;
    }
}

// Stored records as other writers left them: the read takes the settings of a longer record or one
// with a foreign label, and refuses the rest without touching the configuration. Either way the
// next save writes a current 396-byte record. (Versions and byte orders are the record reader's tests.)
struct StoredRecordCase {
    const char* What;
    void (*Spoil)(std::vector<uint8_t>& b);
    bool Read;
};
const StoredRecordCase kStored[] = {
    {"a NaN fraction", [](auto& b) { PutNative(b, 16, std::numeric_limits<double>::quiet_NaN()); }, false},
    {"one byte short", [](auto& b) { b.pop_back(); }, false},
    {"empty", [](auto& b) { b.clear(); }, false},
    {"a foreign label without a zero tail", [](auto& b) { std::fill(b.begin() + 139, b.begin() + 395, 'x'); }, true},
    {"397 bytes", [](auto& b) { b.resize(397, 0xEE); }, true},
    {"4096 bytes", [](auto& b) { b.resize(4096, 0xEE); }, true},
};
class StoredRecords : public Prefs, public ::testing::WithParamInterface<StoredRecordCase> {};
TEST_P(StoredRecords, AreReadOrRefusedAndThenWrittenCurrent) {
    ConfigBlock stored, c(ConfigBlock::Defaults);
    FillDistinct(*stored.P);
    std::vector<uint8_t> rec = SavedBytes(stored.P);
    GetParam().Spoil(rec);
    StoreFile({{"Pref", 1, "Config Settings", rec}});
    const std::vector<uint8_t> before(reinterpret_cast<uint8_t*>(c.P), reinterpret_cast<uint8_t*>(c.P + 1));
    EXPECT_EQ(ReadConfig(c.P), GetParam().Read) << GetParam().What;
    if (GetParam().Read)
        EXPECT_TRUE(SameSaved(*c.P, *stored.P));
    else
        EXPECT_EQ(std::vector<uint8_t>(reinterpret_cast<uint8_t*>(c.P), reinterpret_cast<uint8_t*>(c.P + 1)), before);
    ASSERT_TRUE(SaveConfig(c.P));
    const auto now = StoredRecord();
    ASSERT_TRUE(now);
    EXPECT_EQ(now->Data, SavedBytes(GetParam().Read ? stored.P : c.P));
}
INSTANTIATE_TEST_SUITE_P(Cases, StoredRecords, ::testing::ValuesIn(kStored));

// Damaged files: the read finds nothing and says why; the next save moves the file aside and
// replaces it with a good one. An empty file holds nothing to keep and only gets its fork. (Each
// kind of damage is the resource reader's test; here all take one way.)
struct DamagedFile {
    const char* What;
    std::vector<uint8_t> (*Make)(const std::vector<uint8_t>& good);
    bool Empty = false;
};
const DamagedFile kDamaged[] = {
    {"truncated in the data", [](const auto& g) { return std::vector<uint8_t>(g.begin(), g.end() - 100); }},
    {"no fork at all", [](const auto&) { return std::vector<uint8_t>(); }, true},
    {"text", [](const auto&) { return std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', '\n'}; }},
};
class DamagedFiles : public Prefs, public ::testing::WithParamInterface<DamagedFile> {};
TEST_P(DamagedFiles, GiveNoRecordAndAreMovedAsideByTheNextSave) {
    ConfigBlock stored, c(ConfigBlock::Defaults);
    FillDistinct(*stored.P);
    const std::vector<uint8_t> damaged =
        GetParam().Make(forkbytes::Build({{"Pref", 1, "Config Settings", SavedBytes(stored.P)}}));
    WriteBytes(PrefsPath(), damaged);
    WriteBytes(PrefsPath() + ".damaged", {1, 2, 3});  // from an earlier time: the newest is kept
    EXPECT_FALSE(ReadConfig(c.P)) << GetParam().What;
    EXPECT_EQ(c->Sliders[1], 50);
    const std::string why = ": damaged (not a resource file); the next save moves it aside to " + PrefsPath() + ".damaged";
    EXPECT_EQ(PrefsLastError(), GetParam().Empty ? "" : "cannot read " + PrefsPath() + why);
    ASSERT_TRUE(SaveConfig(c.P));
    EXPECT_EQ(PrefsMovedAside(), GetParam().Empty ? "" : PrefsPath() + ".damaged");
    EXPECT_EQ(ReadBytes(PrefsPath() + ".damaged"), GetParam().Empty ? std::vector<uint8_t>({1, 2, 3}) : damaged);
    ConfigBlock back;
    FillDistinct(*back.P);
    ASSERT_TRUE(ReadConfig(back.P));
    EXPECT_TRUE(SameSaved(*back.P, *c.P));
    EXPECT_EQ(Listing(Config), (std::vector<std::string>{"kpblk-Prefs", "kpblk-Prefs.damaged", "kpblk-Prefs.lock"}));
    ASSERT_TRUE(SaveConfig(c.P));
    EXPECT_EQ(PrefsMovedAside(), "");  // a good file stays where it is
}
INSTANTIATE_TEST_SUITE_P(Cases, DamagedFiles, ::testing::ValuesIn(kDamaged));

TEST_F(Prefs, ASaveFailingHalfWayLeavesTheOldFileWhole) {
    MakePrefsFile();
    ConfigBlock first(ConfigBlock::Defaults), second(ConfigBlock::Defaults);
    ASSERT_TRUE(SaveConfig(first.P));
    const std::vector<uint8_t> before = ReadBytes(PrefsPath());
    FillDistinct(*second.P);
    FSFailWritesAfter(int64_t(before.size() / 2));
    EXPECT_FALSE(SaveConfig(second.P));
    EXPECT_EQ(ReadBytes(PrefsPath()), before);
    EXPECT_EQ(PrefsLastError(), "cannot write " + PrefsPath() + ": No space left on device");
    EXPECT_EQ(Listing(Config), (std::vector<std::string>{"kpblk-Prefs", "kpblk-Prefs.lock"}));

    FSFailWritesAfter(-1);
    MemFailNextAllocations(1);  // no memory for the record: nothing changes either
    EXPECT_FALSE(SaveConfig(second.P));
    EXPECT_EQ(ReadBytes(PrefsPath()), before);
    ASSERT_TRUE(SaveConfig(second.P));
    EXPECT_NE(ReadBytes(PrefsPath()), before);
}

// A save killed before its rename left its temporary file; the next save, holding the lock, removes
// such files and only them.
TEST_F(Prefs, TheNextSaveRemovesTemporaryFilesOfAKilledOne) {
    MakePrefsFile();
    ConfigBlock c(ConfigBlock::Defaults);
    ASSERT_TRUE(SaveConfig(c.P));
    const std::vector<std::string> left = {".kpblk-Prefs.a1B2c3", ".kpblk-Prefs.ZZZZZZ"};
    const std::vector<std::string> others = {".kpblk-Prefs.a1B2c", ".kpblk-Prefs.a1B2c34", ".kpblk-Prefs.a1-2c3",
                                             ".other.a1B2c3", "kpblk-Prefs.a1B2c3"};
    for (const auto& names : {left, others})
        for (const std::string& name : names) WriteBytes(Config + "/" + name, {1, 2, 3});
    MakePrefsFile();
    ASSERT_TRUE(SaveConfig(c.P));
    EXPECT_EQ(Listing(Config), (std::vector<std::string>{".kpblk-Prefs.a1-2c3", ".kpblk-Prefs.a1B2c", ".kpblk-Prefs.a1B2c34",
                                                         ".other.a1B2c3", "kpblk-Prefs", "kpblk-Prefs.a1B2c3",
                                                         "kpblk-Prefs.lock"}));
}

// Two processes save at the same time while a third reads: every read finds a whole record of
// one writer or the other, and the file ends as one of them.
TEST_F(Prefs, ConcurrentSavesNeverMixTheFile) {
    WriteBytes(PrefsPath(), {});  // without MakePrefsFile, whose lock the writers would inherit
    constexpr int kSaves = 150;
    auto run = [&](int writer) -> pid_t {
        const pid_t pid = ::fork();
        if (pid != 0) return pid;
        ConfigBlock c(ConfigBlock::Defaults);
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
        ConfigBlock r(ConfigBlock::Defaults);
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
    EXPECT_EQ(Listing(Config), (std::vector<std::string>{"kpblk-Prefs", "kpblk-Prefs.lock"}));
    std::printf("%d reads, %d found a record\n", reads, found);
}

// Files the user may not write: a failed save is a quiet false that changes nothing, and the
// reason is there for the host program. Run as nobody (as root every file is writable).
struct LockedFile {
    const char* What;
    mode_t Mode;
    bool RootOwned;  // as left by a run under sudo
    bool Readable;
};
const LockedFile kLocked[] = {
    {"a 0444 file of the user's own", 0444, false, true},
    {"a 0644 file of root's", 0644, true, true},
    {"a 0600 file of root's", 0600, true, false},
};
class LockedFiles : public Prefs, public ::testing::WithParamInterface<LockedFile> {};
TEST_P(LockedFiles, AreNeitherWrittenNorFreedTwice) {
    const LockedFile c = GetParam();
    if (c.RootOwned && !nobody::IsRoot() && !Adopted) GTEST_SKIP() << "a file of root's needs root to make";
    ConfigBlock stored;
    FillDistinct(*stored.P);
    if (!Adopted) {
        StoreFile({{"Pref", 1, "Config Settings", SavedBytes(stored.P)}, {"STR#", 128, "Other", {0, 0}}});
        ::chmod(PrefsPath().c_str(), c.Mode);
    }
    if (!ContinueAsNobody(c.RootOwned ? std::vector<std::string>{PrefsPath()} : std::vector<std::string>{})) return;
    const std::vector<uint8_t> before = ReadBytes(PrefsPath());  // empty when unreadable
    for (int round = 0; round < 2; round++) {                    // as the start-up and then the dialog's OK would
        ConfigBlock cfg(ConfigBlock::Defaults);
        MakePrefsFile();
        EXPECT_EQ(ReadConfig(cfg.P), c.Readable);
        EXPECT_EQ(SameSaved(*cfg.P, *stored.P), c.Readable);
        EXPECT_EQ(PrefsLastError(), c.Readable ? "" : "cannot read " + PrefsPath() + ": Permission denied");
        EXPECT_FALSE(SaveConfig(cfg.P)) << c.What;
        EXPECT_EQ(PrefsLastError(), "cannot write " + PrefsPath() + ": Permission denied");
    }
    EXPECT_EQ(ReadBytes(PrefsPath()), before);
    EXPECT_EQ(ModeOf(PrefsPath()), c.Mode);
    EXPECT_EQ(Listing(Config), (std::vector<std::string>{"kpblk-Prefs", "kpblk-Prefs.lock"}));
}
INSTANTIATE_TEST_SUITE_P(Cases, LockedFiles, ::testing::ValuesIn(kLocked));

// A preferences file that is a FIFO, a folder or a device is refused at once, never waited on.
struct OddPrefs {
    const char* What;
    void (*Make)(const std::string& path);
    const char* Kind;
};
const OddPrefs kOdd[] = {
    {"FIFO", [](const std::string& p) { ::mkfifo(p.c_str(), 0644); }, "a FIFO"},
    {"folder", [](const std::string& p) { std::filesystem::create_directory(p); }, "a folder"},
    {"device", [](const std::string& p) { std::filesystem::create_symlink("/dev/zero", p); }, "a device"},
};
class OddPrefsFiles : public Prefs, public ::testing::WithParamInterface<OddPrefs> {};
TEST_P(OddPrefsFiles, AreRefusedAtOnce) {
    std::filesystem::create_directories(Config);
    GetParam().Make(PrefsPath());
    ::alarm(60);  // a blocking open would hang here
    ConfigBlock c(ConfigBlock::Defaults);
    const std::string reason = std::string(": not a regular file (") + GetParam().Kind + ")";
    MakePrefsFile();
    EXPECT_FALSE(ReadConfig(c.P));
    EXPECT_EQ(PrefsLastError(), "cannot read " + PrefsPath() + reason);
    EXPECT_FALSE(SaveConfig(c.P));
    EXPECT_EQ(PrefsLastError(), "cannot write " + PrefsPath() + reason);
    ::alarm(0);
    EXPECT_EQ(Listing(Config), (std::vector<std::string>{"kpblk-Prefs", "kpblk-Prefs.lock"}));
}
INSTANTIATE_TEST_SUITE_P(Cases, OddPrefsFiles, ::testing::ValuesIn(kOdd),
                         [](const auto& info) { return std::string(info.param.What); });

// Preferences kept with other dotfiles: saves go through the link to its target, which is made
// when missing; a damaged target is moved aside beside itself.
struct LinkedPrefs {
    const char* What;
    const char* Link;                            // relative to the Preferences folder, or "@" for the sandbox
    std::optional<std::vector<uint8_t>> Target;  // what the target holds first, if it exists
};
const LinkedPrefs kLinked[] = {
    {"relative", "../dots/blockwaves", std::vector<uint8_t>()},
    {"absolute", "@dots/blockwaves", std::vector<uint8_t>()},
    {"to a target not made yet", "../dots/blockwaves", std::nullopt},
    {"to a damaged target", "../dots/blockwaves", std::vector<uint8_t>(300, 0xEE)},
};
class LinkedPrefsFiles : public Prefs, public ::testing::WithParamInterface<LinkedPrefs> {};
TEST_P(LinkedPrefsFiles, AreSavedThroughTheLink) {
    const LinkedPrefs c = GetParam();
    const std::string dots = Root + "/dots", target = dots + "/blockwaves";
    std::filesystem::create_directories(Config);
    std::filesystem::create_directories(dots);
    const std::string link = c.Link[0] == '@' ? Root + "/" + (c.Link + 1) : c.Link;
    std::filesystem::create_symlink(link, PrefsPath());
    if (c.Target) WriteBytes(target, *c.Target);
    ConfigBlock saved(ConfigBlock::Defaults), back;
    FillDistinct(*saved.P);
    MakePrefsFile();
    ASSERT_TRUE(SaveConfig(saved.P)) << PrefsLastError();
    EXPECT_TRUE(std::filesystem::is_symlink(PrefsPath()));
    EXPECT_EQ(std::filesystem::read_symlink(PrefsPath()), link);
    ASSERT_TRUE(ReadConfig(back.P));
    EXPECT_TRUE(SameSaved(*back.P, *saved.P));
    EXPECT_EQ(forkbytes::Parse(ReadBytes(target)).Resources.at(0).Data, SavedBytes(saved.P));
    const bool damaged = c.Target && !c.Target->empty();
    if (damaged) {
        EXPECT_EQ(std::filesystem::path(PrefsMovedAside()).lexically_normal(), target + ".damaged");
        EXPECT_EQ(ReadBytes(target + ".damaged"), *c.Target);
    }
    EXPECT_EQ(Listing(dots), damaged ? std::vector<std::string>({"blockwaves", "blockwaves.damaged"})
                                     : std::vector<std::string>({"blockwaves"}));
    EXPECT_EQ(Listing(Config), (std::vector<std::string>{"kpblk-Prefs", "kpblk-Prefs.lock"}));
}
INSTANTIATE_TEST_SUITE_P(Cases, LinkedPrefsFiles, ::testing::ValuesIn(kLinked));

// Writers at once, each reading the record, changing its own field and writing it back (as a
// start-up or 'blockwaves prefs set' does): no change is lost.
TEST_F(Prefs, ConcurrentUpdatesLoseNothing) {
    MakePrefsFile();
    ASSERT_TRUE(SaveConfig(ConfigBlock(ConfigBlock::Defaults).P));
    constexpr int kWriters = 6, kRounds = 30;
    std::vector<pid_t> writers;
    for (int w = 1; w <= kWriters; w++) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            bool ok = true;
            for (int round = 1; round <= kRounds; round++) {
                ConfigBlock c(ConfigBlock::Defaults);
                MakePrefsFile();
                ok = ReadConfig(c.P) && ok;
                c->Colors[w].RED = uint16_t(round);
                ok = SaveConfig(c.P) && ok;
            }
            ::_exit(ok ? 0 : 1);
        }
        writers.push_back(pid);
    }
    for (pid_t pid : writers) {
        int status = -1;
        ::waitpid(pid, &status, 0);
        EXPECT_EQ(status, 0);
    }
    ConfigBlock last;
    ASSERT_TRUE(ReadConfig(last.P));
    for (int w = 1; w <= kWriters; w++) EXPECT_EQ(last->Colors[w].RED, kRounds) << "writer " << w;
}

TEST_F(Prefs, AnUpdateUnderWayElsewhereRefusesTheSave) {
    WriteBytes(PrefsPath(), {});
    int ready[2], done[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(done), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        ConfigBlock c(ConfigBlock::Defaults);
        MakePrefsFile();  // takes the lock, and keeps it while the parent tries
        char byte = 'r';
        if (::write(ready[1], &byte, 1) != 1 || ::read(done[0], &byte, 1) != 1) ::_exit(2);
        ::_exit(SaveConfig(c.P) ? 0 : 1);
    }
    char byte;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ConfigBlock c(ConfigBlock::Defaults);
    FillDistinct(*c.P);
    PrefsLockWait(0);
    EXPECT_FALSE(SaveConfig(c.P));
    PrefsLockWait(cPrefsLockWaitMilliseconds);
    EXPECT_EQ(PrefsLastError(), "cannot write " + PrefsPath() + ": another program holds " + PrefsPath() + ".lock");
    ASSERT_EQ(::write(done[1], &byte, 1), 1);
    int status = -1;
    ::waitpid(holder, &status, 0);
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(SaveConfig(c.P));  // waits its turn
    for (int fd : {ready[0], ready[1], done[0], done[1]}) ::close(fd);
}

TEST_F(Prefs, MessagesNameTheFolderTheyCouldNotUse) {
    ConfigBlock c(ConfigBlock::Defaults);
    WriteBytes(Root + "/file", {1});
    Keep("XDG_CONFIG_HOME", Root + "/file");
    EXPECT_EQ(PrefsFilePath(), Root + "/file/kpblk-Prefs");
    EXPECT_FALSE(ReadConfig(c.P));
    const std::string why = ": XDG_CONFIG_HOME names " + Root + "/file, which is not a folder";
    EXPECT_EQ(PrefsLastError(), "cannot read " + Root + "/file/kpblk-Prefs" + why);
    MakePrefsFile();
    EXPECT_EQ(PrefsLastError(), "cannot write " + Root + "/file/kpblk-Prefs" + why);
    EXPECT_FALSE(SaveConfig(c.P));
    EXPECT_EQ(PrefsLastError(), "cannot write " + Root + "/file/kpblk-Prefs" + why);

    Keep("XDG_CONFIG_HOME", std::nullopt);
    Keep("HOME", std::nullopt);
    const passwd* pw = ::getpwuid(::getuid());
    ASSERT_NE(pw, nullptr);
    EXPECT_EQ(PrefsFilePath(), std::string(pw->pw_dir) + "/.config/kpblk-Prefs");
}

}  // namespace
