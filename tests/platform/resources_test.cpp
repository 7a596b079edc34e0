#include "platform/Resources.h"

#include <gtest/gtest.h>

#include <cstring>

#include "forkbytes.h"
#include "platform/Memory.h"
#include "sandbox.h"

namespace {
class Resources : public Sandbox {
protected:
    FSSpec SpecFor(const std::string& name) {
        FSSpec fileSpec{};
        FSMakeFSSpecFromPath(Root + "/" + name, &fileSpec);
        return fileSpec;
    }
    static Handle HandleOf(const std::vector<uint8_t>& bytes) {
        Handle h = NewHandleClear(Size(bytes.size()));
        if (!bytes.empty()) std::memcpy(*h, bytes.data(), bytes.size());
        return h;
    }
    static std::vector<uint8_t> BytesOf(Handle h) {
        return std::vector<uint8_t>(reinterpret_cast<uint8_t*>(*h), reinterpret_cast<uint8_t*>(*h) + GetHandleSize(h));
    }
};

TEST_F(Resources, CreateMakesAnEmptyForkOnceAndFillsAnEmptyFile) {
    const FSSpec fileSpec = SpecFor("prefs");
    FSpCreateResFile(&fileSpec, FourCC("qvz "), FourCC("Pref"), smSystemScript);
    ASSERT_EQ(ResError(), noErr);
    EXPECT_EQ(ReadBytes(Root + "/prefs").size(), 286u);
    FSpCreateResFile(&fileSpec, FourCC("qvz "), FourCC("Pref"), smSystemScript);
    EXPECT_EQ(ResError(), dupFNErr);

    WriteBytes(Root + "/empty", {});
    const FSSpec empty = SpecFor("empty");
    FSpCreateResFile(&empty, FourCC("qvz "), FourCC("Pref"), smSystemScript);  // a file without a fork gets one
    EXPECT_EQ(ResError(), noErr);
    const int16_t ref = FSpOpenResFile(&empty, fsCurPerm);
    EXPECT_EQ(ResError(), noErr);
    CloseResFile(ref);
}

TEST_F(Resources, OpenReportsMissingEmptyAndDamagedFiles) {
    WriteBytes(Root + "/empty", {});
    WriteBytes(Root + "/damaged", {0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 30});
    for (auto [name, err] : {std::pair{"missing", fnfErr}, {"empty", eofErr}, {"damaged", mapReadErr}}) {
        const FSSpec fileSpec = SpecFor(name);
        EXPECT_EQ(FSpOpenResFile(&fileSpec, fsCurPerm), kResFileNotOpened) << name;
        EXPECT_EQ(ResError(), err) << name;
    }
}

TEST_F(Resources, AddedResourcesSurviveReopeningAndOthersAreKept) {
    WriteBytes(Root + "/file", forkbytes::Build({{"STR#", 128, "Labels", {0, 1, 1, 'A'}},
                                                 {"Pref", 1, "Config Settings", {9, 9, 9}}}));
    const FSSpec fileSpec = SpecFor("file");
    int16_t ref = FSpOpenResFile(&fileSpec, fsCurPerm);
    ASSERT_EQ(ResError(), noErr);
    Handle old = Get1Resource(FourCC("Pref"), 1);
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(BytesOf(old), (std::vector<uint8_t>{9, 9, 9}));
    EXPECT_EQ(Get1Resource(FourCC("Pref"), 1), old);  // loaded once
    RemoveResource(old);
    EXPECT_EQ(ResError(), noErr);
    DisposeHandle(old);
    EXPECT_EQ(Get1Resource(FourCC("Pref"), 1), nullptr);
    EXPECT_EQ(ResError(), resNotFound);

    Handle fresh = HandleOf({1, 2, 3, 4});
    AddResource(fresh, FourCC("Pref"), 1, PStr("Config Settings"));
    EXPECT_EQ(ResError(), noErr);
    Handle twice = HandleOf({5});
    AddResource(twice, FourCC("Pref"), 1, PStr("Twice"));  // same type and ID
    EXPECT_EQ(ResError(), addResFailed);
    DisposeHandle(twice);
    AddResource(fresh, FourCC("Pref"), 2, nullptr);  // already a resource
    EXPECT_EQ(ResError(), addResFailed);
    UpdateResFile(ref);
    EXPECT_EQ(ResError(), noErr);
    ReleaseResource(fresh);
    CloseResFile(ref);
    EXPECT_EQ(CurResFile(), kResFileNotOpened);

    const forkbytes::Read read = forkbytes::Parse(ReadBytes(Root + "/file"));
    ASSERT_EQ(read.Resources.size(), 2u);
    EXPECT_EQ(read.Resources[0].Type, "STR#");
    EXPECT_EQ(read.Resources[0].Name, "Labels");
    EXPECT_EQ(read.Resources[0].Data, (std::vector<uint8_t>{0, 1, 1, 'A'}));
    EXPECT_EQ(read.Resources[1].Name, "Config Settings");
    EXPECT_EQ(read.Resources[1].Data, (std::vector<uint8_t>{1, 2, 3, 4}));

    ref = FSpOpenResFile(&fileSpec, fsRdPerm);
    Handle back = Get1Resource(FourCC("Pref"), 1);
    ASSERT_NE(back, nullptr);
    int16_t id = 0;
    ResType type = 0;
    Str255 name;
    GetResInfo(back, &id, &type, name);
    EXPECT_EQ(id, 1);
    EXPECT_EQ(type, FourCC("Pref"));
    EXPECT_EQ(PStrView(name), "Config Settings");
    DetachResource(back);
    CloseResFile(ref);
    EXPECT_EQ(BytesOf(back), (std::vector<uint8_t>{1, 2, 3, 4}));  // a detached handle outlives its file
    DisposeHandle(back);
}

TEST_F(Resources, SearchesRunFromTheCurrentFileBackwards) {
    WriteBytes(Root + "/bundle", forkbytes::Build({{"STR#", 128, std::nullopt, {1}}}));
    WriteBytes(Root + "/prefs", forkbytes::Build({{"Pref", 1, std::nullopt, {2}}}));
    const FSSpec bundle = SpecFor("bundle"), prefs = SpecFor("prefs");
    const int16_t b = FSpOpenResFile(&bundle, fsRdPerm);
    const int16_t p = FSpOpenResFile(&prefs, fsCurPerm);
    EXPECT_EQ(CurResFile(), p);
    EXPECT_EQ(Get1Resource(FourCC("STR#"), 128), nullptr);  // the current file only
    EXPECT_NE(GetResource(FourCC("STR#"), 128), nullptr);   // then the ones opened before it
    UseResFile(b);
    EXPECT_EQ(GetResource(FourCC("Pref"), 1), nullptr);  // not the ones opened after it
    EXPECT_EQ(ResError(), resNotFound);
    Handle refused = HandleOf({3});
    AddResource(refused, FourCC("Pref"), 5, nullptr);  // opened read-only
    EXPECT_EQ(ResError(), addResFailed);
    DisposeHandle(refused);
    UseResFile(p);
    CloseResFile(p);
    EXPECT_EQ(CurResFile(), b);
    CloseResFile(b);
    UseResFile(b);
    EXPECT_EQ(ResError(), resFNotFound);
}

TEST_F(Resources, AnUpdateFailingHalfWayLeavesTheOldFileWhole) {
    const FSSpec fileSpec = SpecFor("prefs");
    FSpCreateResFile(&fileSpec, FourCC("qvz "), FourCC("Pref"), smSystemScript);
    const std::vector<uint8_t> before = ReadBytes(Root + "/prefs");
    const int16_t ref = FSpOpenResFile(&fileSpec, fsCurPerm);
    AddResource(HandleOf(std::vector<uint8_t>(396, 7)), FourCC("Pref"), 1, PStr("Config Settings"));
    FSFailWritesAfter(300);
    UpdateResFile(ref);
    EXPECT_EQ(ResError(), dskFulErr);
    CloseResFile(ref);  // tries again, fails again
    EXPECT_EQ(ResError(), dskFulErr);
    EXPECT_EQ(ReadBytes(Root + "/prefs"), before);
    EXPECT_EQ(Listing(Root), (std::vector<std::string>{"home", "prefs"}));
}

TEST_F(Resources, ResourceHandlesAreAllocatedFromTheMemoryManager) {
    WriteBytes(Root + "/file", forkbytes::Build({{"Pref", 1, std::nullopt, {2}}}));
    const FSSpec fileSpec = SpecFor("file");
    const int16_t ref = FSpOpenResFile(&fileSpec, fsCurPerm);
    MemFailNextAllocations(1);
    EXPECT_EQ(Get1Resource(FourCC("Pref"), 1), nullptr);
    EXPECT_EQ(ResError(), memFullErr);
    EXPECT_NE(Get1Resource(FourCC("Pref"), 1), nullptr);
    CloseResFile(ref);  // disposes of the loaded handle
}
}  // namespace
