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
