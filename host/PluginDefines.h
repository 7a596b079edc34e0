// The transition's records, constants and process-wide state, read by every layer.
// PluginDataRec is one fixed-size block the host allocates at the size the plug-in reports;
// a run's copy owns its own tile field (Rects) and prepared image (TheRendered).
#pragma once
#include <bit>
#include <cstdint>

#include "platform/CoreGraphicsFwd.h"
#include "platform/MacTypes.h"
#include "platform/OneBased.h"
#include "platform/QuickDraw.h"

// --- Named constants ---
inline constexpr const char* cMyPluginName = "kpblockwaves";
inline constexpr const char* cMyClearName = "Blockwaves! Transitions";
inline constexpr const char* cMyBundleID = "com.qvz.clipfxpk.kpblockwaves";
inline constexpr const char* cProductCode = "kpblk";
inline constexpr const char* cPlugVersion =
    std::endian::native == std::endian::little ? "3.0.0 (i386 Universal)" : "3.0.0 (PPC Universal)";
inline constexpr int32_t cPlugVersionNum = 3 * 65536;

inline constexpr int16_t cUsesColor1 = 1, cUsesColor2 = 0, cUsesColor3 = 0, cUsesColor4 = 0, cUsesColor5 = 0,
                         cUsesColor6 = 0;
inline constexpr int16_t cUsesSlider1 = 1, cUsesSlider2 = 1, cUsesSlider3 = 1, cUsesSlider4 = 0, cUsesSlider5 = 0,
                         cUsesSlider6 = 0;
inline constexpr int16_t cUsedNumberOfRects = 1;
inline constexpr int16_t cHandleSize = 6;  // radius in pixels of a frame rectangle's drag handle
inline constexpr int16_t cUseDisposeGWInSlider = 1;

inline constexpr int16_t cMaxRectHoriz = 100;  // tile field columns
inline constexpr int16_t cMaxRectVert = 100;   // tile field rows
inline constexpr int16_t cMethodCount = 41;    // tile orderings, Method 1..cMethodCount
inline constexpr int16_t cSpiralOut = 28;
inline constexpr int16_t cSpiralIn = 29;
inline constexpr int32_t cMaxRandom = 30000;  // entries of the fixed random table
inline constexpr int32_t cConfigSaveVersion = 3;

// --- Relative geometry: fractions of the frame, 0 = left/top edge, 1 = right/bottom edge ---
struct RelRect {
    double Left, Right, Top, Bottom;
};
struct RelPoint {
    double Horiz, Vert;
};

// --- Tile field: Rects[x][y], x = column 1..100, y = row 1..100 ---
struct RectDesc {
    int32_t StartFrame;  // frame index at which the tile starts to change
    int32_t EndFrame;    // frame index from which the tile shows the incoming picture
};
typedef OneBased<OneBased<RectDesc, cMaxRectVert>, cMaxRectHoriz> RectField;
typedef RectField* RectFieldPtr;
static_assert(sizeof(RectField) == 80000, "the tile field block is 100 x 100 x 8 bytes");

// --- The transition's settings and working state ---
struct PluginDataRec {
    RelRect StartRel;              // active area, fractions of the frame
    RelRect EndRel;                // second frame rectangle: saved, not rendered
    OneBased<int16_t, 6> Sliders;  // [1] columns, [2] rows, [3] change duration in percent
    OneBased<RGBColor, 6> Colors;  // [1] colour standing in for the missing clip
    RGBColor FrameStartColor;      // colour the dialog draws the start rectangle in
    RGBColor FrameEndColor;        // saved, never drawn
    int16_t MediaType;             // preview frame: 1 NTSC 720x480, 2 PAL 720x576, 3 HD 960x540
    int16_t Which;                 // variant of the run: 1 after, 2 before, 3 between
    CGImageRef TheOriginalImage;   // the user's picture as loaded; never shared by copies
    CGImageRef TheRendered;        // picture prepared for drawing; owned by the record
    Boolean KeepProps;             // hold the edited rectangle to the frame's proportions
    int16_t Method;                // tile ordering 1..cMethodCount
    int32_t LineIndex[2001];       // working table of the line-art effect
    RectFieldPtr Rects;            // the tile field block, owned by the record
    Boolean RandomizedDuration;    // vary each tile's change length randomly
    GWorldPtr TheMask;             // fade mask, only during one effect call or an open dialog
};
typedef PluginDataRec* PluginDataPtr;

// --- One run, kept by the host in clientData from the begin to the end call ---
struct EffectData {
    int32_t frameCount;         // frames the run has rendered; 0 at the begin call
    int32_t effectSourceCount;  // not used
    float sliderValues[3];      // host-side filter sliders, not written by the plug-in
    int32_t fadeInFrames;
    int32_t fadeOutFrames;
    PluginDataPtr configData;  // the run's private copy of the master configuration
};

// --- The open configuration dialog ---
struct PluginWorkSpace {
    PluginDataPtr TheConfig;  // the record being edited (the master configuration)
    void* iMovieParams;       // the host's parameter record of the custom-button call
    GWorldPtr SourceClip;     // clip A's preview frame
    GWorldPtr TheOtherClip;   // clip B's preview frame (between-clips variant)
    GWorldPtr TheFXClip;      // the rendered preview
    int32_t CurrFrameIndex;   // preview position
    int32_t MinFrameIndex;    // host frame index of the first previewed frame
    int32_t MaxFrameIndex;    // last preview position
    int32_t Wid, Hig;         // preview frame size in pixels
    int16_t ActiveRel;        // 1 StartRel, 2 EndRel
    ControlRef TheFrameCtrl;
    OneBased<ControlRef, 6> Sliders;
    ControlRef ClipSlider;
    OneBased<ControlRef, 6> Colors;
    WindowRef TheWindow;
};

// --- Process-wide state (host thread only) ---
inline PluginDataPtr gConfigData = nullptr;
inline Boolean gConfigInited = false;
inline int32_t gMostRecentStartFrame = 0;
inline int32_t gMostRecentFrameCount = 0;
inline PluginDataPtr gTheConfig = nullptr;
inline PluginWorkSpace gConfigWorkSpace = {};
inline CFBundleRef gMyBundle = nullptr;
