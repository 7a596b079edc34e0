// The dialog's parameter sliders and clip slider, tracked live, and the two preview redraws every
// other part of the dialog calls. Works on gConfigWorkSpace and the record it points to.
#pragma once
#include <cstdint>

#include "host/PluginDefines.h"
#include "platform/HIToolbox.h"

// How the preview asks the host for a frame (the frame driver's GetFrameIntoGW): FrameIndex is
// relative to the host record's startFrame. Set by whoever opens the dialog.
typedef int16_t (*PreviewFrameFetch)(GWorldPtr TheGW, void* Params, int32_t FrameIndex, int16_t DisposeAfterUse);
void SetPreviewFrameFetch(PreviewFrameFetch Fetch);

void SetupSliders(WindowRef TheWindow);
void Slider1Action(ControlRef TheControl, ControlPartCode ThePart);
void Slider2Action(ControlRef TheControl, ControlPartCode ThePart);
void Slider3Action(ControlRef TheControl, ControlPartCode ThePart);
void Slider4Action(ControlRef TheControl, ControlPartCode ThePart);
void Slider5Action(ControlRef TheControl, ControlPartCode ThePart);
void Slider6Action(ControlRef TheControl, ControlPartCode ThePart);
void ClipSliderAction(ControlRef TheControl, ControlPartCode ThePart);
// Lays the preview's tiles out again for the record as it stands. The layout may change the record
// under the sliders (the spirals make the grid square and odd): they and their captions follow.
void LayOutPreviewTiles();
// Sets sliders 1 to 3, and the captions of those that change, to the record's values.
void ShowRecordSliders();
// Renders the current preview frame again with the current settings and shows it.
void ReRenderAndBlit();
// Fetches preview frame TheVal from the host (clip B's too between two clips), then renders.
void AccessRenderAndBlit(int32_t TheVal);
// "5/29": the preview position and the last one.
void ShowClipPosition(WindowRef TheWindow, int32_t TheVal);
