#include "engine/lineEffect.h"

#include <algorithm>

#include "imaging/CGglue.h"
#include "imaging/commonprocs.h"

void RenderLineArt(PluginDataPtr TheConfig) {
    Assert(TheConfig, "nil config on RenderLineArt");
    if (TheConfig->TheRendered) {
        CGImageRelease(TheConfig->TheRendered);
        TheConfig->TheRendered = nullptr;
    }
    if (!TheConfig->TheOriginalImage) return;
    int32_t Wid, Hig;
    GetImageDims(TheConfig->TheOriginalImage, Wid, Hig);
    // Pictures beyond the 16-bit range are flattened at that size.
    const Rect TheRect{0, 0, int16_t(std::min<int32_t>(Hig, cMaxRectSide)), int16_t(std::min<int32_t>(Wid, cMaxRectSide))};
    GWorldPtr buffer = AllocateRectGWorld(TheRect);
    Assert(buffer, "Unable to allocate the picture buffer in RenderLineArt");
    DrawCGImageInQDRect(buffer, TheConfig->TheOriginalImage, TheRect, 0.0f, true);
    TheConfig->TheRendered = GWorld2CGImage(buffer);
    DisposeGWorld(buffer);
}

void TheLineEffect(GWorldPtr Source, GWorldPtr Dest, Rect ActiveRect, Boolean, PluginDataPtr TheConfig, int32_t,
                   int32_t) {
    if (!Source || !Dest || !TheConfig) return;
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    SetGWorld(Dest, nullptr);
    const Rect TargetRect = GetPortRect(Dest);
    const RGBColor white{65535, 65535, 65535}, black{0, 0, 0};
    RGBBackColor(&white);
    RGBForeColor(&black);
    CopyBits(GetPortBitMapForCopyBits(Source), GetPortBitMapForCopyBits(Dest), &ActiveRect, &TargetRect, srcCopy,
             nullptr);
    if (TheConfig->Sliders[3] > 0) {
        CGImageRef TheImage = GWorld2CGImage(Source);
        Assert(TheImage, "Cannot allocate CG image from source in theLineEffect");
        // Opacity above 100 percent is full opacity.
        DrawCGImageInQDRectWithAlpha(Dest, TheImage, TargetRect, 0.0f, false, TheConfig->Sliders[3] / 100.0, 0);
        CGImageRelease(TheImage);
    }
    SetGWorld(savePort, saveDevice);
}
