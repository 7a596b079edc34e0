// The clip preview control: draws the rendered preview with the active rectangle and its handles,
// answers which handle a point hits, and tracks drags that move the rectangle or one of its corners.
#pragma once
#include "platform/HIToolbox.h"

inline constexpr const char* cClipCtrlClassID = "com.qvz.clipfxpk.clip";

void RegisterClipCtrl();
void UnregisterClipCtrl();
OSStatus ClipCtrlControlHandler(EventHandlerCallRef NextHandler, EventRef TheEvent, void* UserData);
