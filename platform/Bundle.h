// Bundles: a folder NAME.bundle/Contents holding Info.plist, the shared object in Linux/ and the
// resources in Resources/. A loaded plug-in finds its own bundle from the shared object that
// holds its code; string lists come from the bundle's resource files once they are opened.
#pragma once
#include <cstdint>
#include <string>

#include "platform/CoreGraphicsFwd.h"
#include "platform/MacTypes.h"

// The bundle whose shared object (or executable) holds this code, when its Info.plist names the
// identifier; null otherwise. The reference lives for the life of the process.
CFBundleRef CFBundleGetBundleWithIdentifier(const char* bundleID);
// For code that runs outside a bundle (tests, tools): the bundle that counts as this code's own.
void CFBundleSetOwnBundlePath(const std::string& bundlePath);
// The bundle that counts as this code's own, whatever its identifier: the one set for tests and
// tools, else the one around the shared object holding this code; null when there is none.
CFBundleRef CFBundleGetMainBundle();
// A bundle at a folder path (NAME.bundle), or null when it has no readable Info.plist.
CFBundleRef CFBundleCreateFromPath(const std::string& bundlePath);
void CFRetain(CFBundleRef bundle);  // bundles live for the process: no-ops kept for symmetry
void CFRelease(CFBundleRef bundle);

std::string CFBundleGetPath(CFBundleRef bundle);        // the NAME.bundle folder
std::string CFBundleGetIdentifier(CFBundleRef bundle);  // CFBundleIdentifier
// A value of Info.plist's top-level dictionary (strings only); empty when missing.
std::string CFBundleGetInfoValue(CFBundleRef bundle, const std::string& key);
// Path of Contents/Resources/NAME.TYPE (TYPE may be empty), or empty when it does not exist.
std::string CFBundleCopyResourceURL(CFBundleRef bundle, const std::string& name, const std::string& type);
// The same in the folder SUBDIR of Resources (empty: Resources itself). A name or folder that
// would climb out of Resources ("..", a leading '/') finds nothing.
std::string CFBundleCopyResourceURL(CFBundleRef bundle, const std::string& name, const std::string& type,
                                    const std::string& subDir);

// Reads every *.rsrc file in the bundle's Resources folder into the string-list search path.
// Returns noErr when at least one file was read.
OSErr CFBundleOpenBundleResourceMap(CFBundleRef bundle);
// String `index` (from 1) of the 'STR#' resource `strListID` from the opened bundle resources;
// an empty string when the list or the string is missing.
void GetIndString(Str255 theString, int16_t strListID, int16_t index);

// Reads a string value out of an Info.plist text; exposed for tests.
std::string PlistStringValue(const std::string& plist, const std::string& key);
