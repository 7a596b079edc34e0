// The About window: the display name and version, on top of the configuration dialog, until OK or
// Cancel closes it.
#pragma once
#include "platform/HIToolbox.h"

void ShowAbout();
OSStatus AboutDialogHandler(EventHandlerCallRef NextHandler, EventRef TheEvent, void* UserData);
