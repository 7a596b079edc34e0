#include "host/fxbridge.h"

#include <cstring>

#include "engine/callpixelfx.h"
#include "engine/recthandler.h"
#include "engine/relrects.h"
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
    SaveConfig(TheConfig);
}

void pGetConfigSize(uint32_t& TheSize) { TheSize = sizeof(PluginDataRec); }

void pCopyConfig(PluginDataPtr Source, PluginDataPtr Dest) {
    if (!Source || !Dest) return;
    if (GetPtrSize(reinterpret_cast<Ptr>(Source)) != GetPtrSize(reinterpret_cast<Ptr>(Dest)))
        Terminate("Non-Matching Blocks", "The Size of Source and Dest do not match");
    std::memcpy(Dest, Source, sizeof(PluginDataRec));
    Dest->TheRendered = Source->TheRendered ? CGImageCreateCopy(Source->TheRendered) : nullptr;
    Dest->TheOriginalImage = nullptr;
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
}

void pDestroyConfig(PluginDataPtr AConfig) {
    if (AConfig) DisposePtr(reinterpret_cast<Ptr>(AConfig));
}

void DoEffect(PluginDataPtr MyConfig, void*, GWorldPtr TheSource, GWorldPtr TheTarget, int32_t CurrentFrameIndex,
              int32_t, int32_t, int32_t TotalFrames, int16_t TransitionSelector) {
    Assert(MyConfig, "uninited theData in Plugin Effect master proc. need to call init before calling me");
    MyConfig->Which = TransitionSelector;
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    if (CurrentFrameIndex == 0) {
        const Rect R = GetPortRect(TheTarget);
        int32_t Wid, Hig;
        GetDims(R, Wid, Hig);
        InitPixelEffect(MyConfig, TotalFrames, int16_t(Wid), int16_t(Hig));
        InitRectangles(MyConfig, TotalFrames, Rel2Rect(MyConfig->StartRel, R));
    }
    DoPixelEffect(TheSource, TheTarget, MyConfig, CurrentFrameIndex, TotalFrames);
    SetGWorld(savePort, saveDevice);
}
