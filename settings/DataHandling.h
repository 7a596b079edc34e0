// Factory defaults of a configuration and the fixed 396-byte saved record of the user's default.
// The record is stored in the byte order of the machine that writes it and never swapped: a record
// of the other byte order fails the size check and is rejected like any stale one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "host/PluginDefines.h"

inline constexpr const char* cConfigSaveLabel = "Config save for qv/z iMovie plug-in";

#pragma pack(push, 4)  // doubles at 4-byte boundaries, as the record was laid out: 396, not 400
struct ConfigSaveRec {
    uint32_t SizeInBytes;          // always sizeof(ConfigSaveRec), 396
    uint32_t Version;              // always cConfigSaveVersion, 3
    RelRect StartRel;              // fractions of the frame
    RelRect EndRel;                // fractions of the frame
    OneBased<RGBColor, 6> Colors;  // 16-bit channels red, green, blue
    OneBased<int16_t, 6> Sliders;  // [1] columns, [2] rows, [3] duration percent
    RGBColor FrameStartColor;
    RGBColor FrameEndColor;
    int16_t MediaType;           // 1 NTSC, 2 PAL, 3 HD
    Boolean KeepProps;           // 0 or 1
    uint8_t Align1;              // 0
    int16_t Method;              // 1..cMethodCount
    Boolean RandomizedDuration;  // 0 or 1
    Str255 MiscString;           // length byte, cConfigSaveLabel, zeros
    uint8_t Align2;              // 0
};
#pragma pack(pop)
typedef ConfigSaveRec* ConfigSavePtr;
typedef ConfigSavePtr* ConfigSaveHandle;

static_assert(sizeof(ConfigSaveRec) == 396);
static_assert(offsetof(ConfigSaveRec, SizeInBytes) == 0);
static_assert(offsetof(ConfigSaveRec, Version) == 4);
static_assert(offsetof(ConfigSaveRec, StartRel) == 8);
static_assert(offsetof(ConfigSaveRec, EndRel) == 40);
static_assert(offsetof(ConfigSaveRec, Colors) == 72);
static_assert(offsetof(ConfigSaveRec, Sliders) == 108);
static_assert(offsetof(ConfigSaveRec, FrameStartColor) == 120);
static_assert(offsetof(ConfigSaveRec, FrameEndColor) == 126);
static_assert(offsetof(ConfigSaveRec, MediaType) == 132);
static_assert(offsetof(ConfigSaveRec, KeepProps) == 134);
static_assert(offsetof(ConfigSaveRec, Align1) == 135);
static_assert(offsetof(ConfigSaveRec, Method) == 136);
static_assert(offsetof(ConfigSaveRec, RandomizedDuration) == 138);
static_assert(offsetof(ConfigSaveRec, MiscString) == 139);
static_assert(offsetof(ConfigSaveRec, Align2) == 395);
static_assert(sizeof(RelRect) == 32 && sizeof(RGBColor) == 6 && sizeof(Boolean) == 1);

// Writes the factory defaults. With FullInit it also clears the picture and mask references,
// gives the record a new zero-filled tile field block (asserted) and refills the random table.
void ResetConfig(PluginDataPtr TheConfig, Boolean FullInit);
// Fills a zero-filled 396-byte record from the configuration; false when either is missing.
Boolean Config2Save(PluginDataPtr TheConfig, ConfigSaveHandle TheSaveConfig);
// The ranges of the settings the dialog shows and a render uses: columns and rows 1..100, tile
// duration 0..100 percent, method 1..cMethodCount, media type 1..3, and the active rectangle inside the
// frame with its left edge before its right and its top above its bottom. A saved record may hold
// anything (another program wrote it, or it was edited): these two keep it to them.
// The first setting outside its range, as "columns is 0, not 1..100"; empty when all are inside.
std::string ConfigOutOfRange(const PluginDataRec& TheConfig);
// Brings every setting inside its range: a number to the nearer end of it, a media type outside
// to 1 (NTSC), a rectangle to the frame, and one that is then empty to the whole frame. The dialog
// opens and the bundle renders with what this leaves.
void ClampConfig(PluginDataPtr TheConfig);
// Copies a saved record into the configuration: the first 396 bytes of the block count. False,
// changing nothing, when either is missing, the block is shorter than 396 bytes, SizeInBytes is
// not 396, Version is not 3 or a fraction of the two rectangles is not finite (no rendering or
// editing path can use an infinite or NaN edge).
Boolean Save2Config(PluginDataPtr TheConfig, ConfigSaveHandle TheSaveConfig);
