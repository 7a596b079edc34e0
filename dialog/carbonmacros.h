// Controls addressed by signature and ID as the window definitions name them, and the text of a
// command code. Every lookup answers quietly when the control is missing.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/HIToolbox.h"

// The four characters of a command code, most significant byte first, none filtered.
std::string CommandID2Str(uint32_t CommandID);
ControlRef SimpleGetControlByID(WindowRef TheWindow, OSType TheSig, int16_t TheID);
// Bounds in window coordinates.
Rect GetControlBox(ControlRef TheControl);
// Sets the text of a caption and redraws it at once.
void SimpleSetControlText(WindowRef TheWindow, OSType TheSig, int16_t TheID, std::string_view TheText);
void SimpleShowControl(WindowRef TheWindow, OSType TheSig, int16_t TheID);
void SimpleHideControl(WindowRef TheWindow, OSType TheSig, int16_t TheID);
int32_t SimpleGetControlValueByID(WindowRef TheWindow, OSType TheSig, int16_t TheID);
void SimpleSetControlValueByID(WindowRef TheWindow, OSType TheSig, int16_t TheID, int32_t TheVal);

// The parameters a control's class handler reads and answers: the control, the mouse position,
// the modifier keys, and the part code a hit test answers.
ControlRef EventControl(EventRef TheEvent);
Point EventMouse(EventRef TheEvent);
uint32_t EventModifiers(EventRef TheEvent);
void AnswerPart(EventRef TheEvent, ControlPartCode ThePart);
// The four characters of a command event's command code.
std::string EventCommandText(EventRef TheEvent);
