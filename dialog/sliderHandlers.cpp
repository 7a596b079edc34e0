#include "dialog/sliderHandlers.h"

#include <algorithm>

#include "dialog/carbonmacros.h"
#include "dialog/dlgUtils.h"
#include "engine/callpixelfx.h"
#include "engine/lineEffect.h"
#include "engine/recthandler.h"
#include "imaging/commonprocs.h"

namespace {
PreviewFrameFetch lgFetch = nullptr;

constexpr ControlActionUPP lgSliderActions[7] = {nullptr, Slider1Action, Slider2Action, Slider3Action,
                                                 Slider4Action, Slider5Action, Slider6Action};
constexpr const char* lgSliderMissing[7] = {"",
                                            "Cannot access slider 1",
                                            "Cannot access slider 2",
                                            "Cannot access slider 3",
                                            "Cannot access slider 4",
                                            "Cannot access slider 5",
                                            "Cannot access slider 6"};

void ShowSliderValue(WindowRef TheWindow, int16_t i, int32_t TheVal) {
    SimpleSetControlText(TheWindow, FourCC("Lgnd"), i, Num2Text(TheVal) + "%");
}

bool IsSpiral(const PluginDataRec& TheConfig) { return TheConfig.Method == cSpiralOut || TheConfig.Method == cSpiralIn; }

// Slider i changed: store it, lay the tiles out again, caption what the record then holds, render.
// A spiral's grid is square and odd: either grid slider sets both, and a step down to an even
// count goes on to the odd one below (the layout would round it back up to where it came from).
void SliderChanged(int16_t i, ControlRef TheControl, bool WithLineArt) {
    PluginWorkSpace& ws = gConfigWorkSpace;
    PluginDataRec& config = *ws.TheConfig;
    int32_t value = std::clamp(GetControl32BitValue(TheControl), -32768, 32767);
    if ((i == 1 || i == 2) && IsSpiral(config)) {
        if (value % 2 == 0 && value < config.Sliders[i] && value > 1) value--;
        config.Sliders[3 - i] = int16_t(value);
    }
    config.Sliders[i] = int16_t(value);
    InitPixelEffect(ws.TheConfig, ws.MaxFrameIndex, int16_t(ws.Wid), int16_t(ws.Hig));
    LayOutPreviewTiles();
    ShowSliderValue(ws.TheWindow, i, config.Sliders[i]);
    if (WithLineArt) RenderLineArt(ws.TheConfig);
    ReRenderAndBlit();
}
}  // namespace

void LayOutPreviewTiles() {
    PluginWorkSpace& ws = gConfigWorkSpace;
    InitRectangles(ws.TheConfig, ws.MaxFrameIndex, GetActiveRelAsRect(ws.SourceClip));
    ShowRecordSliders();
}

void ShowRecordSliders() {
    PluginWorkSpace& ws = gConfigWorkSpace;
    for (int16_t i = 1; i <= 3; i++) {
        if (!ws.Sliders[i] || GetControl32BitValue(ws.Sliders[i]) == ws.TheConfig->Sliders[i]) continue;
        SetControl32BitValue(ws.Sliders[i], ws.TheConfig->Sliders[i]);
        ShowSliderValue(ws.TheWindow, i, ws.TheConfig->Sliders[i]);
    }
}

void SetPreviewFrameFetch(PreviewFrameFetch Fetch) { lgFetch = Fetch; }

void ShowClipPosition(WindowRef TheWindow, int32_t TheVal) {
    SimpleSetControlText(TheWindow, FourCC("ClpM"), 1,
                         Num2Text(TheVal) + "/" + Num2Text(gConfigWorkSpace.MaxFrameIndex));
}

void SetupSliders(WindowRef TheWindow) {
    PluginWorkSpace& ws = gConfigWorkSpace;
    for (int16_t i = 1; i <= 6; i++) {
        ControlRef slider = SimpleGetControlByID(TheWindow, FourCC("Sldr"), i);
        Assert(slider, lgSliderMissing[i]);
        ws.Sliders[i] = slider;
        if (i <= 3) {
            SetControlAction(slider, lgSliderActions[i]);
            SetControl32BitValue(slider, ws.TheConfig->Sliders[i]);
            ShowSliderValue(TheWindow, i, ws.TheConfig->Sliders[i]);
        } else {
            SimpleHideControl(TheWindow, FourCC("Sldr"), i);
            SimpleHideControl(TheWindow, FourCC("Lgnd"), i);
            SimpleHideControl(TheWindow, FourCC("Labl"), i);
        }
    }
    ws.ClipSlider = SimpleGetControlByID(TheWindow, FourCC("ClpS"), 1);
    Assert(ws.ClipSlider, "Cannot access clip slider");
    SetControlAction(ws.ClipSlider, ClipSliderAction);
    SetControl32BitMinimum(ws.ClipSlider, 0);
    SetControl32BitMaximum(ws.ClipSlider, ws.MaxFrameIndex);
    SetControl32BitValue(ws.ClipSlider, ws.CurrFrameIndex);
    ShowClipPosition(TheWindow, ws.CurrFrameIndex);
}

void Slider1Action(ControlRef TheControl, ControlPartCode) { SliderChanged(1, TheControl, true); }
void Slider2Action(ControlRef TheControl, ControlPartCode) { SliderChanged(2, TheControl, true); }
void Slider3Action(ControlRef TheControl, ControlPartCode) { SliderChanged(3, TheControl, true); }
void Slider4Action(ControlRef TheControl, ControlPartCode) { SliderChanged(4, TheControl, true); }
void Slider5Action(ControlRef TheControl, ControlPartCode) { SliderChanged(5, TheControl, false); }
void Slider6Action(ControlRef TheControl, ControlPartCode) { SliderChanged(6, TheControl, false); }

void ClipSliderAction(ControlRef TheControl, ControlPartCode) {
    PluginWorkSpace& ws = gConfigWorkSpace;
    const int32_t value = std::clamp(GetControl32BitValue(TheControl), 0, std::max(ws.MaxFrameIndex, 0));
    ws.CurrFrameIndex = value;
    ShowClipPosition(ws.TheWindow, value);
    AccessRenderAndBlit(value);
}

void AccessRenderAndBlit(int32_t TheVal) {
    PluginWorkSpace& ws = gConfigWorkSpace;
    if (lgFetch) {
        lgFetch(ws.SourceClip, ws.iMovieParams, ws.MinFrameIndex + TheVal, 1);
        // Clip B's frames follow the transition's (MaxFrameIndex + 1 of them), as when rendering
        // and as when the dialog opened.
        if (ws.TheConfig->Which == 3)
            lgFetch(ws.TheOtherClip, ws.iMovieParams, ws.MinFrameIndex + ws.MaxFrameIndex + 1 + TheVal, 1);
    }
    ReRenderAndBlit();
}

void ReRenderAndBlit() {
    PluginWorkSpace& ws = gConfigWorkSpace;
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    Source2Target(ws.SourceClip, ws.TheFXClip);
    CallPixelEffect(ws.TheConfig->Which == 3 ? ws.TheOtherClip : ws.SourceClip, ws.TheFXClip);
    // The preview control redraws whenever its value changes.
    SetControl32BitValue(ws.TheFrameCtrl, GetControl32BitValue(ws.TheFrameCtrl) ? 0 : 1);
    SetGWorld(savePort, saveDevice);
}
