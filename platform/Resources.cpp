#include "platform/Resources.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/Memory.h"
#include "platform/ResourceFork.h"

namespace {
struct OpenResource {
    ResourceEntry Stored;     // as in the file, or as captured from the handle when let go
    Handle Loaded = nullptr;  // the handle handed out, owned by the Resource Manager
    bool Changed = false;     // added since the last write: the handle's bytes are the data
};

struct OpenResFile {
    int16_t RefNum;
    std::string Path;
    uint16_t Attributes;
    bool ReadOnly;
    bool MapChanged = false;
    std::vector<OpenResource> Resources;
};

std::vector<OpenResFile> lgFiles;  // in the order opened; the search chain runs backwards
int16_t lgCurRes = kResFileNotOpened;
int16_t lgNextRefNum = 100;
OSErr lgResErr = noErr;

OSErr Fail(OSErr err) { return lgResErr = err; }

void NextRefNum() { lgNextRefNum = int16_t(lgNextRefNum == INT16_MAX ? 100 : lgNextRefNum + 1); }

size_t FileIndex(int16_t refNum) {
    for (size_t i = 0; i < lgFiles.size(); i++)
        if (lgFiles[i].RefNum == refNum) return i;
    return lgFiles.size();
}

struct Found {
    OpenResFile* File = nullptr;
    size_t Index = 0;
};
Found FindHandle(Handle h) {
    if (h)
        for (OpenResFile& f : lgFiles)
            for (size_t i = 0; i < f.Resources.size(); i++)
                if (f.Resources[i].Loaded == h) return {&f, i};
    return {};
}

std::vector<uint8_t> HandleBytes(Handle h) {
    const Size n = GetHandleSize(h);
    return n > 0 ? std::vector<uint8_t>(reinterpret_cast<uint8_t*>(*h), reinterpret_cast<uint8_t*>(*h) + n)
                 : std::vector<uint8_t>();
}

// The handle stops being the resource's data; what it held is kept for the next write.
void LetGo(OpenResource& res) {
    if (res.Changed) res.Stored.Data = HandleBytes(res.Loaded);
    res.Loaded = nullptr;
}

Handle Load(OpenResFile& file, ResType theType, int16_t theID) {
    for (OpenResource& res : file.Resources) {
        if (res.Stored.Type != theType || res.Stored.ID != theID) continue;
        if (!res.Loaded) {
            Handle h = NewHandleClear(Size(res.Stored.Data.size()));
            if (!h) {
                Fail(memFullErr);
                return nullptr;
            }
            if (!res.Stored.Data.empty()) std::memcpy(*h, res.Stored.Data.data(), res.Stored.Data.size());
            res.Loaded = h;
        }
        Fail(noErr);
        return res.Loaded;
    }
    Fail(resNotFound);
    return nullptr;
}

OSErr Write(OpenResFile& file) {
    ResourceForkImage image;
    image.Attributes = file.Attributes;
    for (const OpenResource& res : file.Resources) {
        image.Entries.push_back(res.Stored);
        if (res.Changed && res.Loaded) image.Entries.back().Data = HandleBytes(res.Loaded);
    }
    std::vector<uint8_t> bytes;
    if (!WriteResourceFork(image, bytes)) return memFullErr;  // the map's fields cannot hold it
    const OSErr err = FSWriteWholeFile(file.Path, bytes, false, nullptr);
    if (err != noErr) return err;
    for (OpenResource& res : file.Resources) {
        if (res.Changed && res.Loaded) res.Stored.Data = HandleBytes(res.Loaded);
        res.Changed = false;
    }
    file.MapChanged = false;
    return noErr;
}
}  // namespace

void FSpCreateResFile(const FSSpec* fileSpec, OSType creator, OSType fileType, int16_t) {
    const std::string path = fileSpec ? FSSpecPath(*fileSpec) : std::string();
    if (path.empty()) {
        Fail(fileSpec ? OSErr(dirNFErr) : OSErr(paramErr));
        return;
    }
    std::vector<uint8_t> existing, empty;
    const OSErr readErr = FSReadWholeFile(path, existing, cMaxResourceForkBytes);
    if (readErr != fnfErr && (readErr != noErr || !existing.empty())) {
        Fail(dupFNErr);
        return;
    }
    WriteResourceFork(ResourceForkImage{}, empty);
    FInfo info{};
    info.fdType = fileType;
    info.fdCreator = creator;
    Fail(FSWriteWholeFile(path, empty, readErr == fnfErr, &info));
}

int16_t FSpOpenResFile(const FSSpec* fileSpec, int8_t permission) {
    const std::string path = fileSpec ? FSSpecPath(*fileSpec) : std::string();
    if (path.empty()) {
        Fail(fileSpec ? OSErr(dirNFErr) : OSErr(paramErr));
        return kResFileNotOpened;
    }
    std::vector<uint8_t> bytes;
    const OSErr readErr = FSReadWholeFile(path, bytes, cMaxResourceForkBytes);
    if (readErr != noErr) {
        Fail(readErr == memFullErr ? OSErr(mapReadErr) : readErr);
        return kResFileNotOpened;
    }
    if (bytes.empty()) {
        Fail(eofErr);  // a file without a resource fork
        return kResFileNotOpened;
    }
    ResourceForkImage image;
    if (!ParseResourceFork(bytes.data(), bytes.size(), image)) {
        Fail(mapReadErr);
        return kResFileNotOpened;
    }
    const bool writable = FSCheckWritable(path) == noErr;
    if ((permission == fsWrPerm || permission == fsRdWrPerm) && !writable) {
        Fail(permErr);
        return kResFileNotOpened;
    }
    while (FileIndex(lgNextRefNum) != lgFiles.size()) NextRefNum();
    OpenResFile file{lgNextRefNum, path, image.Attributes, permission == fsRdPerm || !writable, false, {}};
    NextRefNum();
    for (ResourceEntry& e : image.Entries) file.Resources.push_back(OpenResource{std::move(e), nullptr, false});
    lgFiles.push_back(std::move(file));
    lgCurRes = lgFiles.back().RefNum;
    Fail(noErr);
    return lgCurRes;
}

void UseResFile(int16_t refNum) {
    if (FileIndex(refNum) == lgFiles.size()) {
        Fail(resFNotFound);
        return;
    }
    lgCurRes = refNum;
    Fail(noErr);
}

int16_t CurResFile() { return lgCurRes; }

OSErr ResError() { return lgResErr; }

Handle Get1Resource(ResType theType, int16_t theID) {
    const size_t i = FileIndex(lgCurRes);
    if (i == lgFiles.size()) {
        Fail(resFNotFound);
        return nullptr;
    }
    return Load(lgFiles[i], theType, theID);
}

Handle GetResource(ResType theType, int16_t theID) {
    const size_t current = FileIndex(lgCurRes);
    if (current == lgFiles.size()) {
        Fail(resFNotFound);
        return nullptr;
    }
    for (size_t i = current + 1; i-- > 0;) {
        Handle h = Load(lgFiles[i], theType, theID);
        if (h || lgResErr != resNotFound) return h;
    }
    return nullptr;
}

void GetResInfo(Handle theResource, int16_t* theID, ResType* theType, Str255 name) {
    const Found f = FindHandle(theResource);
    if (!f.File) {
        Fail(resNotFound);
        return;
    }
    const ResourceEntry& e = f.File->Resources[f.Index].Stored;
    if (theID) *theID = e.ID;
    if (theType) *theType = e.Type;
    if (name) CopyToPStr(e.HasName ? e.Name : std::string(), name, 255);
    Fail(noErr);
}

void RemoveResource(Handle theResource) {
    const Found f = FindHandle(theResource);
    if (!f.File || f.File->ReadOnly) {
        Fail(rmvResFailed);
        return;
    }
    f.File->Resources.erase(f.File->Resources.begin() + ptrdiff_t(f.Index));
    f.File->MapChanged = true;
    Fail(noErr);
}

void AddResource(Handle theData, ResType theType, int16_t theID, ConstStr255Param name) {
    const size_t i = FileIndex(lgCurRes);
    if (!theData || i == lgFiles.size() || lgFiles[i].ReadOnly || FindHandle(theData).File) {
        Fail(addResFailed);
        return;
    }
    OpenResFile& file = lgFiles[i];
    for (const OpenResource& res : file.Resources)
        if (res.Stored.Type == theType && res.Stored.ID == theID) {
            Fail(addResFailed);
            return;
        }
    OpenResource res;
    res.Stored.Type = theType;
    res.Stored.ID = theID;
    res.Stored.HasName = name && name[0] > 0;
    res.Stored.Name = std::string(PStrView(name));
    res.Stored.Attributes = 0;
    res.Loaded = theData;
    res.Changed = true;
    file.Resources.push_back(std::move(res));
    file.MapChanged = true;
    Fail(noErr);
}

void UpdateResFile(int16_t refNum) {
    const size_t i = FileIndex(refNum);
    if (i == lgFiles.size()) {
        Fail(resFNotFound);
        return;
    }
    OpenResFile& file = lgFiles[i];
    const bool changed = file.MapChanged || std::any_of(file.Resources.begin(), file.Resources.end(),
                                                        [](const OpenResource& r) { return r.Changed; });
    Fail(changed && !file.ReadOnly ? Write(file) : OSErr(noErr));
}

void ReleaseResource(Handle theResource) {
    const Found f = FindHandle(theResource);
    if (!f.File) {
        Fail(resNotFound);
        return;
    }
    LetGo(f.File->Resources[f.Index]);
    DisposeHandle(theResource);
    Fail(noErr);
}

void DetachResource(Handle theResource) {
    const Found f = FindHandle(theResource);
    if (!f.File) {
        Fail(resNotFound);
        return;
    }
    LetGo(f.File->Resources[f.Index]);
    Fail(noErr);
}

void CloseResFile(int16_t refNum) {
    const size_t i = FileIndex(refNum);
    if (i == lgFiles.size()) {
        Fail(resFNotFound);
        return;
    }
    UpdateResFile(refNum);
    const OSErr err = lgResErr;
    for (OpenResource& res : lgFiles[i].Resources) DisposeHandle(res.Loaded);
    lgFiles.erase(lgFiles.begin() + ptrdiff_t(i));
    if (lgCurRes == refNum) lgCurRes = i > 0 ? lgFiles[i - 1].RefNum : int16_t(kResFileNotOpened);
    Fail(err);
}
