#include "host/fxbridge.h"

#include <cstring>
#include <unordered_map>

#include "dialog/clipCTRL.h"
#include "dialog/colorCTRL.h"
#include "dialog/configdlghandler.h"
#include "dialog/dlgUtils.h"
#include "dialog/pictCTRL.h"
#include "dialog/sliderHandlers.h"
#include "engine/callpixelfx.h"
#include "engine/recthandler.h"
#include "engine/pixeleffect.h"
#include "engine/relrects.h"
#include "host/HYPluginRecords.h"
#include "host/iMovieGlue.h"
#include "imaging/commonprocs.h"
#include "platform/CoreGraphics.h"
#include "platform/Memory.h"
#include "settings/DataHandling.h"
#include "settings/prefsloader.h"

void InitMyPlugIn(PluginDataPtr& TheData) {
    Assert(TheData, "Unable to allocate new data structure");
    MakePrefsFile();
    InitPluginData(TheData);
}

void InitPluginData(PluginDataPtr TheConfig) {
    Assert(TheConfig, "Nil theConfig on InitPluginData");
    ResetConfig(TheConfig, true);
    ReadConfig(TheConfig);
    ClampConfig(TheConfig);  // a saved default out of range renders as the dialog would open it
    SaveConfig(TheConfig);
}

void pGetConfigSize(uint32_t& TheSize) { TheSize = sizeof(PluginDataRec); }

namespace {
// Live configuration blocks and the sizes they were allocated at: the master and one per run.
std::unordered_map<const void*, uint32_t> lgConfigSizes;
}  // namespace

void RecordConfigBlock(PluginDataPtr Block, uint32_t Size) {
    if (Block) lgConfigSizes[Block] = Size;
}

void ForgetConfigBlock(PluginDataPtr Block) { lgConfigSizes.erase(Block); }

uint32_t RecordedConfigSize(PluginDataPtr Block) {
    const auto found = lgConfigSizes.find(Block);
    return found == lgConfigSizes.end() ? 0 : found->second;
}

void pCopyConfig(PluginDataPtr Source, PluginDataPtr Dest) {
    if (!Source || !Dest) return;
    if (RecordedConfigSize(Source) != RecordedConfigSize(Dest))
        Terminate("Non-Matching Blocks", "The Size of Source and Dest do not match");
    std::memcpy(Dest, Source, sizeof(PluginDataRec));
    Dest->TheRendered = Source->TheRendered ? CGImageCreateCopy(Source->TheRendered) : nullptr;
    Dest->TheOriginalImage = nullptr;
    // Tile fields are always our own Memory Manager blocks, which keep their size.
    Dest->Rects = reinterpret_cast<RectFieldPtr>(NewPtrClear(sizeof(RectField)));
    if (GetPtrSize(reinterpret_cast<Ptr>(Source->Rects)) != GetPtrSize(reinterpret_cast<Ptr>(Dest->Rects)))
        Terminate("Non-Matching Blocks", "The Size of rects for Source and Dest do not match");
    std::memcpy(Dest->Rects, Source->Rects, sizeof(RectField));
}

void pUncopyConfig(PluginDataPtr TheData) {
    Assert(TheData, "Nil data in pUncopyConfig");
    if (TheData->TheRendered) {
        CGImageRelease(TheData->TheRendered);
        TheData->TheRendered = nullptr;
    }
    if (TheData->Rects) {
        DisposePtr(reinterpret_cast<Ptr>(TheData->Rects));
        TheData->Rects = nullptr;
    }
}

int16_t GetMediaFormat(PluginDataPtr TheData) { return TheData ? TheData->MediaType : 1; }

void pNewConfig(PluginDataPtr& TheData) {
    TheData = nullptr;
    TheData = reinterpret_cast<PluginDataPtr>(NewPtrClear(sizeof(PluginDataRec)));
    Assert(TheData, "Unable to allocate new data structure in pNewConfig");
    RecordConfigBlock(TheData, sizeof(PluginDataRec));
}

void pDestroyConfig(PluginDataPtr AConfig) {
    if (!AConfig) return;
    ForgetConfigBlock(AConfig);
    DisposePtr(reinterpret_cast<Ptr>(AConfig));
}

void DoEffect(PluginDataPtr MyConfig, void* Params, GWorldPtr TheSource, GWorldPtr TheTarget,
              int32_t CurrentFrameIndex, int32_t, int32_t, int32_t TotalFrames, int16_t TransitionSelector) {
    Assert(MyConfig, "uninited theData in Plugin Effect master proc. need to call init before calling me");
    MyConfig->Which = TransitionSelector;
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    // The run's record counts the frames it has rendered. Its copy's field is laid out on the first
    // of them, whatever its index (a resumed render, a seek, a thumbnail), and only then: laid out
    // again, the field would take new random jitter and frames rendered before would no longer match.
    // Without a run record, frame 0 lays it out.
    auto* params = static_cast<HYPluginParams*>(Params);
    auto* run = params ? static_cast<EffectData*>(params->clientData) : nullptr;
    const bool layOut = run ? run->frameCount == 0 : CurrentFrameIndex == 0;
    if (run && run->frameCount < INT32_MAX) run->frameCount++;
    if (layOut) {
        const Rect R = GetPortRect(TheTarget);
        int32_t Wid, Hig;
        GetDims(R, Wid, Hig);
        InitPixelEffect(MyConfig, TotalFrames, int16_t(Wid), int16_t(Hig));
        InitRectangles(MyConfig, TotalFrames, Rel2Rect(MyConfig->StartRel, R));
    }
    DoPixelEffect(TheSource, TheTarget, MyConfig, CurrentFrameIndex, TotalFrames);
    SetGWorld(savePort, saveDevice);
}

namespace {
int16_t FetchPreviewFrame(GWorldPtr TheGW, void* Params, int32_t FrameIndex, int16_t DisposeAfterUse) {
    return GetFrameIntoGW(TheGW, static_cast<HYPluginParams*>(Params), FrameIndex, DisposeAfterUse);
}
}  // namespace

Boolean ConfigurePlugIn(PluginDataPtr TheData, GWorldPtr TheGW, void* Params, int32_t FirstFrameIndex,
                        int32_t NumberOfFrames, int16_t Which) {
    Assert(TheData, "uninited theData in Configure master proc. need to call init before calling me");
    Assert(TheGW, "uninited theGW in Configure master proc");
    gTheConfig = TheData;
    gTheConfig->Which = Which;
    const int32_t frames = NumberOfFrames < 1 ? 1 : NumberOfFrames;
    PluginWorkSpace& ws = gConfigWorkSpace;
    ws.TheConfig = gTheConfig;
    ws.SourceClip = TheGW;
    ws.iMovieParams = Params;
    ws.CurrFrameIndex = 0;
    ws.MinFrameIndex = FirstFrameIndex;
    ws.MaxFrameIndex = frames - 1;
    ws.ActiveRel = 1;
    const Rect preview = GetPortRect(TheGW);
    GetDims(preview, ws.Wid, ws.Hig);
    ws.TheFXClip = AllocateRectGWorld(preview);
    Assert(ws.TheFXClip, "Unable to allocate theProcessed in ConfigurePlug Init run");
    GWorldPtr mask = AllocateRectGWorld(preview);
    Assert(mask, "Unable to allocate theMask in ConfigurePlug Init run");
    gTheConfig->TheMask = mask;
    InitPixelEffect(gTheConfig, frames, int16_t(ws.Wid), int16_t(ws.Hig));
    InitRectangles(gTheConfig, frames, GetActiveRelAsRect(TheGW));
    ws.TheOtherClip = AllocateRectGWorld(preview);
    Assert(ws.TheOtherClip, "Unable to allocate theOtherClip in ConfigurePlugin");
    SetPreviewFrameFetch(FetchPreviewFrame);
    if (Which == 3) GetFrameIntoGW(ws.TheOtherClip, static_cast<HYPluginParams*>(Params), frames + FirstFrameIndex, 1);
    CallPixelEffect(TheGW, ws.TheFXClip);

    RegisterColorBox();
    RegisterClipCtrl();
    RegisterPictureControl();
    const Boolean shown = DoConfig(gTheConfig);
    UnregisterClipCtrl();
    UnregisterColorBox();
    UnregisterPictureControl();

    DisposeGWorld(ws.TheFXClip);
    DisposeGWorld(ws.TheOtherClip);
    DisposeGWorld(mask);
    gTheConfig->TheMask = nullptr;
    ws.TheFXClip = ws.TheOtherClip = ws.SourceClip = nullptr;
    SetPreviewFrameFetch(nullptr);
    // Nothing frame-sized stays held once the dialog is closed.
    ReleasePixelEffectBuffers();
    return shown;
}
