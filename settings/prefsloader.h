// The user's saved default: one ConfigSaveRec as resource 'Pref' 1 "Config Settings" of the
// resource file "kpblk-Prefs" in the Preferences folder. Every operation answers false and leaves
// the configuration and the file as they were when anything fails; nothing is shown to the user.
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

// Where the preferences file is (whether or not it exists); empty when there is no Preferences
// folder. For messages to the user.
std::string PrefsFilePath();
// Creates the preferences file, holding no resources, when it is missing. Only the plug-in's
// initialisation creates it; SaveConfig never does.
void MakePrefsFile();
// Writes the configuration as the saved record: the file is rewritten as a whole, once, so it
// always holds either the old record or the new one. A file whose resource fork is damaged is
// replaced by one holding only the new record.
Boolean SaveConfig(PluginDataPtr TheConfig);
// Overlays the configuration with the saved record; false (and no change) when there is no file,
// no record, or a record that Save2Config rejects.
Boolean ReadConfig(PluginDataPtr TheConfig);
