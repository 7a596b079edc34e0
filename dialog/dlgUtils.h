// Editing the active rectangle on the dialog's preview: the rectangle being edited (StartRel of the
// record the dialog workspace points to), its handles, the move and resize rules with the shift
// (keep the starting proportions) and option (about the centre) keys, and the proportion lock.
// Pixel rectangles are in the coordinates of the port drawn into.
#pragma once
#include <cstdint>

#include "host/PluginDefines.h"
#include "platform/HIToolbox.h"

// Handle numbers, also the clip preview's part codes.
enum : int16_t { cNoHandle = 0,
                 cTopLeft = 1,
                 cTopRight = 2,
                 cBottomLeft = 3,
                 cBottomRight = 4,
                 cInsideRect = 5 };

RelRect GetCurrentRel();
void PutCurrentRel(RelRect TheRel);
// The current rectangle in pixels of TheGW's bounds; (0, 0, 0, 0) without a buffer.
Rect GetActiveRelAsRect(GrafPtr TheGW);
int16_t IsHandleHit(Rect TheRect, Point TheLoc);
void DrawHandles(Rect TheRect, RGBColor TheColor);
// The rendered preview scaled into DestRect of the current port, the rectangle and its handles.
void DrawFrameContents(WindowRef TheWindow, Rect DestRect);
void DragRect(Rect& TheRect, Point OldLoc, Point NewLoc, uint32_t Modifiers);
void DragCorner(int16_t TheHandle, Rect& TheRect, Point OldLoc, Point NewLoc, uint32_t Modifiers, Rect TheFrame,
                RelRect OrigRel);
void KeepImageProps(Rect& TheRect);
void CalcAndKeepImageProps();
