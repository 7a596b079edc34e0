// File and picture helpers: the standard open and save dialogs for one file, loaders that turn an
// image file, a resource of the bundle or a URL (a file path) into a picture, an image or a buffer,
// a check of a file against a type identifier, opening documents, and text written to open files.
// What a loader returns belongs to the caller (KillPicture, CGImageRelease, DisposeGWorld); every
// loader returns none on failure. Texts are length-prefixed, at most 255 characters.
#pragma once
#include <cstdint>
#include <string>

#include "platform/CoreGraphics.h"
#include "platform/Files.h"
#include "platform/HIToolbox.h"
#include "platform/PascalStrings.h"
#include "platform/QuickDraw.h"

inline constexpr int16_t cMaxFilesInList = 4;
inline constexpr OSType cAnyFileType = FourCC("****");

struct FileList {
    int16_t Count;                  // the index of the last item fetched; may exceed cMaxFilesInList
    FSSpec Items[cMaxFilesInList];  // the first items' file specifications
};

// --- Dialogs and file lists ---
OSErr AEDescListToFileList(const AEDescList& inList, FileList& OutFileList);
// One file, whatever inAllowMultiple says; every file with inType '****'.
Boolean EasyNavGetFile(ConstStr255Param inMessage, OSType inType, OSType inCreator, Boolean inAllowMultiple,
                       FSSpec& OutFile);
Boolean EasyNavPutFile(ConstStr255Param inMessage, ConstStr255Param inDefaultName, OSType inType, OSType inCreator,
                       FSSpec& OutSpec, Boolean& OutReplacing);

// --- Pictures and images. The graphics-importer paths draw transparent pixels over white; the
// image-source paths keep them. Neither falls back to the other. ---
PicHandle LoadPictureFile(Str255 theName);  // asks for a file ("Choose Picture"); theName "Dummy" until one is chosen
PicHandle ReadPictureFromFSS(const FSSpec& theFSS, Str255 theName);
PicHandle ReadPictureFromFSRefUsingQT(const FSRef& theFSRef, Str255 theName);
PicHandle ReadPictureFromFSRef(const FSRef& theFSRef, Str255 theName);
PicHandle LoadPictureFromBundle(const std::string& theName, const std::string& theType);
CGImageRef GetCGImageFromFSS(const FSSpec& theFSS);
CGImageRef GetCGImageFromURLUsingQT(const std::string& theFile);
CGImageRef GetCGImageFromURLUsingCG(const std::string& theURL);
CGImageRef GetCGImageFromFSRefUsingCG(const FSRef& theFSRef);
CGImageRef GetCGImageFromFSSUsingCG(const FSSpec& theFSS);
// Resource theName.theExtension in the folder thePath (may be empty) of the bundle's resources.
CGImageRef GetCGImageFromBundle(const std::string& theName, const std::string& theExtension,
                                const std::string& thePath);
PicHandle GetPictFromURLUsingCG(const std::string& theURL);
// The top-left (width div WidScale) x (height div HigScale) pixels of the picture, unscaled, on
// white; none for a scale below 1 or one that leaves no pixel.
GWorldPtr GetScaledGWImageFromFSRef(const FSRef& theFSRef, int16_t WidScale, int16_t HigScale);

// --- Launching and type checks ---
void LaunchFileFromBundle(const std::string& theName, const std::string& theExtension, const std::string& thePath);
// With theApp: that program opens the document; without: the desktop's default one.
OSStatus OpenDocumentInSpecificApp(const FSRef& theDocument, const FSRef* theApp);
// Whether the file's type conforms to theUTI ("public.image", "public.png", ...). The type comes from
// the name's extension, else from the file's type code, else (an extension the MIME database does
// not know, or neither) from the first bytes of an image format the loaders read.
Boolean FileConformsTo(const FSRef& theFile, const std::string& theUTI);

// --- Writing text to files ---
OSErr PSPOpenFile(int16_t& theFileRefNum, const FSSpec& TheFile);
OSErr PSPRewrite(int16_t& theFileRefNum, const FSSpec& TheFile, OSType FileType, OSType FileCreator);
OSErr FileWrite(int16_t theFile, ConstStr255Param theText);
// The text and a carriage return (13); a text of 255 characters has its last one replaced by it.
OSErr FileWriteLn(int16_t theFile, ConstStr255Param theText);
// The working directory's name and ':'.
void GetAppDirName(Str255 Result);
// "name:name:...:" from the root folder (whose name is empty) down to DirID, cut at 255 characters.
void GetFullPath(int32_t DirID, int16_t VRefNum, Str255 Result);
