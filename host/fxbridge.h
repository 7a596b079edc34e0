// The configuration blocks the host holds for the plug-in: creation and initialisation of the
// master configuration. The host allocates the block; the plug-in owns what the record points to.
#pragma once
#include <cstdint>

#include "host/PluginDefines.h"

// Initialises the master configuration once: asserts the block, creates the preferences file when
// it is missing, then InitPluginData.
void InitMyPlugIn(PluginDataPtr& TheData);
// Factory defaults (with a new tile field and random table), overlaid by the user's saved
// default, which is then written back. The results of the read and the write are not needed.
void InitPluginData(PluginDataPtr TheConfig);

// --- Configuration blocks and the run's frame composition ---
// Size of one configuration block, as the host allocates it.
void pGetConfigSize(uint32_t& TheSize);
// Copies Source into Dest: Dest gets its own tile field and its own copy of the prepared picture,
// and never the original picture. Blocks of different recorded sizes stop the process.
void pCopyConfig(PluginDataPtr Source, PluginDataPtr Dest);
// Configuration blocks come from the host's allocator, which need not keep a block's size (plain
// calloc does not): the size each block was allocated at is recorded here for pCopyConfig. A
// block never recorded counts as size 0. Forget a block before it is freed.
void RecordConfigBlock(PluginDataPtr Block, uint32_t Size);
void ForgetConfigBlock(PluginDataPtr Block);
uint32_t RecordedConfigSize(PluginDataPtr Block);
// Releases what a copy owns (prepared picture, tile field); the caller frees the block.
void pUncopyConfig(PluginDataPtr TheData);
int16_t GetMediaFormat(PluginDataPtr TheData);
void pNewConfig(PluginDataPtr& TheData);
void pDestroyConfig(PluginDataPtr AConfig);
// Composes one frame of a run into TheTarget (which holds the first clip's frame); TheSource is
// clip B's frame between two clips and none otherwise. Params is the host's parameter record; the
// first frame its run renders, whatever its index, lays out the tile field (without a run record,
// frame 0 does).
void DoEffect(PluginDataPtr MyConfig, void* Params, GWorldPtr TheSource, GWorldPtr TheTarget,
              int32_t CurrentFrameIndex, int32_t FadeInFrames, int32_t FadeOutFrames, int32_t TotalFrames,
              int16_t TransitionSelector);
// Opens the configuration dialog on TheData (the master configuration) with clip A's frame in TheGW
// (the preview's size), the host's record of the custom-button call, the host frame index of the
// first previewed frame and the transition's length. Returns when the user closes the dialog;
// false when its window could not be opened (the record is then as it was).
Boolean ConfigurePlugIn(PluginDataPtr TheData, GWorldPtr TheGW, void* Params, int32_t FirstFrameIndex,
                        int32_t NumberOfFrames, int16_t Which);
