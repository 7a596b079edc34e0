#include "host/basictx.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "dialog/configdlghandler.h"
#include "engine/pixeleffect.h"
#include "host/PluginDefines.h"
#include "host/fxbridge.h"
#include "host/iMovieGlue.h"
#include "platform/Bundle.h"
#include "platform/HIToolbox.h"

namespace {
// Stores a length-prefixed text as zero-terminated text within a field of `capacity` bytes.
void StoreText(const unsigned char* pstr, char* field, size_t capacity) {
    const size_t n = std::min<size_t>(pstr[0], capacity - 1);
    std::memcpy(field, pstr + 1, n);
    field[n] = 0;
}

void StoreIndString(int16_t listID, int16_t index, char* field, size_t capacity) {
    Str255 text;
    GetIndString(text, listID, index);
    StoreText(text, field, capacity);
}

// Releases a run's records: the configuration copy's own parts, the copy and the run record.
void ReleaseRun(HYPluginParams* params) {
    auto* data = static_cast<EffectData*>(params->clientData);
    if (!data) return;
    if (data->configData) {
        pUncopyConfig(data->configData);
        ForgetConfigBlock(data->configData);
        params->procs->DisposePtr(reinterpret_cast<Ptr>(data->configData));
    }
    params->procs->DisposePtr(reinterpret_cast<Ptr>(data));
    params->clientData = nullptr;
}

// The one-time work of the first call of any kind: the master configuration and our bundle.
void InitOnFirstCall(HYPluginParams* params) {
    if (!gConfigInited) {
        gConfigInited = true;
        gMyBundle = CFBundleGetBundleWithIdentifier(cMyBundleID);
        if (gMyBundle) CFBundleOpenBundleResourceMap(gMyBundle);
    }
    if (!gConfigData) {
        uint32_t size = 0;
        pGetConfigSize(size);
        gConfigData = reinterpret_cast<PluginDataPtr>(params->procs->NewPtrClear(int32_t(size)));
        RecordConfigBlock(gConfigData, size);
        InitMyPlugIn(gConfigData);
    }
}

int32_t Dispatch(int32_t which32, HYPluginParams* params) {
    if (!params) return kPluginBadParams;
    if (params->interfaceVersion <= 3) return kPluginAppIsTooOld;
    if (!params->procs) return kPluginBadParams;
    InitOnFirstCall(params);
    const int16_t which = int16_t(which32 & 0xFFFF);
    switch (params->selector) {
        case kPlugGetInfo: return EffectGetInfo(which, params);
        case kPlugInitialize: return EffectBegin(which, params);
        case kPlugFilePlaceHolder: return MakeEffectPlaceHolder(which, params);
        case kPlugDoFrame: return EffectDrive(which, params);
        case kPlugTerminate: return EffectEnd(which, params);
        case kPlugCustomButtonClick: return CustomButton(which, params);
        default: return kPluginOK;
    }
}
}  // namespace

// The bundle's one exported symbol. The assembler label gives it the C name `main` without
// declaring a C++ function of that name; nothing thrown below may cross into the host.
__attribute__((visibility("default"))) int32_t PluginMain(int32_t which, HYPluginParams* params) __asm__("main");
int32_t PluginMain(int32_t which, HYPluginParams* params) {
    try {
        return Dispatch(which, params);
    } catch (...) {
        return kPluginFailed;
    }
}

int32_t FramesForSpeed(float speed) {
    if (!(speed >= 0.0f)) speed = 0.0f;  // also catches NaN
    if (speed > 1.0f) speed = 1.0f;
    const float frames = 10.0f + speed * 110.0f;
    int32_t n = int32_t(frames);
    if (n % 2 != 0) n++;
    return n;
}

HYPluginResult EffectGetInfo(int16_t which, HYPluginParams* params) {
    HYPluginTransitionInfo* info = nullptr;
    const HYPluginResult got = params->procs->GetTransitionInfo(params->instance, &info);
    if (got != kPluginOK || !info) return got;
    HYPluginGetInfo& gi = params->getInfo;
    gi.defaultFontSize = 0;
    const int32_t n = FramesForSpeed(info->speed);
    switch (which) {
        case 1:
            gi.pluginType = kPluginTransitionAfterType;
            gi.framesToBeRendered = n;
            gi.takeFromClipBefore = n;
            gi.takeFromClipAfter = 0;
            break;
        case 2:
            gi.pluginType = kPluginTransitionBeforeType;
            gi.framesToBeRendered = n;
            gi.takeFromClipBefore = 0;
            gi.takeFromClipAfter = n;
            break;
        case 3:
            gi.pluginType = kPluginTransitionBetweenType;
            gi.framesToBeRendered = n;
            gi.takeFromClipBefore = n;
            gi.takeFromClipAfter = n;
            break;
        default:  // no variant of ours: described as between clips, frame count left to the host
            gi.pluginType = kPluginTransitionBetweenType;
            gi.takeFromClipBefore = n / 2;
            gi.takeFromClipAfter = n / 2;
            break;
    }
    gi.minSpeedFrames = 10;
    gi.maxSpeedFrames = 120;
    SetFilterParamInfo(which, params);
    gi.mustTakeFromSingleClips = true;
    gi.defaultDirection = kPluginDirectionRight;
    gi.pluginFlags = 4103;
    return params->procs->ReleaseTransitionInfo(params->instance, info);
}

void SetFilterParamInfo(int16_t, HYPluginParams* params) {
    for (int i = 0; i < 3; i++) {
        HYPluginFilterSliderInfo& slider = params->getInfo2.filterSliders[i];
        slider.defaultValue = 0.5f;
        StoreIndString(128, int16_t(i + 1), slider.label, sizeof slider.label);
        StoreIndString(129, int16_t(2 * i + 1), slider.minLabel, sizeof slider.minLabel);
        StoreIndString(129, int16_t(2 * i + 2), slider.maxLabel, sizeof slider.maxLabel);
    }
    params->getInfo.pluginFlags |= 0x1000;
    StoreIndString(130, 1, params->getInfo3.buttonTitle, sizeof params->getInfo3.buttonTitle);
    StoreIndString(17000, 1, params->getInfo2.group, sizeof params->getInfo2.group);
}

HYPluginResult EffectBegin(int16_t, HYPluginParams* params) {
    // A run still held here would leak with its copy: release it before starting anew.
    ReleaseRun(params);
    auto* data = reinterpret_cast<EffectData*>(params->procs->NewPtrClear(sizeof(EffectData)));
    if (!data) return kPluginOutOfMemory;
    params->clientData = data;
    data->configData = nullptr;
    uint32_t size = 0;
    pGetConfigSize(size);
    data->configData = reinterpret_cast<PluginDataPtr>(params->procs->NewPtrClear(int32_t(size)));
    RecordConfigBlock(data->configData, size);
    pCopyConfig(gConfigData, data->configData);
    data->frameCount = 0;
    return kPluginOK;
}

HYPluginResult EffectDrive(int16_t which, HYPluginParams* params) {
    if (!params->clientData) return kPluginBadParams;
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    SetGWorld(params->frame, nullptr);
    HYPluginResult result = kPluginOK;
    if (which >= 1 && which <= 3) result = TransitionFade(params, which);
    SetGWorld(savePort, saveDevice);
    return result;
}

HYPluginResult EffectEnd(int16_t which, HYPluginParams* params) {
    HYPluginClipInfo clip;
    std::memset(&clip, 0, sizeof clip);
    // The clip's audio fades over the transition's length; written back only after a good read,
    // so the host never receives an uninitialised record.
    if (params->procs->GetClipInfo(params->instance, 1, &clip) == kPluginOK) {
        if (which == 1) {
            clip.fadeOut = true;
            clip.ver2.fadeOutFrames = params->frameCount;
        } else if (which == 2) {
            clip.fadeIn = true;
            clip.ver2.fadeInFrames = params->frameCount;
        }
        params->procs->SetClipInfo(params->instance, &clip);
    }
    ReleaseRun(params);
    // The frame-sized buffers the engine keeps from frame to frame go with the run.
    ReleasePixelEffectBuffers();
    return kPluginOK;
}

HYPluginResult MakeEffectPlaceHolder(int16_t which, HYPluginParams* params) {
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    SetGWorld(params->frame, nullptr);
    HYPluginParams copy = *params;
    copy.renderFrame = params->getInfo.bestThumbOffset;
    // The placeholder's run is its own: a run in progress in the host's record stays untouched.
    copy.clientData = nullptr;
    copy.selector = kPlugInitialize;
    const HYPluginResult begun = EffectBegin(which, &copy);
    if (begun == kPluginOK) {
        copy.selector = kPlugDoFrame;
        EffectDrive(which, &copy);
        copy.selector = kPlugTerminate;
        EffectEnd(which, &copy);
    }
    SetGWorld(savePort, saveDevice);
    return begun;
}

HYPluginResult CustomButton(int16_t which, HYPluginParams* params) {
    // Without windows the dialog cannot open: the button changes nothing, as a cancel would, and
    // the host hears that the dialog never showed.
    std::string why;
    if (!ToolboxAvailable(&why)) {
        std::fprintf(stderr, "%s: the configuration dialog cannot open: %s\n", cMyClearName, why.c_str());
        return kPluginFailed;
    }
    const int64_t first = int64_t(params->renderFrame) + gMostRecentStartFrame;
    int16_t width = 720, height = 480;
    switch (GetMediaFormat(gConfigData)) {
        case 2: height = 576; break;
        case 3: width = 960, height = 540; break;
        default: break;
    }
    GWorldPtr frame = nullptr;
    int16_t volume = 0;
    HYFrameCookie cookie = 0;
    HYPluginResult result = first < 0 || first > INT32_MAX
                                ? HYPluginResult(kPluginFailed)
                                : params->procs->GetFrame(params->instance, int32_t(first), &frame, width, height,
                                                          kDVHighQuality, &volume, &cookie);
    const bool handedOut = result == kPluginOK;  // the host gave a cookie, frame or not
    if (handedOut && frame &&
        !ConfigurePlugIn(gConfigData, frame, params, int32_t(first), gMostRecentFrameCount, which)) {
        std::fprintf(stderr,
                     "%s: the configuration dialog cannot open: its window \"%s\" is missing from the "
                     "interface file %s.ui, or the file is damaged\n",
                     cMyClearName,
                     ConfigWindowName(GetMediaFormat(gConfigData)), cMyPluginName);
        result = kPluginFailed;
    }
    if (handedOut) params->procs->ReleaseFrame(params->instance, cookie);
    // Without a frame there is nothing to preview: the dialog does not open and the host hears why.
    if (handedOut && !frame) result = kPluginCantGetNeededFrame;
    return result;
}
