#include "platform/Files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include "sandbox.h"

namespace {
using Files = Sandbox;

mode_t ModeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

std::string FolderPath(int32_t dirID) {
    FSSpec fileSpec;
    FSMakeFSSpec(-1, dirID, PStr("x"), &fileSpec);
    const std::string p = FSSpecPath(fileSpec);
    return p.substr(0, p.size() - 2);
}

TEST_F(Files, PreferencesFolderIsXdgConfigHomeMadeWhenMissing) {
    Keep("XDG_CONFIG_HOME", Root + "/deep/config");
    int16_t vRefNum = 0;
    int32_t dirID = 0;
    ASSERT_EQ(FindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, &vRefNum, &dirID), noErr);
    EXPECT_EQ(FolderPath(dirID), Root + "/deep/config");
    EXPECT_EQ(ModeOf(Root + "/deep/config"), 0700u);
    EXPECT_EQ(ModeOf(Root + "/deep"), 0700u);
    int32_t again = 0;
    ASSERT_EQ(FindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, &vRefNum, &again), noErr);
    EXPECT_EQ(again, dirID);
}

TEST_F(Files, PreferencesFolderFallsBackToHomeConfig) {
    Keep("XDG_CONFIG_HOME", std::nullopt);
    int16_t vRefNum;
    int32_t dirID;
    ASSERT_EQ(FindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, &vRefNum, &dirID), noErr);
    EXPECT_EQ(FolderPath(dirID), Home + "/.config");
    EXPECT_EQ(ModeOf(Home + "/.config"), 0700u);

    Keep("XDG_CONFIG_HOME", "relative/path");  // not absolute: ignored
    ASSERT_EQ(FindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, &vRefNum, &dirID), noErr);
    EXPECT_EQ(FolderPath(dirID), Home + "/.config");

    Keep("HOME", std::nullopt);
    Keep("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(FindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, &vRefNum, &dirID), dirNFErr);
    EXPECT_EQ(FindFolder(kOnSystemDisk, FourCC("desk"), kDontCreateFolder, &vRefNum, &dirID), fnfErr);
}

TEST_F(Files, SpecsNameFilesThatMayNotExistYet) {
    int16_t vRefNum;
    int32_t dirID;
    ASSERT_EQ(FindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, &vRefNum, &dirID), noErr);
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
}  // namespace
