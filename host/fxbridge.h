// The configuration blocks the host holds for the plug-in: creation and initialisation of the
// master configuration. The host allocates the block; the plug-in owns what the record points to.
#pragma once
#include "host/PluginDefines.h"

// Initialises the master configuration once: asserts the block, creates the preferences file when
// it is missing, then InitPluginData.
void InitMyPlugIn(PluginDataPtr& TheData);
// Factory defaults (with a new tile field and random table), overlaid by the user's saved
// default, which is then written back. The results of the read and the write are not needed.
void InitPluginData(PluginDataPtr TheConfig);
