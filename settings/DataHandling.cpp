#include "settings/DataHandling.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "engine/fixedrandom.h"
#include "engine/relrects.h"
#include "imaging/commonprocs.h"
#include "platform/Memory.h"
#include "platform/PascalStrings.h"

namespace {
constexpr RGBColor cBlack = {0, 0, 0}, cWhite = {65535, 65535, 65535};
constexpr RGBColor cBlue = {0, 0, 65535}, cRed = {65535, 0, 0};

bool IsFinite(const RelRect& r) {
    return std::isfinite(r.Left) && std::isfinite(r.Right) && std::isfinite(r.Top) && std::isfinite(r.Bottom);
}

// The whole-number settings and their ranges, in the order they are named. A value outside goes
// to the nearer end, or to Instead when that is not 0 (a media type outside opens the NTSC window).
struct ConfigLimit {
    const char* Name;
    int16_t Lowest, Highest, Instead;
    int16_t& (*Field)(PluginDataRec& c);
};
const ConfigLimit cConfigLimits[] = {
    {"method", 1, cMethodCount, 0, [](PluginDataRec& c) -> int16_t& { return c.Method; }},
    {"columns", 1, cMaxRectHoriz, 0, [](PluginDataRec& c) -> int16_t& { return c.Sliders[1]; }},
    {"rows", 1, cMaxRectVert, 0, [](PluginDataRec& c) -> int16_t& { return c.Sliders[2]; }},
    {"duration", 0, 100, 0, [](PluginDataRec& c) -> int16_t& { return c.Sliders[3]; }},
    {"media", 1, 3, 1, [](PluginDataRec& c) -> int16_t& { return c.MediaType; }},
};

// Inside the frame, not empty and not inverted (a NaN edge fails every comparison).
bool IsUsable(const RelRect& r) {
    return r.Left >= 0 && r.Left < r.Right && r.Right <= 1 && r.Top >= 0 && r.Top < r.Bottom && r.Bottom <= 1;
}

std::string Decimal(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}
}  // namespace

std::string ConfigOutOfRange(const PluginDataRec& TheConfig) {
    PluginDataRec& c = const_cast<PluginDataRec&>(TheConfig);  // the fields are only read
    for (const ConfigLimit& limit : cConfigLimits) {
        const int16_t v = limit.Field(c);
        if (v < limit.Lowest || v > limit.Highest)
            return std::string(limit.Name) + " is " + std::to_string(v) + ", not " + std::to_string(limit.Lowest) +
                   ".." + std::to_string(limit.Highest);
    }
    const RelRect& r = TheConfig.StartRel;
    if (!IsUsable(r))
        return "rect is " + Decimal(r.Left) + "," + Decimal(r.Top) + "," + Decimal(r.Right) + "," + Decimal(r.Bottom) +
               ", not inside the frame with L < R and T < B";
    return {};
}

void ClampConfig(PluginDataPtr TheConfig) {
    if (!TheConfig) return;
    for (const ConfigLimit& limit : cConfigLimits) {
        int16_t& v = limit.Field(*TheConfig);
        if (v < limit.Lowest || v > limit.Highest)
            v = limit.Instead != 0 ? limit.Instead : std::clamp(v, limit.Lowest, limit.Highest);
    }
    RelRect& r = TheConfig->StartRel;
    if (IsUsable(r)) return;
    const auto held = [](double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0; };
    r = RelRect{held(r.Left), held(r.Right), held(r.Top), held(r.Bottom)};
    if (!IsUsable(r)) InitRelRect(r);
}

void ResetConfig(PluginDataPtr TheConfig, Boolean FullInit) {
    if (!TheConfig) return;
    InitRelRect(TheConfig->StartRel);
    InitRelRect(TheConfig->EndRel);
    TheConfig->Colors[1] = cBlue;
    TheConfig->Colors[2] = cWhite;
    for (int i = 3; i <= 6; i++) TheConfig->Colors[i] = cBlack;
    for (int i = 1; i <= 6; i++) TheConfig->Sliders[i] = i <= 3 ? 50 : 0;
    TheConfig->FrameStartColor = cRed;
    TheConfig->MediaType = 1;
    TheConfig->KeepProps = false;
    TheConfig->Method = 1;
    TheConfig->RandomizedDuration = true;
    if (FullInit) {
        TheConfig->TheOriginalImage = nullptr;
        TheConfig->TheRendered = nullptr;
        TheConfig->TheMask = nullptr;
        TheConfig->Rects = reinterpret_cast<RectFieldPtr>(NewPtrClear(sizeof(RectField)));
        Assert(TheConfig->Rects, "Cannot allocate theRects");
        FInitRandom();
    }
}

Boolean Config2Save(PluginDataPtr TheConfig, ConfigSaveHandle TheSaveConfig) {
    if (!TheConfig || !TheSaveConfig || !*TheSaveConfig) return false;
    if (GetHandleSize(reinterpret_cast<Handle>(TheSaveConfig)) < Size(sizeof(ConfigSaveRec))) return false;
    ConfigSaveRec& rec = **TheSaveConfig;
    rec.SizeInBytes = sizeof(ConfigSaveRec);
    rec.Version = cConfigSaveVersion;
    rec.StartRel = TheConfig->StartRel;
    rec.EndRel = TheConfig->EndRel;
    rec.Colors = TheConfig->Colors;
    rec.Sliders = TheConfig->Sliders;
    rec.FrameStartColor = TheConfig->FrameStartColor;
    rec.FrameEndColor = TheConfig->FrameEndColor;
    rec.MediaType = TheConfig->MediaType;
    rec.KeepProps = TheConfig->KeepProps != 0;
    rec.Method = TheConfig->Method;
    rec.RandomizedDuration = TheConfig->RandomizedDuration != 0;
    CopyToPStr(cConfigSaveLabel, rec.MiscString, 255);
    return true;
}

Boolean Save2Config(PluginDataPtr TheConfig, ConfigSaveHandle TheSaveConfig) {
    if (!TheConfig || !TheSaveConfig || !*TheSaveConfig) return false;
    // A longer block is read as its first 396 bytes; the header decides whether they are a record.
    if (GetHandleSize(reinterpret_cast<Handle>(TheSaveConfig)) < Size(sizeof(ConfigSaveRec))) return false;
    const ConfigSaveRec& rec = **TheSaveConfig;
    if (rec.SizeInBytes != sizeof(ConfigSaveRec) || rec.Version != uint32_t(cConfigSaveVersion)) return false;
    if (!IsFinite(rec.StartRel) || !IsFinite(rec.EndRel)) return false;
    TheConfig->StartRel = rec.StartRel;
    TheConfig->EndRel = rec.EndRel;
    TheConfig->Colors = rec.Colors;
    TheConfig->Sliders = rec.Sliders;
    TheConfig->FrameStartColor = rec.FrameStartColor;
    TheConfig->FrameEndColor = rec.FrameEndColor;
    TheConfig->MediaType = rec.MediaType;
    TheConfig->KeepProps = rec.KeepProps != 0;
    TheConfig->Method = rec.Method;
    TheConfig->RandomizedDuration = rec.RandomizedDuration != 0;
    return true;
}
