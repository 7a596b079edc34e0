// Uniform type identifiers and item information over the desktop's shared MIME database
// (shared-mime-info: mime/globs2, mime/subclasses and mime/aliases under $XDG_DATA_HOME and
// $XDG_DATA_DIRS). An identifier stands for a MIME type: the usual ones by a table ("public.png"
// is image/png), any other as "dyn." followed by its MIME type. Conformance follows the database's
// subclasses and aliases; every text/ type conforms to text/plain; the abstract identifiers
// public.item, public.data, public.content, public.image, public.text, public.audio, public.movie
// and public.audiovisual-content take whole families.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/HIToolbox.h"
#include "platform/MacTypes.h"

inline const std::string kUTTagClassFilenameExtension = "public.filename-extension";
inline const std::string kUTTagClassMIMEType = "public.mime-type";
inline const std::string kUTTagClassOSType = "com.apple.ostype";

// The preferred identifier for a tag of the class, or "" when none is known.
std::string UTTypeCreatePreferredIdentifierForTag(const std::string& tagClass, const std::string& tag,
                                                  const std::string& conformingTo);
// The four characters of a type code.
std::string UTCreateStringForOSType(OSType type);
Boolean UTTypeConformsTo(const std::string& inUTI, const std::string& inConformsToUTI);
// The MIME type an identifier stands for ("" for an abstract one or an unknown one).
std::string UTTypeCopyMIMEType(const std::string& uti);

enum : uint32_t { kLSRequestExtension = 1,
                  kLSRequestTypeCreator = 2 };
struct LSItemInfoRecord {
    uint32_t flags;
    OSType filetype;  // 0 when the file carries none
    OSType creator;
    std::string extension;  // after the name's last dot (a leading dot starts no extension); "" when none
};
// What was asked for of an existing file or folder; fnfErr when there is nothing.
OSStatus LSCopyItemInfoForRef(const FSRef* inItemRef, uint32_t inWhichInfo, LSItemInfoRecord* outItemInfo);

// Test hook: the folders holding the database files instead of the desktop's (empty: the desktop's).
void UTSetMimeDatabaseDirs(const std::vector<std::string>& dirs);
