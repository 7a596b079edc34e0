// The drive layer of frame composition: picks the configuration and frame numbers for a run's
// frame or the dialog's preview and hands them to ThePixelEffect.
#pragma once
#include <cstdint>

#include "host/PluginDefines.h"

// Once-per-run hook, before the first frame and whenever the dialog lays out the field again.
void InitPixelEffect(PluginDataPtr theConfig, int32_t MaxFrame, int16_t Wid, int16_t Hig);
void DoPixelEffect(GWorldPtr Source, GWorldPtr Dest, PluginDataPtr theConfig, int32_t CurrentFrameIndex,
                   int32_t MaxFrames);
// The dialog's preview: the workspace's configuration and preview position.
void CallPixelEffect(GWorldPtr Source, GWorldPtr Dest);
void PixelDrive(GWorldPtr Source, GWorldPtr Dest, Rect TheRect, PluginDataPtr theConfig, int32_t CurrentFrame,
                int32_t NumFrames);
