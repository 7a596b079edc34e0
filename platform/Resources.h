// Resource Manager: resource files opened from FSSpecs, a chain of open files searched from the
// current one back to the ones opened before it, and resources handed out as handles. A resource
// file's whole content is one resource fork in the classic layout (platform/ResourceFork.h).
// Handles returned by Get1Resource/GetResource belong to the Resource Manager until
// DetachResource or RemoveResource gives them to the caller; AddResource takes the caller's.
// Every change reaches the disk at UpdateResFile or CloseResFile as one atomic rewrite of the file.
#pragma once
#include <cstdint>

#include "platform/Files.h"
#include "platform/MacTypes.h"
#include "platform/PascalStrings.h"

enum : OSErr {
    resNotFound = -192,
    resFNotFound = -193,
    addResFailed = -194,
    rmvResFailed = -196,
    resAttrErr = -198,
    mapReadErr = -199,
};
enum : int16_t { kResFileNotOpened = -1 };
typedef OSType ResType;

// Creates the file holding an empty resource fork with the given Finder type and creator; a file
// that exists with nothing in it gets the empty fork too. dupFNErr when it already holds a fork.
void FSpCreateResFile(const FSSpec* fileSpec, OSType creator, OSType fileType, int16_t scriptTag);
// Opens the file's fork and makes it the current resource file; kResFileNotOpened on failure:
// fnfErr (no file), eofErr (an empty file), mapReadErr (a damaged fork or one too large to read),
// notAFileErr (a FIFO, device or folder), permErr (write access asked of a file without it).
// With fsCurPerm a file this process may not write opens read-only.
int16_t FSpOpenResFile(const FSSpec* fileSpec, int8_t permission);
void UseResFile(int16_t refNum);
int16_t CurResFile();
OSErr ResError();

Handle Get1Resource(ResType theType, int16_t theID);  // the current file only
Handle GetResource(ResType theType, int16_t theID);   // the current file, then the ones before it
void GetResInfo(Handle theResource, int16_t* theID, ResType* theType, Str255 name);

// Takes the resource out of its file's map; the handle then belongs to the caller.
void RemoveResource(Handle theResource);
// Makes the caller's handle a resource of the current file; an ID already used for that type in
// the file is refused (addResFailed), so a file we write never holds a type and ID twice.
void AddResource(Handle theData, ResType theType, int16_t theID, ConstStr255Param name);
void UpdateResFile(int16_t refNum);
void ReleaseResource(Handle theResource);
void DetachResource(Handle theResource);
// Writes pending changes, disposes of the file's resource handles and closes it.
void CloseResFile(int16_t refNum);
