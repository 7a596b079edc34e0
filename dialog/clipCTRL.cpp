#include "dialog/clipCTRL.h"

#include "dialog/carbonmacros.h"
#include "dialog/dlgUtils.h"
#include "dialog/sliderHandlers.h"
#include "engine/relrects.h"
#include "imaging/commonprocs.h"

namespace {
ControlClassRef lgClipCtrlClassRef1 = nullptr;

constexpr EventTypeSpec lgEvents[] = {
    {kEventClassControl, kEventControlDraw},
    {kEventClassControl, kEventControlHitTest},
    {kEventClassControl, kEventControlHit},
    {kEventClassControl, kEventControlActivate},
    {kEventClassControl, kEventControlOwningWindowChanged},
    {kEventClassControl, kEventControlTrack},
};

bool Inactive(ControlRef control) {
    const uint16_t hilite = GetControlHilite(control);
    return hilite == kControlInactivePart || hilite == kControlDisabledPart;
}

void Track(ControlRef control, Point MouseLocation, uint32_t ModifierKeys) {
    PluginWorkSpace& ws = gConfigWorkSpace;
    const Rect ControlBounds = GetControlBox(control);
    ClipRect(&ControlBounds);
    Rect TestRect = Rel2Rect(ws.TheConfig->StartRel, ControlBounds);
    const Rect OrigRect = TestRect;
    const RelRect OrigRel = GetCurrentRel();
    const int16_t WhatPart = IsHandleHit(TestRect, MouseLocation);
    Point NewLoc = MouseLocation;
    MouseTrackingResult TrackingResult = 1;
    while (TrackingResult != kMouseTrackingMouseUp) {
        if (TrackingResult == kMouseTrackingMouseDragged && PtInRect(NewLoc, &ControlBounds) &&
            WhatPart >= cTopLeft && WhatPart <= cInsideRect) {
            if (WhatPart == cInsideRect) {
                // Each step moves by the movement since the last one.
                DragRect(TestRect, MouseLocation, NewLoc, ModifierKeys);
                MouseLocation = NewLoc;
            } else {
                // Each step starts again from the rectangle and position at the start of the drag.
                TestRect = OrigRect;
                DragCorner(WhatPart, TestRect, MouseLocation, NewLoc, ModifierKeys, ControlBounds, OrigRel);
            }
            // The tiles keep the layout of the earlier rectangle until a setting lays them out again.
            PutCurrentRel(Rect2Rel(TestRect, ControlBounds));
            ReRenderAndBlit();
            SetPortWindowPort(ws.TheWindow);
            ClipRect(&ControlBounds);
            DrawFrameContents(ws.TheWindow, ControlBounds);
            QDFlushControl(control);
        }
        if (TrackMouseLocation(GetWindowPort(ws.TheWindow), &NewLoc, &TrackingResult) != noErr) break;
    }
}
}  // namespace

OSStatus ClipCtrlControlHandler(EventHandlerCallRef, EventRef TheEvent, void*) {
    ControlRef control = EventControl(TheEvent);
    WindowRef window = gConfigWorkSpace.TheWindow;
    CGrafPtr savePort;
    GDHandle saveDevice;
    GetGWorld(&savePort, &saveDevice);
    SetPortWindowPort(window);
    const Rect bounds = GetControlBox(control);
    OSStatus status = noErr;
    switch (GetEventKind(TheEvent)) {
        case kEventControlDraw:
        case kEventControlActivate:
        case kEventControlOwningWindowChanged:
            if (!Inactive(control)) DrawFrameContents(window, bounds);
            break;
        case kEventControlHitTest: {
            const Point where = EventMouse(TheEvent);
            AnswerPart(TheEvent, PtInRect(where, &bounds)
                                     ? IsHandleHit(Rel2Rect(gConfigWorkSpace.TheConfig->StartRel, bounds), where)
                                     : ControlPartCode(0));
            break;
        }
        case kEventControlHit:
            (void)GetControl32BitValue(control);
            break;
        case kEventControlTrack:
            Track(control, EventMouse(TheEvent), EventModifiers(TheEvent));
            break;
        default:
            status = eventNotHandledErr;
    }
    if (CGrafPtr port = GetWindowPort(window)) {
        const Rect whole = GetPortRect(port);
        ClipRect(&whole);
    }
    SetGWorld(savePort, saveDevice);
    return status;
}

void RegisterClipCtrl() {
    RegisterControlClass(cClipCtrlClassID, uint32_t(std::size(lgEvents)), lgEvents, ClipCtrlControlHandler,
                         &lgClipCtrlClassRef1);
}

void UnregisterClipCtrl() {
    if (lgClipCtrlClassRef1) UnregisterControlClass(lgClipCtrlClassRef1);
    lgClipCtrlClassRef1 = nullptr;
}
