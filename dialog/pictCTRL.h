// The picture box control: a picture scaled to fit and centred, or an empty white box, framed in
// black. A control's value cannot hold an image reference here, so the image is kept beside the
// control and the value says whether there is one.
#pragma once
#include "platform/CoreGraphicsFwd.h"
#include "platform/HIToolbox.h"

inline constexpr const char* cPictureControlClassID = "com.qvz.clipfxpk.imageCTRL";

void RegisterPictureControl();
void UnregisterPictureControl();
OSStatus PictureControlHandler(EventHandlerCallRef NextHandler, EventRef TheEvent, void* UserData);
// Shows TheImage (none: the empty box). The caller keeps the image alive while it is shown.
void SetPictureControlImage(ControlRef TheControl, CGImageRef TheImage);
