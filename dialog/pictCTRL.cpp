#include "dialog/pictCTRL.h"

#include <map>

#include "dialog/carbonmacros.h"
#include "imaging/CGglue.h"
#include "imaging/commonprocs.h"

namespace {
ControlClassRef lgPictureControlClassRef = nullptr;
std::map<ControlRef, CGImageRef> lgImages;

constexpr EventTypeSpec lgEvents[] = {
    {kEventClassControl, kEventControlDraw},
    {kEventClassControl, kEventControlHitTest},
    {kEventClassControl, kEventControlHit},
};

void Draw(ControlRef control) {
    WindowRef window = GetControlOwner(control);
    CGrafPtr port = GetWindowPort(window);
    if (!port) return;
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    SetGWorld(port, nullptr);
    const uint16_t hilite = GetControlHilite(control);
    if (hilite != kControlInactivePart && hilite != kControlDisabledPart) {
        constexpr RGBColor white = {65535, 65535, 65535}, black = {0, 0, 0};
        const Rect bounds = GetControlBox(control);
        RGBBackColor(&white);
        EraseRect(&bounds);
        auto image = lgImages.find(control);
        if (GetControl32BitValue(control) && image != lgImages.end() && image->second) {
            Rect fitted = CalcProportionalImageForFrame(image->second, bounds);
            CenterRectInRect(fitted, bounds);
            DrawCGImageInQDRect(port, image->second, fitted, 0, false);
        }
        RGBForeColor(&black);
        FrameRect(&bounds);
        if (hilite != 0) InvertRect(&bounds);
    }
    SetGWorld(savePort, saveDevice);
}
}  // namespace

void SetPictureControlImage(ControlRef TheControl, CGImageRef TheImage) {
    if (!TheControl) return;
    lgImages[TheControl] = TheImage;
    SetControl32BitValue(TheControl, TheImage ? 1 : 0);
    Draw1Control(TheControl);
}

OSStatus PictureControlHandler(EventHandlerCallRef, EventRef TheEvent, void*) {
    ControlRef control = EventControl(TheEvent);
    switch (GetEventKind(TheEvent)) {
        case kEventControlDraw:
            Draw(control);
            return noErr;
        case kEventControlHitTest: {
            const Point where = EventMouse(TheEvent);
            const Rect bounds = GetControlBox(control);
            AnswerPart(TheEvent, PtInRect(where, &bounds) ? 1 : 0);
            return noErr;
        }
        case kEventControlHit:
            (void)GetControl32BitValue(control);
            return eventNotHandledErr;
        default:
            return eventNotHandledErr;
    }
}

void RegisterPictureControl() {
    RegisterControlClass(cPictureControlClassID, uint32_t(std::size(lgEvents)), lgEvents, PictureControlHandler,
                         &lgPictureControlClassRef);
}

void UnregisterPictureControl() {
    if (!lgPictureControlClassRef) return;
    UnregisterControlClass(lgPictureControlClassRef);
    lgPictureControlClassRef = nullptr;
    lgImages.clear();
}
