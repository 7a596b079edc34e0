#include "host/iMovieGlue.h"

#include <algorithm>
#include <cmath>

#include "host/PluginDefines.h"
#include "host/fxbridge.h"
#include "imaging/commonprocs.h"
#include "platform/Numerics.h"

namespace {
HYRefDVQuality QualityFor(const HYPluginParams* Params, int32_t height) {
    return Params->proxyOnly && height <= 259 ? kDVLowQuality : kDVHighQuality;
}

// Saved lock state of a buffer's pixels while the host's blitter reads or writes them.
struct PixelLock {
    PixMapHandle pm;
    GWorldFlags saved;
    explicit PixelLock(GWorldPtr gw) : pm(GetGWorldPixMap(gw)), saved(GetPixelsState(pm)) { LockPixels(pm); }
    void Restore() { SetPixelsState(pm, saved); }
};
}  // namespace

int16_t FadingLevel(int16_t volume, double percent, bool rising) {
    const double v = volume == 255 ? 256.0 : volume;  // full volume counts as 256
    if (!(percent >= 0.0)) percent = 0.0;
    percent = std::min(percent, 1.0);
    return TruncS(v * (rising ? percent : 1.0 - percent));
}

HYPluginResult TransitionFade(HYPluginParams* Params, int16_t Which) {
    // A run of fewer than one frame counts as one, so the progress stays within 0..1.
    const int32_t frameCount = std::max<int32_t>(1, Params->frameCount);
    const double percent = (Params->renderFrame + 1.0) / frameCount;
    const int32_t width = Params->frameRect.right - Params->frameRect.left;
    const int32_t height = Params->frameRect.bottom - Params->frameRect.top;

    HYPluginTransitionInfo* info = nullptr;
    Params->procs->GetTransitionInfo(Params->instance, &info);
    const HYRefDVQuality quality = QualityFor(Params, height);
    const int64_t frame1 = int64_t(Params->startFrame) + Params->renderFrame;
    const int64_t frame2 = int64_t(Params->startFrame) + Params->frameCount + Params->renderFrame;
    gMostRecentStartFrame = Params->startFrame;
    gMostRecentFrameCount = Params->frameCount;

    auto finish = [&](HYPluginResult result) {
        if (info) Params->procs->ReleaseTransitionInfo(Params->instance, info);
        return result;
    };
    if (frame1 < 0 || frame1 > INT32_MAX) return finish(kPluginFailed);

    GWorldPtr first = nullptr;
    int16_t volume = 0;
    HYFrameCookie cookie1 = 0;
    HYPluginResult got = Params->procs->GetFrame(Params->instance, int32_t(frame1), &first, int16_t(width),
                                                 int16_t(height), quality, &volume, &cookie1);
    if (got != kPluginOK) return finish(got);
    if (!first) {
        Params->procs->ReleaseFrame(Params->instance, cookie1);
        return finish(kPluginCantGetNeededFrame);
    }

    PixelLock firstLock(first), outLock(Params->frame);
    const Rect srcRect = GetPortRect(first);
    HYPluginResult err =
        Params->procs->Blit(GetGWorldPixMap(first), GetGWorldPixMap(Params->frame), &srcRect, &Params->frameRect, 255);
    auto gather = [&err](HYPluginResult r) {
        if (err == kPluginOK) err = r;
    };
    if (!Params->proxyOnly && err == kPluginOK) {
        // The outgoing clip fades out; before the first clip the picture fetched here is the
        // incoming clip B, whose sound rises with the picture instead of vanishing and jumping back.
        const bool rising = Params->getInfo.pluginType == kPluginTransitionBeforeType;
        gather(Params->procs->MixAudio(Params->instance, cookie1, FadingLevel(volume, percent, rising)));
    }
    firstLock.Restore();
    gather(Params->procs->ReleaseFrame(Params->instance, cookie1));

    GWorldPtr second = nullptr;
    HYFrameCookie cookie2 = 0;
    int16_t volume2 = 0;
    const HYPluginType type = Params->getInfo.pluginType;
    if (type != kPluginTransitionAfterType && type != kPluginTransitionBeforeType && err == kPluginOK) {
        if (frame2 < 0 || frame2 > INT32_MAX) {
            gather(kPluginFailed);
        } else {
            const HYPluginResult got2 = Params->procs->GetFrame(Params->instance, int32_t(frame2), &second,
                                                                int16_t(width), int16_t(height), quality, &volume2,
                                                                &cookie2);
            if (got2 != kPluginOK) {
                gather(got2);
                second = nullptr;
            } else if (!second) {
                // A cookie without a buffer is still the host's to get back.
                gather(Params->procs->ReleaseFrame(Params->instance, cookie2));
                gather(kPluginCantGetNeededFrame);
            }
        }
    }

    if (second) {
        PixelLock secondLock(second);
        ApplyEffect(second, Params, Which);
        if (!Params->proxyOnly && err == kPluginOK) gather(Params->procs->MixAudio(Params->instance, cookie2, 256));
        secondLock.Restore();
        outLock.Restore();
        gather(Params->procs->ReleaseFrame(Params->instance, cookie2));
    } else {
        ApplyEffect(nullptr, Params, Which);
        outLock.Restore();
    }
    return finish(err);
}

HYPluginResult ApplyEffect(GWorldPtr SourceFrame, HYPluginParams* Params, int16_t Which) {
    ApplyLineArtEffect(SourceFrame, Params->frame, Params, Which);
    return kPluginOK;
}

void ApplyLineArtEffect(GWorldPtr SourceFrame, GWorldPtr TargetFrame, HYPluginParams* Params, int16_t Which) {
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    SetGWorld(TargetFrame, nullptr);
    auto* data = static_cast<EffectData*>(Params->clientData);
    DoEffect(data ? data->configData : nullptr, Params, SourceFrame, TargetFrame, Params->renderFrame,
             data ? data->fadeInFrames : 0, data ? data->fadeOutFrames : 0, Params->frameCount, Which);
    SetGWorld(savePort, saveDevice);
}

int16_t GetFrameIntoGW(GWorldPtr TheGW, HYPluginParams* Params, int32_t FrameIndex, int16_t DisposeAfterUse) {
    const Rect target = GetPortRect(TheGW);
    int32_t width, height;
    GetDims(target, width, height);
    const int64_t index = int64_t(FrameIndex) + Params->startFrame;
    if (index < 0 || index > INT32_MAX) return -1;
    GWorldPtr fetched = nullptr;
    int16_t volume = 0;
    HYFrameCookie cookie = 0;
    HYPluginResult result = Params->procs->GetFrame(Params->instance, int32_t(index), &fetched, int16_t(width),
                                                    int16_t(height), QualityFor(Params, height), &volume, &cookie);
    if (result == kPluginOK && !fetched) {
        // A cookie without a buffer is still the host's to get back; the frame counts as not got.
        Params->procs->ReleaseFrame(Params->instance, cookie);
        return kPluginCantGetNeededFrame;
    }
    if (fetched) {
        PixelLock fetchedLock(fetched), outLock(Params->frame);
        const Rect source = GetPortRect(fetched);
        CopyBits(GetPortBitMapForCopyBits(fetched), GetPortBitMapForCopyBits(TheGW), &source, &target, srcCopy,
                 nullptr);
        fetchedLock.Restore();
        outLock.Restore();
        result = Params->procs->ReleaseFrame(Params->instance, cookie);
        // The host owns its frames; our own buffers are the only ones to dispose of here.
        (void)DisposeAfterUse;
    }
    return result;
}
