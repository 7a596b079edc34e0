#include "platform/Files.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>

#include "sandbox.h"

namespace {
using Files = Sandbox;

std::string FolderPath(int32_t dirID) {
    FSSpec fileSpec;
    FSMakeFSSpec(-1, dirID, PStr("x"), &fileSpec);
    const std::string p = FSSpecPath(fileSpec);
    return p.substr(0, p.size() - 2);
}

TEST_F(Files, PreferencesFolderIsMadeOnlyWhenAskedFor) {
    Keep("XDG_CONFIG_HOME", Root + "/deep/config");
    int16_t vRefNum = 0;
    int32_t dirID = 0;
    EXPECT_EQ(FindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, &vRefNum, &dirID), fnfErr);
    EXPECT_FALSE(std::filesystem::exists(Root + "/deep"));
    EXPECT_EQ(FSPreferencesFolderPath(), Root + "/deep/config");
    ASSERT_EQ(FindFolder(kOnSystemDisk, kPreferencesFolderType, kCreateFolder, &vRefNum, &dirID), noErr);
    EXPECT_EQ(FolderPath(dirID), Root + "/deep/config");
    EXPECT_EQ(ModeOf(Root + "/deep/config"), 0700u);
    EXPECT_EQ(ModeOf(Root + "/deep"), 0700u);
    int32_t again = 0;
    ASSERT_EQ(FindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, &vRefNum, &again), noErr);
    EXPECT_EQ(again, dirID);
    EXPECT_EQ(FindFolder(kOnSystemDisk, FourCC("desk"), kCreateFolder, &vRefNum, &dirID), fnfErr);
}

// Where the Preferences folder comes from, and why it cannot be used. "@" stands for the sandbox,
// "~" for the password database's home folder.
struct FolderCase {
    const char* What;
    std::optional<std::string> Xdg, Home;
    std::string Folder;
    OSErr Found;  // without making the folder: fnfErr when it could be made
    std::string Reason;
};
const FolderCase kFolders[] = {
    {"XDG_CONFIG_HOME", "@cfg", "@home", "@cfg", fnfErr, ""},
    {"HOME's .config", std::nullopt, "@home", "@home/.config", fnfErr, ""},
    {"a relative XDG_CONFIG_HOME is ignored", "relative/path", "@home", "@home/.config", fnfErr, ""},
    {"XDG_CONFIG_HOME naming a file", "@file", "@home", "@file", dirNFErr, "XDG_CONFIG_HOME names @file, which is not a folder"},
    {"HOME's .config a file", std::nullopt, "@filehome", "@filehome/.config", dirNFErr,
     "HOME names @filehome/.config, which is not a folder"},
    {"neither set", std::nullopt, std::nullopt, "~/.config", noErr, ""},
};
class PreferencesFolder : public Files, public ::testing::WithParamInterface<FolderCase> {};
TEST_P(PreferencesFolder, ComesFromTheEnvironmentOrThePasswordDatabase) {
    const FolderCase c = GetParam();
    const passwd* pw = ::getpwuid(::getuid());
    ASSERT_NE(pw, nullptr);
    auto expand = [&](std::string text) {
        for (size_t at; (at = text.find_first_of("@~")) != std::string::npos;)
            text.replace(at, 1, text[at] == '@' ? Root + "/" : std::string(pw->pw_dir));
        return text;
    };
    WriteBytes(Root + "/file", {1});
    WriteBytes(Root + "/filehome/.config", {1});
    Keep("XDG_CONFIG_HOME", c.Xdg ? std::optional<std::string>(expand(*c.Xdg)) : std::nullopt);
    Keep("HOME", c.Home ? std::optional<std::string>(expand(*c.Home)) : std::nullopt);
    EXPECT_EQ(FSPreferencesFolderPath(), expand(c.Folder));
    int16_t vRefNum;
    int32_t dirID;
    const OSErr found = FindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, &vRefNum, &dirID);
    if (c.Folder[0] == '~') return;  // whether the real home's folder exists is not the test's
    EXPECT_EQ(found, c.Found);
    if (!c.Reason.empty()) {
        EXPECT_EQ(FSLastReason(), expand(c.Reason));
    }
    const OSErr made = FindFolder(kOnSystemDisk, kPreferencesFolderType, kCreateFolder, &vRefNum, &dirID);
    EXPECT_EQ(made, c.Found == fnfErr ? noErr : c.Found);
}
INSTANTIATE_TEST_SUITE_P(Cases, PreferencesFolder, ::testing::ValuesIn(kFolders));

TEST_F(Files, SpecsNameFilesThatMayNotExistYet) {
    int16_t vRefNum;
    int32_t dirID;
    ASSERT_EQ(FindFolder(kOnSystemDisk, kPreferencesFolderType, kCreateFolder, &vRefNum, &dirID), noErr);
    FSSpec fileSpec{};
    EXPECT_EQ(FSMakeFSSpec(vRefNum, dirID, PStr("kpblk-Prefs"), &fileSpec), fnfErr);
    EXPECT_EQ(fileSpec.parID, dirID);
    EXPECT_EQ(PStrView(fileSpec.name), "kpblk-Prefs");
    EXPECT_EQ(FSSpecPath(fileSpec), PrefsPath());
    WriteBytes(PrefsPath(), {1, 2, 3});
    EXPECT_EQ(FSMakeFSSpec(vRefNum, dirID, PStr("kpblk-Prefs"), &fileSpec), noErr);
    EXPECT_EQ(FSpDelete(&fileSpec), noErr);
    EXPECT_EQ(FSpDelete(&fileSpec), fnfErr);

    static constexpr PStr kSlash("a/b");
    static constexpr PStr kUp("..");
    static constexpr PStr kHere(".");
    static constexpr PStr kEmpty("");
    for (ConstStr255Param bad : {kSlash.Text, kUp.Text, kHere.Text, kEmpty.Text})
        EXPECT_EQ(FSMakeFSSpec(vRefNum, dirID, bad, &fileSpec), bdNamErr);
    EXPECT_EQ(FSMakeFSSpec(vRefNum, dirID, PStr("0123456789012345678901234567890123456789012345678901234567890123"), &fileSpec),
              bdNamErr);  // 64 characters
    EXPECT_EQ(FSMakeFSSpec(vRefNum, 99999, PStr("x"), &fileSpec), dirNFErr);
}

TEST_F(Files, AWriteFailingHalfWayLeavesTheOldFileWhole) {
    const std::string path = Root + "/file";
    const std::vector<uint8_t> before(1000, 0xAA), after(1000, 0xBB);
    WriteBytes(path, before);
    ::chmod(path.c_str(), 0640);
    FSFailWritesAfter(500);
    EXPECT_EQ(FSWriteWholeFile(path, after, false, nullptr), dskFulErr);
    EXPECT_EQ(ReadBytes(path), before);
    FSFailWritesAfter(-1);
    EXPECT_EQ(Listing(Root), (std::vector<std::string>{"file", "home"}));  // no temporary file left
    EXPECT_EQ(FSWriteWholeFile(path, after, false, nullptr), noErr);
    EXPECT_EQ(ReadBytes(path), after);
    EXPECT_EQ(ModeOf(path), 0640u);  // the replacement keeps the old file's mode
    EXPECT_EQ(FSWriteWholeFile(path, before, true, nullptr), dupFNErr);
    EXPECT_EQ(ReadBytes(path), after);
    EXPECT_EQ(Listing(Root), (std::vector<std::string>{"file", "home"}));
}

TEST_F(Files, TypeAndCreatorLiveInTheFinderInfoAttribute) {
    const std::string path = Root + "/typed";
    WriteBytes(path, {});
    const char probe[1] = {0};
    if (::setxattr(path.c_str(), "user.bw-probe", probe, 1, 0) != 0) GTEST_SKIP() << "no user attributes here";
    FInfo info{};
    info.fdType = FourCC("Pref");
    info.fdCreator = FourCC("qvz ");
    ASSERT_EQ(FSWriteWholeFile(path, {1}, false, &info), noErr);
    ASSERT_EQ(FSWriteWholeFile(path, {2}, false, nullptr), noErr);  // a rewrite carries them over
    FSSpec fileSpec;
    ASSERT_EQ(FSMakeFSSpecFromPath(path, &fileSpec), noErr);
    FInfo back{};
    ASSERT_EQ(FSpGetFInfo(&fileSpec, &back), noErr);
    EXPECT_EQ(back.fdType, FourCC("Pref"));
    EXPECT_EQ(back.fdCreator, FourCC("qvz "));
    uint8_t raw[32];
    ASSERT_EQ(::getxattr(path.c_str(), "user.com.apple.FinderInfo", raw, sizeof raw), 32);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(raw), 8), "Prefqvz ");  // big-endian, as the Finder keeps it
}
// Anything but a regular file is refused at once: a FIFO without a writer would block an open.
struct OddFile {
    const char* What;
    void (*Make)(const std::string& path);
    const char* Reason;
};
const OddFile kOddFiles[] = {
    {"a FIFO", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }, "not a regular file (a FIFO)"},
    {"a folder", [](const std::string& p) { std::filesystem::create_directory(p); }, "not a regular file (a folder)"},
    {"a link to a device", [](const std::string& p) { std::filesystem::create_symlink("/dev/null", p); },
     "not a regular file (a device)"},
};
class OddFiles : public Files, public ::testing::WithParamInterface<OddFile> {};
TEST_P(OddFiles, AreRefusedWithoutBeingOpened) {
    const std::string path = Root + "/odd";
    GetParam().Make(path);
    ::alarm(60);  // a blocking open would hang here
    std::vector<uint8_t> bytes{1};
    EXPECT_EQ(FSReadWholeFile(path, bytes, 1000), notAFileErr);
    EXPECT_EQ(FSLastReason(), GetParam().Reason);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(FSWriteWholeFile(path, {1, 2}, false, nullptr), notAFileErr);
    int lock = 0;
    EXPECT_EQ(FSLockFile(path, 0, &lock), notAFileErr);
    EXPECT_EQ(lock, -1);
    ::alarm(0);
    EXPECT_EQ(Listing(Root), (std::vector<std::string>{"home", "odd"}));
}
INSTANTIATE_TEST_SUITE_P(Cases, OddFiles, ::testing::ValuesIn(kOddFiles));

// A file reached through links is replaced at the link's target, in the target's folder.
struct LinkCase {
    const char* What;
    std::vector<std::pair<std::string, std::string>> Links;  // link, what it points at
    bool TargetExists;
};
const LinkCase kLinks[] = {
    {"relative", {{"prefs", "../dots/prefs"}}, true},
    {"absolute", {{"prefs", "@dots/prefs"}}, true},
    {"a chain of two", {{"prefs", "middle"}, {"middle", "../dots/prefs"}}, true},
    {"to a file not made yet", {{"prefs", "../dots/prefs"}}, false},
};
class Links : public Files, public ::testing::WithParamInterface<LinkCase> {};
TEST_P(Links, KeepTheLinkAndReplaceTheTarget) {
    const std::string folder = Root + "/cfg", dots = Root + "/dots", target = dots + "/prefs";
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(dots);
    for (auto [link, to] : GetParam().Links)
        std::filesystem::create_symlink(to[0] == '@' ? Root + "/" + to.substr(1) : to, folder + "/" + link);
    if (GetParam().TargetExists) {
        WriteBytes(target, {1});
        ::chmod(target.c_str(), 0604);
    }
    EXPECT_EQ(std::filesystem::path(FSResolveLinks(folder + "/prefs")).lexically_normal(), target);
    ASSERT_EQ(FSWriteWholeFile(folder + "/prefs", {7, 8, 9}, !GetParam().TargetExists, nullptr), noErr);
    EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{7, 8, 9}));
    EXPECT_TRUE(std::filesystem::is_symlink(folder + "/prefs"));
    if (GetParam().TargetExists) {
        EXPECT_EQ(ModeOf(target), 0604u);
    }
    EXPECT_EQ(Listing(dots), std::vector<std::string>{"prefs"});  // no temporary file left
    EXPECT_EQ(Listing(folder).size(), GetParam().Links.size());
}
INSTANTIATE_TEST_SUITE_P(Cases, Links, ::testing::ValuesIn(kLinks));

TEST_F(Files, LinksThatLoopResolveToNothing) {
    std::filesystem::create_symlink("b", Root + "/a");
    std::filesystem::create_symlink("a", Root + "/b");
    EXPECT_EQ(FSResolveLinks(Root + "/a"), "");
    EXPECT_NE(FSWriteWholeFile(Root + "/a", {1}, false, nullptr), noErr);
    EXPECT_EQ(FSResolveLinks(Root + "/home"), Root + "/home");  // no link: itself
}

// The lock: another holder keeps it until it ends, however it ends.
TEST_F(Files, ALockIsHeldUntilItsHolderEndsEvenByAKill) {
    const std::string path = Root + "/lock";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        int lock;
        const char ok = FSLockFile(path, 0, &lock) == noErr ? 'y' : 'n';
        if (::write(ready[1], &ok, 1) != 1) ::_exit(1);
        ::pause();  // until killed
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    int lock = 0;
    EXPECT_EQ(FSLockFile(path, 0, &lock), fBsyErr);
    EXPECT_EQ(FSLastReason(), "another program holds " + path);
    EXPECT_EQ(lock, -1);
    EXPECT_EQ(FSLockFile(path, 30, &lock), fBsyErr);  // waits, then gives up
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ASSERT_EQ(FSLockFile(path, 0, &lock), noErr);
    int again = 0;
    EXPECT_EQ(FSLockFile(path, 0, &again), fBsyErr);  // exclusive within one process too
    FSUnlockFile(lock);
    ASSERT_EQ(FSLockFile(path, 0, &again), noErr);
    FSUnlockFile(again);
    EXPECT_TRUE(std::filesystem::is_regular_file(path));  // stays for the next holder
    ::close(ready[0]);
    ::close(ready[1]);
}

}  // namespace
