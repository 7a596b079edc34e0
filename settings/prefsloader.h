// The user's saved default: one ConfigSaveRec as resource 'Pref' 1 "Config Settings" of the
// resource file "kpblk-Prefs" in the Preferences folder. Every operation answers false and leaves
// the configuration and the file as they were when anything fails; nothing is shown to the user.
// Writers take the lock file "kpblk-Prefs.lock" beside the file, so that the read and the write
// back of one process never interleave with another's write.
#pragma once
#include <string>

#include "host/PluginDefines.h"
#include "platform/MacTypes.h"
#include "platform/PascalStrings.h"

inline constexpr OSType cPrefsResType = FourCC("Pref");
inline constexpr int16_t cPrefsResID = 1;
inline constexpr PStr cPrefsResName("Config Settings");
inline constexpr OSType cPrefsFileType = FourCC("Pref");
inline constexpr OSType cPrefsCreator = FourCC("qvz ");
inline constexpr int cPrefsLockWaitMilliseconds = 5000;  // a writer waits this long for another

// Where the preferences file is (whether or not it or its folder exists); empty when no home
// folder is known. For messages to the user; never makes anything.
std::string PrefsFilePath();
// Starts a read-modify-write of the saved record: makes the Preferences folder and the file
// (holding no resources) when they are missing, and takes the lock, which this process then holds
// until the next SaveConfig returns (or it ends). Only the plug-in's initialisation and the host
// program's own updates call it; SaveConfig never creates the file.
void MakePrefsFile();
// Writes the configuration as the saved record: the file is rewritten as a whole, once, so it
// always holds either the old record or the new one, and keeps every other resource it holds. A
// file that is not a resource file is first moved aside to "<file>.damaged" (replacing an older
// one) and replaced by one holding only the new record. Through a symbolic link, the link's
// target is replaced in its own folder and the link stays.
Boolean SaveConfig(PluginDataPtr TheConfig);
// Overlays the configuration with the saved record; false (and no change) when there is no file,
// no record, or a record that Save2Config rejects. Never makes a folder, a file or a lock.
Boolean ReadConfig(PluginDataPtr TheConfig);

// For the host program's messages (the plug-in itself stays silent): why the last MakePrefsFile,
// ReadConfig or SaveConfig of this process failed, as "cannot write PATH: REASON"; empty when it
// succeeded or found nothing saved yet.
const std::string& PrefsLastError();
// Where the last SaveConfig moved a damaged file before replacing it; empty when it moved none.
const std::string& PrefsMovedAside();

// Test hook: how long writers wait for the lock from now on (cPrefsLockWaitMilliseconds at start).
void PrefsLockWait(int milliseconds);
