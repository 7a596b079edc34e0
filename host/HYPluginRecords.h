// The host's plug-in interface: the parameter record passed to `main` on every call, the callback
// table, the info and clip records and their one-byte enumerations. Shared by the bundle and every
// host. Natural alignment, native byte order; with 32-bit pointers every size and offset is the
// host's own (checked below), with 64-bit pointers the pointer fields widen.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include "platform/MacTypes.h"
#include "platform/QuickDraw.h"

// --- One-byte enumerations ---
typedef uint8_t HYPluginSelector;
enum : HYPluginSelector {
    kPlugGetInfo = 1,
    kPlugInitialize = 2,
    kPlugDrawIcon = 3,
    kPlugDrawThumbNail = 4,
    kPlugFilePlaceHolder = 5,
    kPlugDoFrame = 6,
    kPlugCallOnceWithInitAndTerminate = 7,
    kPlugTerminate = 8,
    kPlugCustomButtonClick = 9,
};

typedef uint8_t HYPluginResult;
enum : HYPluginResult {
    kPluginOK = 0,
    kPluginCancel = 1,
    kPluginFinished = 2,
    kPluginBadParams = 3,
    kPluginOutOfMemory = 4,
    kPluginOutOfDiskSpace = 5,
    kPluginFailed = 6,
    kPluginCantGetNeededFrame = 7,
    kPluginUnimplemented = 8,
    kPluginTryAgainLater = 9,
    kPluginAppIsTooOld = 10,
    kPluginAppIsTooNew = 11,
};

typedef uint8_t HYPluginType;
enum : HYPluginType {
    kPluginUnknownType = 0,
    kPluginTitleType = 101,
    kPluginTransitionBeforeType = 102,
    kPluginTransitionBetweenType = 103,
    kPluginTransitionAfterType = 104,
    kPluginFilterType = 105,
};

typedef uint8_t HYPluginDirection;
enum : HYPluginDirection {
    kPluginDirectionNone = 0,
    kPluginDirectionUp = 1,
    kPluginDirectionDown = 2,
    kPluginDirectionLeft = 3,
    kPluginDirectionRight = 4,
};

typedef uint8_t HYRefDVQuality;
enum : HYRefDVQuality { kDVLowQuality = 0,
                        kDVHighQuality = 1,
                        kDVHighQualitySingleField = 2 };

// --- Info records ---
struct HYPluginGetInfo {
    HYPluginType pluginType;  // variant the plug-in reports
    uint8_t titleType;
    uint32_t pluginFlags;        // host-defined bits; this plug-in reports 0x1007
    int32_t framesToBeRendered;  // frames of the transition
    int32_t takeFromClipBefore;  // frames taken from the end of clip A
    int32_t takeFromClipAfter;   // frames taken from the start of clip B
    int32_t minSpeedFrames;
    int32_t maxSpeedFrames;
    Boolean mustTakeFromSingleClips;
    int32_t bestThumbOffset;  // frame the host shows as the placeholder
    RGBColor defaultColor;
    HYPluginDirection defaultDirection;
    uint8_t justify;
    int16_t defaultFontNum;
    int16_t defaultFontSize;
};

struct HYPluginFilterSliderInfo {
    char label[128];  // zero-terminated texts
    char minLabel[128];
    char maxLabel[128];
    float defaultValue;  // 0..1
};

struct HY2PluginGetInfo {
    char group[128];  // group under which the host lists the transition
    HYPluginFilterSliderInfo filterSliders[3];
    int32_t defaultFadeInFrames;
    int32_t defaultFadeOutFrames;
    int32_t minHangFrames;
    int32_t maxHangFrames;
    float defaultFontSizeScale;
    int32_t selectedFrames;
    int32_t speedFrames;
    int32_t hangFrames;
    int32_t baseMemoryNeeded;
};

// The host's file specification: volume, parent folder and a length-prefixed name.
struct HYFileSpec {
    int16_t vRefNum;
    int32_t parID;
    unsigned char name[64];
};

struct HYPluginFileOpenInfo {
    int16_t typeCount;
    Handle hTypes;
    HYFileSpec chosenFile;
};

struct HY3PluginGetInfo {
    float defaultX, defaultY, userX, userY;
    HYPluginFileOpenInfo fileInfo;
    char buttonTitle[32];  // title of the host's custom button, zero-terminated
};

struct HY4PluginGetInfo {
    HYPluginFilterSliderInfo titleSliders;
};

struct HY2PluginTransitionInfo {
    HYPluginDirection direction;
};
struct HYPluginTransitionInfo {
    float speed;  // the host's speed setting, 0..1
    HY2PluginTransitionInfo ver2;
};

// --- Clip records ---
struct HY2PluginClipInfo {
    Boolean backwards;
    int16_t frameSpeed;
    int32_t fadeInFrames;   // audio fade-in length in frames
    int32_t fadeOutFrames;  // audio fade-out length in frames
};

// A reference to a clip of the host's project; the plug-in only passes it back unchanged.
struct HYRefClip {
    uint8_t clipType;
    unsigned char name[64];
    uint8_t videoStandard;
    int32_t frameCount;
    int32_t inPoint;
    int32_t outPoint;
    HYFileSpec file;
    int32_t absoluteStartFrame;
    uint8_t reserved[64];
};

struct HY4PluginClipInfo {
    int32_t clipFrame;
    HYRefClip clipRef;
};

struct HYPluginClipInfo {
    int16_t volume;  // 0..255
    Boolean fadeIn;
    Boolean fadeOut;
    unsigned char name[256];  // length-prefixed
    HY2PluginClipInfo ver2;
    HY4PluginClipInfo ver4;
};

// --- Callbacks ---
typedef int32_t HYFrameCookie;       // identifies a fetched frame to the host
typedef void (*HYUnusedProc)(void);  // callbacks this plug-in never calls

typedef Ptr (*HYNewPtrProc)(int32_t size);
typedef void (*HYDisposePtrProc)(Ptr block);
typedef HYPluginResult (*HYGetFrameProc)(void* instance, int32_t frameIndex, GWorldPtr* frame, int16_t width,
                                         int16_t height, HYRefDVQuality quality, int16_t* volume,
                                         HYFrameCookie* cookie);
typedef HYPluginResult (*HYReleaseFrameProc)(void* instance, HYFrameCookie cookie);
typedef HYPluginResult (*HYGetClipInfoProc)(void* instance, int16_t clipSelector, HYPluginClipInfo* info);
typedef HYPluginResult (*HYSetClipInfoProc)(void* instance, HYPluginClipInfo* info);
typedef HYPluginResult (*HYBlitProc)(PixMapHandle src, PixMapHandle dst, const Rect* srcRect, const Rect* dstRect,
                                     int16_t opacity);
typedef HYPluginResult (*HYGetTransitionInfoProc)(void* instance, HYPluginTransitionInfo** info);
typedef HYPluginResult (*HYReleaseTransitionInfoProc)(void* instance, HYPluginTransitionInfo* info);
typedef HYPluginResult (*HYMixAudioProc)(void* instance, HYFrameCookie cookie, int16_t level);

struct HYProcs {
    HYNewPtrProc NewPtr;
    HYNewPtrProc NewPtrClear;
    HYDisposePtrProc DisposePtr;
    HYUnusedProc ptocstr;
    HYUnusedProc ctopstr;
    HYUnusedProc pstrcpy;
    HYUnusedProc strcpy;
    HYUnusedProc strlen;
    HYUnusedProc GetLocalizedString;
    HYGetFrameProc GetFrame;
    HYReleaseFrameProc ReleaseFrame;
    HYUnusedProc GetAudioFrame;
    HYUnusedProc ReleaseAudioFrame;
    HYUnusedProc GetMovieInfo;
    HYGetClipInfoProc GetClipInfo;
    HYSetClipInfoProc SetClipInfo;
    HYBlitProc Blit;
    HYUnusedProc FillRect;
    HYUnusedProc TextBounds;
    HYUnusedProc DrawText;
    HYUnusedProc GetTitleInfo;
    HYUnusedProc ReleaseTitleInfo;
    HYGetTransitionInfoProc GetTransitionInfo;
    HYReleaseTransitionInfoProc ReleaseTransitionInfo;
    HYMixAudioProc MixAudio;
    HYUnusedProc GetFilterInfo;
    HYUnusedProc ReleaseFilterInfo;
    HYUnusedProc StringWidth;
    HYUnusedProc CGDrawText;
    HYUnusedProc CGStringWidth;
};

// --- The parameter record ---
struct HYPluginParams {
    int16_t interfaceVersion;  // must be above 3
    void* instance;            // passed back to the callbacks
    HYPluginSelector selector;
    HYProcs* procs;
    HYPluginGetInfo getInfo;
    int32_t startFrame;   // host frame index at which the transition's frames are counted
    int32_t renderFrame;  // frame to render, 0 first
    int32_t frameCount;   // frames of the transition
    Boolean proxyOnly;    // quick preview quality wanted
    Rect frameRect;       // the output frame's rectangle
    GWorldPtr frame;      // the output frame
    void* clientData;     // the plug-in's run record, kept by the host
    HY2PluginGetInfo getInfo2;
    HY3PluginGetInfo getInfo3;
    HY4PluginGetInfo getInfo4;
};

// The entry point every bundle exports.
typedef int32_t (*HYPluginMainProc)(int32_t which, HYPluginParams* params);

// --- Layout checks ---
// Records without pointers have the same layout everywhere.
static_assert(sizeof(HYPluginGetInfo) == 48, "HYPluginGetInfo");
static_assert(offsetof(HYPluginGetInfo, pluginFlags) == 4 && offsetof(HYPluginGetInfo, framesToBeRendered) == 8 &&
                  offsetof(HYPluginGetInfo, takeFromClipBefore) == 12 &&
                  offsetof(HYPluginGetInfo, takeFromClipAfter) == 16 &&
                  offsetof(HYPluginGetInfo, minSpeedFrames) == 20 && offsetof(HYPluginGetInfo, maxSpeedFrames) == 24 &&
                  offsetof(HYPluginGetInfo, mustTakeFromSingleClips) == 28 &&
                  offsetof(HYPluginGetInfo, bestThumbOffset) == 32 && offsetof(HYPluginGetInfo, defaultColor) == 36 &&
                  offsetof(HYPluginGetInfo, defaultDirection) == 42 && offsetof(HYPluginGetInfo, justify) == 43 &&
                  offsetof(HYPluginGetInfo, defaultFontNum) == 44 && offsetof(HYPluginGetInfo, defaultFontSize) == 46,
              "HYPluginGetInfo offsets");
static_assert(sizeof(HYPluginFilterSliderInfo) == 388 && offsetof(HYPluginFilterSliderInfo, minLabel) == 128 &&
                  offsetof(HYPluginFilterSliderInfo, maxLabel) == 256 &&
                  offsetof(HYPluginFilterSliderInfo, defaultValue) == 384,
              "HYPluginFilterSliderInfo");
static_assert(sizeof(HY2PluginGetInfo) == 1328 && offsetof(HY2PluginGetInfo, filterSliders) == 128 &&
                  offsetof(HY2PluginGetInfo, defaultFadeInFrames) == 1292 &&
                  offsetof(HY2PluginGetInfo, baseMemoryNeeded) == 1324,
              "HY2PluginGetInfo");
static_assert(sizeof(HY4PluginGetInfo) == 388, "HY4PluginGetInfo");
static_assert(sizeof(HYPluginTransitionInfo) == 8 && offsetof(HYPluginTransitionInfo, ver2) == 4,
              "HYPluginTransitionInfo");
static_assert(sizeof(HYPluginClipInfo) == 496 && offsetof(HYPluginClipInfo, fadeIn) == 2 &&
                  offsetof(HYPluginClipInfo, fadeOut) == 3 && offsetof(HYPluginClipInfo, name) == 4 &&
                  offsetof(HYPluginClipInfo, ver2) == 260 && offsetof(HYPluginClipInfo, ver4) == 272,
              "HYPluginClipInfo");
static_assert(offsetof(HY2PluginClipInfo, frameSpeed) == 2 && offsetof(HY2PluginClipInfo, fadeInFrames) == 4 &&
                  offsetof(HY2PluginClipInfo, fadeOutFrames) == 8,
              "HY2PluginClipInfo");
static_assert(sizeof(HYProcs) == 30 * sizeof(void*), "HYProcs holds thirty callbacks");
static_assert(offsetof(HYProcs, GetFrame) == 9 * sizeof(void*) && offsetof(HYProcs, Blit) == 16 * sizeof(void*) &&
                  offsetof(HYProcs, MixAudio) == 24 * sizeof(void*),
              "HYProcs order");
static_assert(offsetof(HYPluginParams, getInfo) % 4 == 0 && offsetof(HYPluginParams, frameRect) % 2 == 0,
              "HYPluginParams alignment");

#if UINTPTR_MAX == 0xFFFFFFFFu
// With 32-bit pointers the host's layout holds byte for byte.
static_assert(sizeof(HYPluginParams) == 1940, "HYPluginParams");
static_assert(offsetof(HYPluginParams, instance) == 4 && offsetof(HYPluginParams, selector) == 8 &&
                  offsetof(HYPluginParams, procs) == 12 && offsetof(HYPluginParams, getInfo) == 16 &&
                  offsetof(HYPluginParams, startFrame) == 64 && offsetof(HYPluginParams, renderFrame) == 68 &&
                  offsetof(HYPluginParams, frameCount) == 72 && offsetof(HYPluginParams, proxyOnly) == 76 &&
                  offsetof(HYPluginParams, frameRect) == 78 && offsetof(HYPluginParams, frame) == 88 &&
                  offsetof(HYPluginParams, clientData) == 92 && offsetof(HYPluginParams, getInfo2) == 96 &&
                  offsetof(HYPluginParams, getInfo3) == 1424 && offsetof(HYPluginParams, getInfo4) == 1552,
              "HYPluginParams offsets");
static_assert(sizeof(HY3PluginGetInfo) == 128 && offsetof(HY3PluginGetInfo, fileInfo) == 16 &&
                  sizeof(HYPluginFileOpenInfo) == 80 && offsetof(HY3PluginGetInfo, buttonTitle) == 96,
              "HY3PluginGetInfo");
static_assert(sizeof(HYProcs) == 120, "HYProcs");
#else
// With 64-bit pointers: the pointer fields widen and everything after them moves.
static_assert(offsetof(HYPluginParams, instance) == 8 && offsetof(HYPluginParams, procs) == 24 &&
                  offsetof(HYPluginParams, getInfo) == 32 && offsetof(HYPluginParams, startFrame) == 80 &&
                  offsetof(HYPluginParams, frame) == 104 && offsetof(HYPluginParams, clientData) == 112 &&
                  offsetof(HYPluginParams, getInfo2) == 120,
              "HYPluginParams offsets (64-bit)");
static_assert(sizeof(HY3PluginGetInfo) == 136 && offsetof(HY3PluginGetInfo, buttonTitle) == 104,
              "HY3PluginGetInfo (64-bit)");
static_assert(sizeof(HYProcs) == 240, "HYProcs (64-bit)");
#endif
