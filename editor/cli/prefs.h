// The saved default: the 'prefs' commands (show, set, reset, export, import), the check before
// the bundle loads, and preferences files given by name.
#pragma once
#include <string>
#include <vector>

#include "editor/cli/privatesettings.h"
#include "editor/cli/settings.h"

namespace bw::cli {

// The bundle reads the saved default and writes it back when it starts, silently whatever fails.
// The program does the same just before, with its own copy of that code, so that it can say once
// what went wrong; the bundle then finds the file as this left it.
void CheckSavedDefault();
// A saved default holding settings out of range (written by hand or by another program) is used
// as the dialog opens it, the nearest values inside; said once, with the file and the first one.
void HoldInRange(PluginDataRec& rec);
// Reads a preferences file given by name through a private folder of `own`, which XDG_CONFIG_HOME
// then points at; the settings stay there.
Failure ReadPrefsFile(PrivateSettings& own, const std::string& file, Config& config);

int PrefsShow();
// prefs set KEY=VALUE ... (or reset, with no items).
int PrefsWrite(const std::vector<std::string>& items);
// prefs export FILE: your saved default (or the factory one) as a file for another user or project.
int PrefsExport(const std::string& file);
// prefs import FILE: adopts the settings of a file made by prefs export as your saved default.
int PrefsImport(const std::string& file);

}  // namespace bw::cli
