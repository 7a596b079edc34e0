// The modal configuration dialog: edits the record gConfigWorkSpace was filled for, in place, with
// the preview re-rendered after every change. OK keeps the edits and saves them as the user's
// default; Cancel (or a window that cannot be opened) puts the record back as it was.
#pragma once
#include "host/PluginDefines.h"
#include "platform/HIToolbox.h"

// False when no window could be opened at all: the user never saw the dialog.
Boolean DoConfig(PluginDataPtr TheConfig);
void SetupDialog(WindowRef TheWindow, PluginDataPtr TheConfig);
void SetupColors(WindowRef TheWindow, PluginDataPtr TheConfig);
void Config2Dlg(PluginDataPtr TheConfig);
OSStatus TheDialogHandler(EventHandlerCallRef NextHandler, EventRef TheEvent, void* UserData);
// The window for a media type: "configNTSC", "configPAL" or "configHD".
const char* ConfigWindowName(int16_t MediaType);
