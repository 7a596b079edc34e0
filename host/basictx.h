// The entry point and the handlers of the host's selectors. Every request arrives at `main` with
// the variant (1 after the last clip, 2 before the first clip, 3 between two clips) and the host's
// parameter record; the first call of any kind creates the master configuration.
#pragma once
#include <cstdint>

#include "host/HYPluginRecords.h"

HYPluginResult EffectGetInfo(int16_t which, HYPluginParams* params);
void SetFilterParamInfo(int16_t which, HYPluginParams* params);
HYPluginResult EffectBegin(int16_t which, HYPluginParams* params);
HYPluginResult EffectDrive(int16_t which, HYPluginParams* params);
HYPluginResult EffectEnd(int16_t which, HYPluginParams* params);
HYPluginResult MakeEffectPlaceHolder(int16_t which, HYPluginParams* params);
HYPluginResult CustomButton(int16_t which, HYPluginParams* params);

// Frames of a transition at a host speed of 0..1: 10 + speed x 110 in single precision, truncated,
// made even. Speeds outside 0..1 (or not a number) are taken as the nearest end.
int32_t FramesForSpeed(float speed);
