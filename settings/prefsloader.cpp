#include "settings/prefsloader.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>

#include "platform/Files.h"
#include "platform/Memory.h"
#include "platform/Resources.h"
#include "settings/DataHandling.h"

namespace {
int lgLock = -1;  // the lock file while this process updates the saved record
std::string lgLockPath;
int lgLockWait = cPrefsLockWaitMilliseconds;
std::string lgLastError, lgMovedAside;

std::string PrefsName() { return std::string(cProductCode) + "-Prefs"; }

// The preferences file "kpblk-Prefs" in the Preferences folder; fnfErr when the file or the folder
// is missing (the folder is made only with createFolder).
OSErr PrefsFileSpec(FSSpec* fileSpec, Boolean createFolder) {
    int16_t vRefNum;
    int32_t dirID;
    const OSErr err = FindFolder(kOnSystemDisk, kPreferencesFolderType, createFolder, &vRefNum, &dirID);
    if (err != noErr) return err;
    Str63 name;
    CopyToPStr(PrefsName(), name, 63);
    return FSMakeFSSpec(vRefNum, dirID, name, fileSpec);
}

// Records the failure for the host program; always false.
Boolean Failed(const char* doing, const std::string& reason) {
    const std::string path = PrefsFilePath();
    lgLastError = std::string(doing) + " " + (path.empty() ? "the preferences file" : path) + ": " + reason;
    return false;
}

// The reason behind a Resource Manager result, right after it failed.
std::string Reason(OSErr err) {
    switch (err) {
        case memFullErr: return "out of memory";
        case mapReadErr: return "damaged (not a resource file)";
        default: return FSLastReason().empty() ? "error " + std::to_string(err) : FSLastReason();
    }
}

// Opens the file's resources and makes them current; kResFileNotOpened on any error.
int16_t OpenPrefs(const FSSpec& fileSpec, int8_t permission) {
    const int16_t refNum = FSpOpenResFile(&fileSpec, permission);
    if (ResError() != noErr) return kResFileNotOpened;
    UseResFile(refNum);
    if (ResError() != noErr) {
        CloseResFile(refNum);
        return kResFileNotOpened;
    }
    return refNum;
}

// The lock is taken once per update; a lock file that cannot be made (a folder we may not write)
// leaves the write to fail or succeed on its own. Only another holder refuses the update.
void DropLock() {
    FSUnlockFile(lgLock);
    lgLock = -1;
}

Boolean TakeLock(const std::string& path) {
    if (lgLock >= 0 && lgLockPath == path + ".lock") return true;
    DropLock();  // one for a file that is no longer the preferences file (another folder)
    lgLockPath = path + ".lock";
    return FSLockFile(lgLockPath, lgLockWait, &lgLock) != fBsyErr;
}

// The damaged file goes aside, beside its target when it is reached through a link, so that
// nothing it held is lost; an older one there is replaced.
Boolean MoveAside(const std::string& path) {
    const std::string target = FSResolveLinks(path);
    if (target.empty() || FSRename(target, target + ".damaged") != noErr) return false;
    lgMovedAside = target + ".damaged";
    return true;
}

// A save that was killed between writing its temporary file (".kpblk-Prefs.XXXXXX" beside the
// file, as mkstemp names it) and renaming it leaves that file behind. Every save runs under the
// lock: the one holding it knows no other is writing such a file, so those there are leftovers.
void RemoveStaleTemporaries(const std::string& path) {
    namespace fs = std::filesystem;
    const std::string target = FSResolveLinks(path);
    if (target.empty()) return;
    const fs::path folder = fs::path(target).parent_path();
    const std::string prefix = "." + fs::path(target).filename().string() + ".";
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
        if (!std::all_of(name.begin() + long(prefix.size()), name.end(), [](char ch) { return std::isalnum(uint8_t(ch)) != 0; }))
            continue;
        std::error_code removeError;
        if (entry.is_regular_file(removeError)) fs::remove(entry.path(), removeError);
    }
}

Boolean Save(PluginDataPtr TheConfig, const FSSpec& fileSpec) {
    const std::string path = FSSpecPath(fileSpec);
    if (!TakeLock(path)) return Failed("cannot write", FSLastReason());
    RemoveStaleTemporaries(path);
    int16_t refNum = OpenPrefs(fileSpec, fsRdWrPerm);
    if (refNum == kResFileNotOpened && (ResError() == mapReadErr || ResError() == eofErr)) {
        // A damaged fork cannot be mended in place and would refuse every later save; an empty
        // file has no fork yet. Either gets a fresh one, holding only the record written below.
        if (ResError() == mapReadErr && !MoveAside(path)) return Failed("cannot move aside", FSLastReason());
        FSpCreateResFile(&fileSpec, cPrefsCreator, cPrefsFileType, smSystemScript);
        refNum = OpenPrefs(fileSpec, fsRdWrPerm);
    }
    if (refNum == kResFileNotOpened) return Failed("cannot write", Reason(ResError()));

    // The new record is made before the old one is taken out, so a failure here changes nothing.
    Handle rec = NewHandleClear(sizeof(ConfigSaveRec));
    if (!rec || !Config2Save(TheConfig, reinterpret_cast<ConfigSaveHandle>(rec))) {
        DisposeHandle(rec);
        CloseResFile(refNum);
        return Failed("cannot write", Reason(memFullErr));
    }
    Handle old = Get1Resource(cPrefsResType, cPrefsResID);
    OSErr err = old || ResError() == resNotFound ? noErr : ResError();
    if (old) {
        RemoveResource(old);
        err = ResError();
        if (err == noErr) DisposeHandle(old);  // refused, it still belongs to the file
    }
    if (err == noErr) {
        AddResource(rec, cPrefsResType, cPrefsResID, cPrefsResName);
        err = ResError();
    }
    if (err != noErr) {
        DisposeHandle(rec);
        CloseResFile(refNum);
        return Failed("cannot write", Reason(err));
    }
    // One write for the removal and the addition together: no reader ever finds the file
    // without its record.
    UpdateResFile(refNum);
    err = ResError();
    const std::string reason = err == noErr ? std::string() : Reason(err);
    ReleaseResource(rec);
    CloseResFile(refNum);
    return err == noErr || Failed("cannot write", reason);
}
}  // namespace

std::string PrefsFilePath() {
    const std::string folder = FSPreferencesFolderPath();
    return folder.empty() ? folder : folder + "/" + PrefsName();
}

void MakePrefsFile() {
    lgLastError.clear();
    FSSpec fileSpec;
    const OSErr err = PrefsFileSpec(&fileSpec, kCreateFolder);
    if (err != noErr && err != fnfErr) {
        Failed("cannot write", FSLastReason());
        return;
    }
    const std::string path = FSSpecPath(fileSpec);
    if (!TakeLock(path)) {
        Failed("cannot write", FSLastReason());
        return;
    }
    // Missing through a link too: the file is then made at the link's target.
    FInfo info;
    if (FSpGetFInfo(&fileSpec, &info) != fnfErr) return;
    FSpCreateResFile(&fileSpec, cPrefsCreator, cPrefsFileType, smSystemScript);
    if (ResError() != noErr && ResError() != dupFNErr) Failed("cannot write", Reason(ResError()));
}

Boolean SaveConfig(PluginDataPtr TheConfig) {
    lgLastError.clear();
    lgMovedAside.clear();
    if (!TheConfig) return false;
    FSSpec fileSpec;
    Boolean saved = false;
    if (PrefsFileSpec(&fileSpec, kDontCreateFolder) != noErr)
        Failed("cannot write", FSLastReason());
    else
        saved = Save(TheConfig, fileSpec);
    DropLock();
    return saved;
}

Boolean ReadConfig(PluginDataPtr TheConfig) {
    lgLastError.clear();
    if (!TheConfig) return false;
    FSSpec fileSpec;
    const OSErr specErr = PrefsFileSpec(&fileSpec, kDontCreateFolder);
    if (specErr == fnfErr) return false;  // nothing saved yet
    if (specErr != noErr) return Failed("cannot read", FSLastReason());
    const int16_t refNum = OpenPrefs(fileSpec, fsCurPerm);
    if (refNum == kResFileNotOpened) {
        const OSErr err = ResError();
        if (err == fnfErr || err == eofErr) return false;  // a link to nothing yet, a file without a fork
        if (err != mapReadErr) return Failed("cannot read", Reason(err));
        const std::string target = FSResolveLinks(FSSpecPath(fileSpec));
        return Failed("cannot read", Reason(err) + "; the next save moves it aside to " + target + ".damaged");
    }
    Handle rec = Get1Resource(cPrefsResType, cPrefsResID);
    if (!rec) {
        const OSErr err = ResError();
        CloseResFile(refNum);
        return err == resNotFound ? false : Failed("cannot read", Reason(err));
    }
    DetachResource(rec);  // survives the close
    CloseResFile(refNum);
    const Boolean taken = Save2Config(TheConfig, reinterpret_cast<ConfigSaveHandle>(rec));
    DisposeHandle(rec);
    return taken;
}

const std::string& PrefsLastError() { return lgLastError; }

const std::string& PrefsMovedAside() { return lgMovedAside; }

void PrefsLockWait(int milliseconds) { lgLockWait = milliseconds; }
