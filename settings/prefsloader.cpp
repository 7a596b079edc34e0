#include "settings/prefsloader.h"

#include <string>

#include "platform/Files.h"
#include "platform/Memory.h"
#include "platform/Resources.h"
#include "settings/DataHandling.h"

namespace {
// The preferences file "kpblk-Prefs" in the Preferences folder; fnfErr when the file is missing.
OSErr PrefsFileSpec(FSSpec* fileSpec) {
    int16_t vRefNum;
    int32_t dirID;
    const OSErr err = FindFolder(kOnSystemDisk, kPreferencesFolderType, kDontCreateFolder, &vRefNum, &dirID);
    if (err != noErr) return err;
    Str63 name;
    CopyToPStr(std::string(cProductCode) + "-Prefs", name, 63);
    return FSMakeFSSpec(vRefNum, dirID, name, fileSpec);
}

// Opens the file's resources and makes them current; kResFileNotOpened on any error.
int16_t OpenPrefs(const FSSpec& fileSpec) {
    const int16_t refNum = FSpOpenResFile(&fileSpec, fsCurPerm);
    if (ResError() != noErr) return kResFileNotOpened;
    UseResFile(refNum);
    if (ResError() != noErr) {
        CloseResFile(refNum);
        return kResFileNotOpened;
    }
    return refNum;
}
}  // namespace

std::string PrefsFilePath() {
    FSSpec fileSpec;
    const OSErr err = PrefsFileSpec(&fileSpec);
    return err == noErr || err == fnfErr ? FSSpecPath(fileSpec) : std::string();
}

void MakePrefsFile() {
    FSSpec fileSpec;
    if (PrefsFileSpec(&fileSpec) == fnfErr) FSpCreateResFile(&fileSpec, cPrefsCreator, cPrefsFileType, smSystemScript);
}

Boolean SaveConfig(PluginDataPtr TheConfig) {
    if (!TheConfig) return false;
    FSSpec fileSpec;
    if (PrefsFileSpec(&fileSpec) != noErr) return false;
    int16_t refNum = OpenPrefs(fileSpec);
    if (refNum == kResFileNotOpened && (ResError() == mapReadErr || ResError() == eofErr)) {
        // A damaged fork (or none at all) cannot be mended in place; it would refuse every later
        // save too. Start the file afresh: it then holds only the record written below.
        FSpDelete(&fileSpec);
        FSpCreateResFile(&fileSpec, cPrefsCreator, cPrefsFileType, smSystemScript);
        refNum = OpenPrefs(fileSpec);
    }
    if (refNum == kResFileNotOpened) return false;

    // The new record is made before the old one is taken out, so a failure here changes nothing.
    Handle rec = NewHandleClear(sizeof(ConfigSaveRec));
    if (!rec || !Config2Save(TheConfig, reinterpret_cast<ConfigSaveHandle>(rec))) {
        DisposeHandle(rec);
        CloseResFile(refNum);
        return false;
    }
    if (Handle old = Get1Resource(cPrefsResType, cPrefsResID)) {
        RemoveResource(old);
        DisposeHandle(old);
    }
    AddResource(rec, cPrefsResType, cPrefsResID, cPrefsResName);
    if (ResError() != noErr) {
        DisposeHandle(rec);
        CloseResFile(refNum);
        return false;
    }
    // One write for the removal and the addition together: no reader ever finds the file
    // without its record.
    UpdateResFile(refNum);
    const Boolean written = ResError() == noErr;
    ReleaseResource(rec);
    CloseResFile(refNum);
    return written;
}

Boolean ReadConfig(PluginDataPtr TheConfig) {
    if (!TheConfig) return false;
    FSSpec fileSpec;
    if (PrefsFileSpec(&fileSpec) != noErr) return false;
    const int16_t refNum = OpenPrefs(fileSpec);
    if (refNum == kResFileNotOpened) return false;
    Handle rec = Get1Resource(cPrefsResType, cPrefsResID);
    if (!rec) {
        CloseResFile(refNum);
        return false;
    }
    DetachResource(rec);  // survives the close
    CloseResFile(refNum);
    const Boolean taken = Save2Config(TheConfig, reinterpret_cast<ConfigSaveHandle>(rec));
    DisposeHandle(rec);
    return taken;
}
