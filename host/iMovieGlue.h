// One frame of a run: fetches the source frames from the host, puts clip A's frame (before the
// first clip, clip B's) into the host's output frame, mixes the audio and lets the engine compose
// the transition in place. Frames fetched from the host are always handed back before returning.
#pragma once
#include <cstdint>

#include "host/HYPluginRecords.h"

HYPluginResult TransitionFade(HYPluginParams* Params, int16_t Which);
HYPluginResult ApplyEffect(GWorldPtr SourceFrame, HYPluginParams* Params, int16_t Which);
void ApplyLineArtEffect(GWorldPtr SourceFrame, GWorldPtr TargetFrame, HYPluginParams* Params, int16_t Which);
// Copies host frame FrameIndex (relative to startFrame) into TheGW at TheGW's size. Returns the
// last host call's result, -1 for a frame before the start of the host's timeline, or
// kPluginCantGetNeededFrame when the host answers OK without a frame (its cookie is given back).
int16_t GetFrameIntoGW(GWorldPtr TheGW, HYPluginParams* Params, int32_t FrameIndex, int16_t DisposeAfterUse);

// Audio level of the outgoing (clip A) picture at a progress of percent, 0..1: falling from the
// volume to 0. The incoming clip of the before-type rises instead.
int16_t FadingLevel(int16_t volume, double percent, bool rising);
