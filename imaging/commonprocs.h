// Small operations every subsystem leans on: failure reporting (assertions, fatal stops,
// notifications), creation and filling of 32-bit off-screen buffers, proportional rectangle
// fitting, colour packing and number-to-text. Buffers made here belong to the caller.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "imaging/pixellib.h"
#include "platform/Files.h"
#include "platform/HIToolbox.h"
#include "platform/QuickDraw.h"

// --- Reporting ---
// A failed assertion shows the stop alert "Assertion Failure" / "Assertion failed in: " + FailLocation
// and ends the process.
void Assert(const void* ThePtr, std::string_view FailLocation);
[[noreturn]] void Terminate(std::string_view Headline, std::string_view Description);
void Notify(std::string_view TheMessage);
int16_t StandardWarning(std::string_view Headline, std::string_view Description, std::string_view OkText,
                        std::string_view CancelText);
// Texts are at most 255 characters: a longer concatenation is cut.
std::string Concat255(std::string_view a, std::string_view b);

// --- Off-screen buffers (32 bits a pixel, origin (0, 0)) ---
GWorldPtr AllocateGWorld(int16_t Wid, int16_t Hig);
GWorldPtr AllocateRectGWorld(Rect TheRect);
void LockGWorld(GWorldPtr TheGW);
void ClearGW(GWorldPtr TheGW, RGBColor TheColor);
void Source2Target(GWorldPtr TheSource, GWorldPtr TheTarget);
// Draws the picture into TheRect of TheGW (scaled), restoring the drawing target; nothing when
// either is absent.
void DrawPictureInGW(GWorldPtr TheGW, PicHandle TheP, Rect TheRect);
Rect GetPortRect(CGrafPtr ThePort);
Rect CarbonGetPortBounds(CGrafPtr ThePort);

// --- Geometry ---
void GetDims(Rect TheRect, int32_t& Wid, int32_t& Hig);
Rect KeepPropsWithFixedHorizontal(Rect InOriginal, Rect InNewSize);
Rect KeepPropsWithFixedVertical(Rect InOriginal, Rect InNewSize);
Rect CalcProportionalRectForFrame(Rect InRect, Rect InFrame);
void CenterRectInRect(Rect& TheRect, Rect TheBounds);

// --- Colours, numbers, text ---
RGBColor SetRGBColor(int16_t R, int16_t G, int16_t B);
PixRec LongInt2PixRec(int32_t L);
int32_t PixRec2LongInt(PixRec P);
int32_t RGBColor2LongInt(RGBColor TheColor);
RGBColor LongInt2RGBColor(int32_t L);
std::string Num2Text(int32_t TheNum);
void SwapInt(int16_t& I1, int16_t& I2);
int32_t Max(int32_t A, int32_t B);
double RandomPercent();

// --- File references ---
// The file specification of a reference (fnfErr, with the specification filled, for a file not yet
// there; bdNamErr for a name longer than 63 characters), and the reference of an existing file.
OSErr FSRef2FSSpec(const FSRef& TheRef, FSSpec& TheSpec);
OSErr FSSpec2FSRef(const FSSpec& TheSpec, FSRef& TheRef);

// --- Windows ---
// Window TheWindow from the interface file TheNib (empty: the plug-in's short name) of the bundle
// TheIdentifier; none when the file or the window cannot be opened, so the caller can carry on as
// if the user had cancelled (the host's process is never ended for a missing window).
WindowRef OpenNibWindowFromCFBundle(const char* TheIdentifier, const char* TheNib, const char* TheWindow);
