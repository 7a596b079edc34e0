#include "dialog/colorCTRL.h"

#include <algorithm>
#include <cstring>

#include "dialog/carbonmacros.h"
#include "imaging/commonprocs.h"

namespace {
ControlClassRef lgColorBoxClassRef = nullptr;

constexpr EventTypeSpec lgEvents[] = {
    {kEventClassControl, kEventControlDraw},
    {kEventClassControl, kEventControlHitTest},
    {kEventClassControl, kEventControlHit},
};
}  // namespace

void ColorBoxDraw(Rect TheRect, RGBColor TheColor) {
    constexpr RGBColor black = {0, 0, 0};
    RGBForeColor(&TheColor);
    PaintRect(&TheRect);
    RGBForeColor(&black);
    FrameRect(&TheRect);
}

Boolean UseColorPicker(Point Where, std::string_view Prompt, RGBColor InColor, RGBColor& OutColor) {
    NColorPickerInfo info;
    std::memset(&info, 0, sizeof info);
    info.theColor.color = InColor;
    info.flags = 147;
    info.placeWhere = 0;
    info.dialogOrigin = Where;
    const size_t length = std::min<size_t>(Prompt.size(), 255);
    info.prompt[0] = uint8_t(length);
    std::memcpy(info.prompt + 1, Prompt.data(), length);
    if (NPickColor(&info) != noErr || !info.newColorChosen) return false;
    OutColor = info.theColor.color;
    return true;
}

OSStatus ColorBoxControlHandler(EventHandlerCallRef, EventRef TheEvent, void*) {
    ControlRef control = EventControl(TheEvent);
    const Rect bounds = GetControlBox(control);
    switch (GetEventKind(TheEvent)) {
        case kEventControlDraw: {
            CGrafPtr savePort;
            GDHandle saveDevice;
            GetGWorld(&savePort, &saveDevice);
            SetPortWindowPort(GetControlOwner(control));
            const uint16_t hilite = GetControlHilite(control);
            if (hilite == kControlInactivePart || hilite == kControlDisabledPart)
                EraseRect(&bounds);
            else
                ColorBoxDraw(bounds, LongInt2RGBColor(GetControl32BitValue(control)));
            SetGWorld(savePort, saveDevice);
            return noErr;
        }
        case kEventControlHitTest: {
            const Point where = EventMouse(TheEvent);
            AnswerPart(TheEvent, PtInRect(where, &bounds) ? 1 : 0);
            return noErr;
        }
        case kEventControlHit: {
            RGBColor chosen{};
            if (UseColorPicker(Point{0, 0}, "Please choose color:", LongInt2RGBColor(GetControl32BitValue(control)),
                               chosen))
                SetControl32BitValue(control, RGBColor2LongInt(chosen));
            return eventNotHandledErr;  // the platform then sends the box's command to the window
        }
        default:
            return eventNotHandledErr;
    }
}

void RegisterColorBox() {
    RegisterControlClass(cColorBoxClassID, uint32_t(std::size(lgEvents)), lgEvents, ColorBoxControlHandler,
                         &lgColorBoxClassRef);
}

void UnregisterColorBox() {
    if (lgColorBoxClassRef) UnregisterControlClass(lgColorBoxClassRef);
    lgColorBoxClassRef = nullptr;
}
