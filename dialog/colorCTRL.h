// The colour box control: shows one packed colour (0x00RRGGBB); a click opens the colour picker and
// the box's command then goes to the window.
#pragma once
#include <string_view>

#include "platform/HIToolbox.h"

inline constexpr const char* cColorBoxClassID = "com.qvz.clipfxpk.color";

void RegisterColorBox();
void UnregisterColorBox();
OSStatus ColorBoxControlHandler(EventHandlerCallRef NextHandler, EventRef TheEvent, void* UserData);
void ColorBoxDraw(Rect TheRect, RGBColor TheColor);
// True, with OutColor set, only when the user chose a colour.
Boolean UseColorPicker(Point Where, std::string_view Prompt, RGBColor InColor, RGBColor& OutColor);
