#include "dialog/carbonmacros.h"

std::string CommandID2Str(uint32_t CommandID) {
    return std::string{char(CommandID >> 24), char(CommandID >> 16), char(CommandID >> 8), char(CommandID)};
}

ControlRef SimpleGetControlByID(WindowRef TheWindow, OSType TheSig, int16_t TheID) {
    const ControlID id{TheSig, TheID};
    ControlRef control = nullptr;
    return GetControlByID(TheWindow, &id, &control) == noErr ? control : nullptr;
}

Rect GetControlBox(ControlRef TheControl) {
    Rect bounds;
    return *GetControlBounds(TheControl, &bounds);
}

void SimpleSetControlText(WindowRef TheWindow, OSType TheSig, int16_t TheID, std::string_view TheText) {
    if (ControlRef control = SimpleGetControlByID(TheWindow, TheSig, TheID)) {
        SetControlData(control, 0, kControlStaticTextTextTag, Size(TheText.size()), TheText.data());
        Draw1Control(control);
    }
}

void SimpleShowControl(WindowRef TheWindow, OSType TheSig, int16_t TheID) {
    if (ControlRef control = SimpleGetControlByID(TheWindow, TheSig, TheID)) ShowControl(control);
}

void SimpleHideControl(WindowRef TheWindow, OSType TheSig, int16_t TheID) {
    if (ControlRef control = SimpleGetControlByID(TheWindow, TheSig, TheID)) HideControl(control);
}

int32_t SimpleGetControlValueByID(WindowRef TheWindow, OSType TheSig, int16_t TheID) {
    ControlRef control = SimpleGetControlByID(TheWindow, TheSig, TheID);
    return control ? GetControl32BitValue(control) : 0;
}

void SimpleSetControlValueByID(WindowRef TheWindow, OSType TheSig, int16_t TheID, int32_t TheVal) {
    if (ControlRef control = SimpleGetControlByID(TheWindow, TheSig, TheID)) SetControl32BitValue(control, TheVal);
}

ControlRef EventControl(EventRef TheEvent) {
    ControlRef control = nullptr;
    GetEventParameter(TheEvent, kEventParamDirectObject, typeControlRef, nullptr, sizeof control, nullptr, &control);
    return control;
}

Point EventMouse(EventRef TheEvent) {
    Point where{};
    GetEventParameter(TheEvent, kEventParamMouseLocation, typeQDPoint, nullptr, sizeof where, nullptr, &where);
    return where;
}

uint32_t EventModifiers(EventRef TheEvent) {
    uint32_t modifiers = 0;
    GetEventParameter(TheEvent, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof modifiers, nullptr, &modifiers);
    return modifiers;
}

void AnswerPart(EventRef TheEvent, ControlPartCode ThePart) {
    SetEventParameter(TheEvent, kEventParamControlPart, typeControlPartCode, sizeof ThePart, &ThePart);
}

std::string EventCommandText(EventRef TheEvent) {
    HICommand command{};
    GetEventParameter(TheEvent, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
    return CommandID2Str(command.commandID);
}
