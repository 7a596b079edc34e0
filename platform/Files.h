// File Manager and Folder Manager over the host file system. A directory is named by a directory
// ID that stands for its path; a file by an FSSpec (directory ID plus a name of at most 63
// characters). The Preferences folder is $XDG_CONFIG_HOME, else $HOME/.config, else the password
// database's home folder + "/.config"; FindFolder makes it (mode 0700) only when asked to.
// Symbolic links are followed: a file reached through a link is read and replaced at its target.
// Every failure that comes from the host system leaves its reason for messages (FSLastReason).
// File type and creator live in the extended attribute "user.com.apple.FinderInfo" (32 bytes,
// big-endian, the Finder's layout); on a file system without user attributes they are dropped.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/MacTypes.h"
#include "platform/PascalStrings.h"
#include "platform/QuickDraw.h"

enum : OSErr {
    dskFulErr = -34,
    nsvErr = -35,
    bdNamErr = -37,
    wPrErr = -44,
    fBsyErr = -47,
    dupFNErr = -48,
    permErr = -54,
    dirNFErr = -120,
    notAFileErr = -1302,
};

enum : int16_t { kOnSystemDisk = -32768 };
inline constexpr OSType kPreferencesFolderType = FourCC("pref");
inline constexpr Boolean kCreateFolder = true, kDontCreateFolder = false;
enum : int16_t { smSystemScript = -1 };

struct FSSpec {
    int16_t vRefNum;  // always the one volume, -1
    int32_t parID;    // directory ID of the folder holding the file
    Str63 name;       // length-prefixed file name
};

struct FInfo {
    OSType fdType;
    OSType fdCreator;
    uint16_t fdFlags;
    Point fdLocation;
    int16_t fdFldr;
};

// Only the Preferences folder ('pref') is known; other folder types give fnfErr. A missing folder
// gives fnfErr, or with createFolder is made; dirNFErr when it cannot be made, when the path names
// something else than a folder, or when no home folder is known.
OSErr FindFolder(int16_t vRefNum, OSType folderType, Boolean createFolder, int16_t* foundVRefNum,
                 int32_t* foundDirID);
// Fills fileSpec even when the file does not exist, and then answers fnfErr. A name holding '/' or a
// NUL, ".", "..", an empty name or one longer than 63 characters gives bdNamErr; an unknown
// directory ID dirNFErr.
OSErr FSMakeFSSpec(int16_t vRefNum, int32_t dirID, ConstStr255Param fileName, FSSpec* fileSpec);
OSErr FSpDelete(const FSSpec* fileSpec);
OSErr FSpGetFInfo(const FSSpec* fileSpec, FInfo* fndrInfo);

// --- Over paths: the stand-in's own, for files the host system names by path ---
OSErr FSMakeFSSpecFromPath(const std::string& path, FSSpec* fileSpec);
std::string FSSpecPath(const FSSpec& fileSpec);  // empty when the directory ID is unknown
// Where the Preferences folder is or would be, without making it; empty when no home is known.
std::string FSPreferencesFolderPath();

// Why the last failing call of the File Manager stand-in failed, for messages: the host system's
// text for its error ("Permission denied"), or what was found instead of a file or folder.
const std::string& FSLastReason();

// The path a chain of symbolic links ends at (the path itself when it is no link); the end need
// not exist. Empty when the chain loops or is too long.
std::string FSResolveLinks(const std::string& path);
// noErr when the file (through links) may be written by this process, else permErr or wPrErr.
OSErr FSCheckWritable(const std::string& path);
// Renames within one file system; an existing `to` is replaced atomically.
OSErr FSRename(const std::string& from, const std::string& to);

// Whole-file access for the Resource Manager. Only regular files are read: anything else (a
// FIFO, a device, a folder) gives notAFileErr at once and is never opened blocking. A file is
// replaced atomically: the new contents go to a temporary file in the target's own folder (through
// links, which stay), are flushed, take over the old file's mode and Finder information and are
// renamed over it, so the path always holds the old or the new contents. mustNotExist makes the
// final step fail with dupFNErr when the path exists by then.
OSErr FSReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, size_t maxBytes);
OSErr FSWriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, bool mustNotExist,
                       const FInfo* newInfo);

// Advisory lock for a read-modify-write shared with other processes: an exclusive flock on the
// file at `path`, made (mode 0666 less the umask) when missing and never removed, since a lock
// file that vanishes under a waiter locks nothing. Waits up to waitMilliseconds, then fBsyErr.
// The kernel drops the lock when its holder ends, crashed or not. *lockRef is -1 on failure.
OSErr FSLockFile(const std::string& path, int waitMilliseconds, int* lockRef);
void FSUnlockFile(int lockRef);  // -1 is ignored

// --- Open files: a file's data read and written in place ---
enum : int8_t { fsCurPerm = 0,
                fsRdPerm = 1,
                fsWrPerm = 2,
                fsRdWrPerm = 3 };
enum : int16_t { fsAtMark = 0,
                 fsFromStart = 1,
                 fsFromLEOF = 2,
                 fsFromMark = 3 };
inline constexpr OSErr posErr = -40, tmfoErr = -42, rfNumErr = -51;
// Opens a regular file (through links) and answers its reference number; the mark is at the start.
OSErr FSpOpenDF(const FSSpec* file, int8_t permission, int16_t* refNum);
OSErr FSClose(int16_t refNum);
OSErr SetFPos(int16_t refNum, int16_t posMode, int32_t posOff);
// Writes *count bytes at the mark and moves it past them; *count becomes what was written.
OSErr FSWrite(int16_t refNum, int32_t* count, const void* buffPtr);
// Makes an empty file (mode 0666 less the umask) with the given creator and type; dupFNErr when
// the file exists.
OSErr FSpCreate(const FSSpec* file, OSType creator, OSType fileType, int16_t scriptTag);

// --- Folders by ID ---
// The root folder "/" is fsRtDirID, with an empty name and the parent fsRtParID.
inline constexpr int32_t fsRtParID = 1, fsRtDirID = 2;
struct CInfoPBRec {
    unsigned char* ioNamePtr;  // receives the folder's name (a Str255) when not null
    int16_t ioVRefNum;         // the one volume; 0 stands for it too
    int16_t ioFDirIndex;       // only -1 is known: ioDrDirID names the folder itself
    int32_t ioDrDirID;         // in: the folder, 0 for the current default folder (the working
                               // directory); out: its ID
    int32_t ioDrParID;         // out: the folder that holds it
};
OSErr PBGetCatInfoSync(CInfoPBRec* pb);

// Test hook: every whole-file write from now on fails with dskFulErr after writing `bytes` bytes
// of its temporary file; a negative count ends the failures.
void FSFailWritesAfter(int64_t bytes);
