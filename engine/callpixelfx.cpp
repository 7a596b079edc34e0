#include "engine/callpixelfx.h"

#include "engine/pixeleffect.h"
#include "engine/relrects.h"
#include "imaging/commonprocs.h"

void InitPixelEffect(PluginDataPtr, int32_t, int16_t, int16_t) {}

void DoPixelEffect(GWorldPtr Source, GWorldPtr Dest, PluginDataPtr theConfig, int32_t CurrentFrameIndex,
                   int32_t MaxFrames) {
    if (!theConfig) return;
    const Rect TheRect = Rel2Rect(theConfig->StartRel, GetPortRect(Dest));
    PixelDrive(Source, Dest, TheRect, theConfig, CurrentFrameIndex, MaxFrames);
}

void CallPixelEffect(GWorldPtr Source, GWorldPtr Dest) {
    DoPixelEffect(Source, Dest, gConfigWorkSpace.TheConfig, gConfigWorkSpace.CurrFrameIndex,
                  gConfigWorkSpace.MaxFrameIndex);
}

void PixelDrive(GWorldPtr Source, GWorldPtr Dest, Rect TheRect, PluginDataPtr theConfig, int32_t CurrentFrame,
                int32_t NumFrames) {
    ThePixelEffect(Source, Dest, TheRect, true, theConfig, CurrentFrame, NumFrames);
}
