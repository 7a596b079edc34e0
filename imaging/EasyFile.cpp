#include "imaging/EasyFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "imaging/CGglue.h"
#include "imaging/commonprocs.h"
#include "platform/Bundle.h"
#include "platform/ImageIO.h"
#include "platform/UTTypes.h"

namespace {
void SetName(Str255 theName, std::string_view name) {
    if (theName) CopyToPStr(name, theName, 255);
}
}  // namespace

// --- Dialogs and file lists ---
OSErr AEDescListToFileList(const AEDescList& inList, FileList& OutFileList) {
    OutFileList.Count = 0;
    int32_t count = 0;
    OSErr err = AECountItems(&inList, &count);
    for (int32_t i = 1; err == noErr && i <= count; i++) {
        FSSpec chosenFile;
        err = AEGetNthPtr(&inList, i, typeFSS, nullptr, nullptr, &chosenFile, sizeof chosenFile, nullptr);
        if (err != noErr) break;
        if (i <= cMaxFilesInList) OutFileList.Items[i - 1] = chosenFile;
        OutFileList.Count = int16_t(std::min<int32_t>(i, INT16_MAX));
    }
    return err;
}

Boolean EasyNavGetFile(ConstStr255Param inMessage, OSType inType, OSType inCreator, Boolean, FSSpec& OutFile) {
    NavDialogOptions options;
    NavGetDefaultDialogOptions(&options);
    CopyToPStr(PStrView(inMessage), options.windowTitle, 255);
    options.dialogOptionFlags &= ~kNavAllowMultipleFiles;
    NavTypeList types{inCreator, 0, 1, {inType}};
    NavReplyRecord reply;
    bool chosen = false;
    if (NavGetFile(&options, inType == cAnyFileType ? nullptr : &types, &reply) == noErr && reply.validRecord) {
        FileList list;
        chosen = AEDescListToFileList(reply.selection, list) == noErr && list.Count >= 1;
        if (chosen) OutFile = list.Items[0];
    }
    NavDisposeReply(&reply);
    return chosen;
}

Boolean EasyNavPutFile(ConstStr255Param inMessage, ConstStr255Param inDefaultName, OSType inType, OSType inCreator,
                       FSSpec& OutSpec, Boolean& OutReplacing) {
    NavDialogOptions options;
    NavGetDefaultDialogOptions(&options);
    CopyToPStr(PStrView(inMessage), options.message, 255);
    CopyToPStr(PStrView(inDefaultName), options.savedFileName, 255);
    NavReplyRecord reply;
    bool chosen = false;
    if (NavPutFile(&options, inType, inCreator, &reply) == noErr && reply.validRecord) {
        chosen = AEGetNthPtr(&reply.selection, 1, typeFSS, nullptr, nullptr, &OutSpec, sizeof OutSpec, nullptr) == noErr;
        OutReplacing = chosen && reply.replacing;
    }
    NavDisposeReply(&reply);
    return chosen;
}

// --- Pictures and images ---
PicHandle LoadPictureFile(Str255 theName) {
    SetName(theName, "Dummy");
    FSSpec chosenFile;
    if (!EasyNavGetFile(PStr("Choose Picture"), cAnyFileType, cAnyFileType, false, chosenFile)) return nullptr;
    return ReadPictureFromFSS(chosenFile, theName);
}

PicHandle ReadPictureFromFSS(const FSSpec& theFSS, Str255 theName) {
    SetName(theName, PStrView(theFSS.name));
    ComponentInstance importer = nullptr;
    if (GetGraphicsImporterForFile(&theFSS, &importer) != noErr) return nullptr;
    PicHandle picture = nullptr;
    GraphicsImportGetAsPicture(importer, &picture);
    CloseComponent(importer);
    return picture;
}

PicHandle ReadPictureFromFSRefUsingQT(const FSRef& theFSRef, Str255 theName) {
    FSSpec chosenFile;
    if (FSRef2FSSpec(theFSRef, chosenFile) != noErr) {
        SetName(theName, "");
        return nullptr;
    }
    return ReadPictureFromFSS(chosenFile, theName);
}

PicHandle ReadPictureFromFSRef(const FSRef& theFSRef, Str255 theName) { return ReadPictureFromFSRefUsingQT(theFSRef, theName); }

PicHandle LoadPictureFromBundle(const std::string& theName, const std::string& theType) {
    FSRef ref;
    if (!CFURLGetFSRef(CFBundleCopyResourceURL(CFBundleGetMainBundle(), theName, theType), &ref)) return nullptr;
    Str255 name;
    return ReadPictureFromFSRef(ref, name);
}

CGImageRef GetCGImageFromFSS(const FSSpec& theFSS) {
    ComponentInstance importer = nullptr;
    if (GetGraphicsImporterForFile(&theFSS, &importer) != noErr) return nullptr;
    CGImageRef image = nullptr;
    GraphicsImportCreateCGImage(importer, &image, kGraphicsImportCreateCGImageUsingCurrentSettings);
    CloseComponent(importer);
    return image;
}

CGImageRef GetCGImageFromURLUsingQT(const std::string& theFile) {
    FSRef ref;
    FSSpec chosenFile;
    if (!CFURLGetFSRef(theFile, &ref) || FSRef2FSSpec(ref, chosenFile) != noErr) return nullptr;
    return GetCGImageFromFSS(chosenFile);
}

CGImageRef GetCGImageFromURLUsingCG(const std::string& theURL) {
    CGImageSourceRef source = CGImageSourceCreateWithURL(theURL, nullptr);
    if (!source) return nullptr;
    CGImageRef image = CGImageSourceGetCount(source) >= 1 ? CGImageSourceCreateImageAtIndex(source, 0, nullptr) : nullptr;
    CFRelease(source);
    return image;
}

CGImageRef GetCGImageFromFSRefUsingCG(const FSRef& theFSRef) {
    return GetCGImageFromURLUsingCG(CFURLCreateFromFSRef(&theFSRef));
}

CGImageRef GetCGImageFromFSSUsingCG(const FSSpec& theFSS) {
    FSRef ref;
    if (FSSpec2FSRef(theFSS, ref) != noErr) return nullptr;
    return GetCGImageFromFSRefUsingCG(ref);
}

CGImageRef GetCGImageFromBundle(const std::string& theName, const std::string& theExtension,
                                const std::string& thePath) {
    FSRef ref;
    if (!CFURLGetFSRef(CFBundleCopyResourceURL(CFBundleGetMainBundle(), theName, theExtension, thePath), &ref))
        return nullptr;
    return GetCGImageFromFSRefUsingCG(ref);
}

PicHandle GetPictFromURLUsingCG(const std::string& theURL) {
    CGImageRef image = GetCGImageFromURLUsingCG(theURL);
    if (!image) return nullptr;
    int32_t wid, hig;
    GetImageDims(image, wid, hig);
    GWorldPtr gw = AllocateRectGWorld(Rect{0, 0, int16_t(hig), int16_t(wid)});
    if (!gw) {
        CGImageRelease(image);
        return nullptr;
    }
    ClearGW(gw, RGBColor{65535, 65535, 65535});
    const Rect frame = GetPortRect(gw);
    DrawCGImageInQDRect(gw, image, frame, 0, true);
    // The picture records what is drawn into the current port: the buffer, onto itself.
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    SetGWorld(gw, nullptr);
    const OpenCPicParams header{frame, kQDScreenResolution, kQDScreenResolution, -2, 0, 0};
    PicHandle picture = OpenCPicture(&header);
    CopyBits(GetPortBitMapForCopyBits(gw), GetPortBitMapForCopyBits(gw), &frame, &frame, srcCopy, nullptr);
    ClosePicture();
    SetGWorld(savePort, saveDevice);
    CGImageRelease(image);
    DisposeGWorld(gw);
    return picture;
}

GWorldPtr GetScaledGWImageFromFSRef(const FSRef& theFSRef, int16_t WidScale, int16_t HigScale) {
    if (WidScale < 1 || HigScale < 1) return nullptr;
    Str255 name;
    PicHandle picture = ReadPictureFromFSRef(theFSRef, name);
    if (!picture) return nullptr;
    Rect frame = picture->picFrame;
    OffsetRect(&frame, int16_t(-frame.left), int16_t(-frame.top));
    const int16_t wid = int16_t(frame.right / WidScale), hig = int16_t(frame.bottom / HigScale);
    // A scale larger than the picture leaves no pixel: none, rather than a failed allocation.
    if (wid < 1 || hig < 1) {
        KillPicture(picture);
        return nullptr;
    }
    GWorldPtr gw = AllocateGWorld(wid, hig);
    Assert(gw, "Cannot allocate new GWorld in GetScaledGWImageFromFSRef");
    ClearGW(gw, RGBColor{65535, 65535, 65535});
    DrawPictureInGW(gw, picture, frame);
    KillPicture(picture);
    return gw;
}

// --- Launching and type checks ---
void LaunchFileFromBundle(const std::string& theName, const std::string& theExtension, const std::string& thePath) {
    const std::string url = CFBundleCopyResourceURL(CFBundleGetMainBundle(), theName, theExtension, thePath);
    if (!url.empty()) LSOpenCFURLRef(url, nullptr);
}

OSStatus OpenDocumentInSpecificApp(const FSRef& theDocument, const FSRef* theApp) {
    if (!theApp) return LSOpenFSRef(&theDocument, nullptr);
    const LSLaunchFSRefSpec chosenFile{theApp, 1, &theDocument, nullptr, 1, nullptr};
    return LSOpenFromRefSpec(&chosenFile, nullptr);
}

namespace {
// The identifier of an image format the loaders read, from the file's first bytes.
std::string IdentifierFromContent(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    uint8_t head[16] = {};
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return {};
    const size_t n = std::fread(head, 1, sizeof head, f);
    std::fclose(f);
    return UTTypeCreatePreferredIdentifierForTag(kUTTagClassMIMEType, ImageFormatMimeType(ImageFormatOf(head, n)), {});
}
}  // namespace

Boolean FileConformsTo(const FSRef& theFile, const std::string& theUTI) {
    LSItemInfoRecord info;
    if (LSCopyItemInfoForRef(&theFile, kLSRequestExtension | kLSRequestTypeCreator, &info) != noErr) return false;
    std::string uti;
    if (!info.extension.empty())
        uti = UTTypeCreatePreferredIdentifierForTag(kUTTagClassFilenameExtension, info.extension, {});
    else if (info.filetype != 0)
        uti = UTTypeCreatePreferredIdentifierForTag(kUTTagClassOSType, UTCreateStringForOSType(info.filetype), {});
    if (uti.empty()) uti = IdentifierFromContent(theFile.path);
    return !uti.empty() && UTTypeConformsTo(uti, theUTI);
}

// --- Writing text to files ---
OSErr PSPOpenFile(int16_t& theFileRefNum, const FSSpec& TheFile) {
    const OSErr err = FSpOpenDF(&TheFile, fsRdWrPerm, &theFileRefNum);
    return err != noErr ? err : SetFPos(theFileRefNum, fsFromStart, 0);
}

OSErr PSPRewrite(int16_t& theFileRefNum, const FSSpec& TheFile, OSType FileType, OSType FileCreator) {
    FSpDelete(&TheFile);  // a file that is not there is fine
    const OSErr err = FSpCreate(&TheFile, FileCreator, FileType, smSystemScript);
    return err != noErr ? err : FSpOpenDF(&TheFile, fsRdWrPerm, &theFileRefNum);
}

OSErr FileWrite(int16_t theFile, ConstStr255Param theText) {
    int32_t count = theText ? theText[0] : 0;
    if (count == 0) return noErr;
    return FSWrite(theFile, &count, theText + 1);
}

OSErr FileWriteLn(int16_t theFile, ConstStr255Param theText) {
    unsigned char line[256];
    const std::string_view text = PStrView(theText).substr(0, 254);
    std::memcpy(line, text.data(), text.size());
    line[text.size()] = 13;
    int32_t count = int32_t(text.size() + 1);
    return FSWrite(theFile, &count, line);
}

void GetAppDirName(Str255 Result) {
    Str255 name{};
    CInfoPBRec pb{name, 0, -1, 0, 0};
    if (PBGetCatInfoSync(&pb) != noErr) name[0] = 0;
    CopyToPStr(Concat255(PStrView(name), ":"), Result, 255);
}

void GetFullPath(int32_t DirID, int16_t VRefNum, Str255 Result) {
    std::string path;
    // A chain of folders ends at the root; the bound only guards against a file system that loops.
    for (int32_t dir = DirID, depth = 0; depth < 4096; depth++) {
        Str255 name{};
        CInfoPBRec pb{name, VRefNum, -1, dir, 0};
        if (PBGetCatInfoSync(&pb) != noErr) break;
        path = Concat255(Concat255(PStrView(name), ":"), path);
        if (pb.ioDrDirID == fsRtDirID) break;
        dir = pb.ioDrParID;
    }
    CopyToPStr(path, Result, 255);
}
