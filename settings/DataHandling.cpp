#include "settings/DataHandling.h"

#include <cmath>

#include "engine/fixedrandom.h"
#include "engine/relrects.h"
#include "imaging/commonprocs.h"
#include "platform/Memory.h"
#include "platform/PascalStrings.h"

namespace {
constexpr RGBColor kBlack = {0, 0, 0}, kWhite = {65535, 65535, 65535};
constexpr RGBColor kBlue = {0, 0, 65535}, kRed = {65535, 0, 0};

bool IsFinite(const RelRect& r) {
    return std::isfinite(r.Left) && std::isfinite(r.Right) && std::isfinite(r.Top) && std::isfinite(r.Bottom);
}
}  // namespace

void ResetConfig(PluginDataPtr TheConfig, Boolean FullInit) {
    if (!TheConfig) return;
    InitRelRect(TheConfig->StartRel);
    InitRelRect(TheConfig->EndRel);
    TheConfig->Colors[1] = kBlue;
    TheConfig->Colors[2] = kWhite;
    for (int i = 3; i <= 6; i++) TheConfig->Colors[i] = kBlack;
    for (int i = 1; i <= 6; i++) TheConfig->Sliders[i] = i <= 3 ? 50 : 0;
    TheConfig->FrameStartColor = kRed;
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
