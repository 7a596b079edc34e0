// Configuration records for the tests: allocated zero-filled as the host does, disposed with
// their tile field; and the saved record as raw bytes.
#pragma once
#include <cstring>
#include <memory>
#include <vector>

#include "host/PluginDefines.h"
#include "platform/Memory.h"
#include "settings/DataHandling.h"

struct ConfigBlock {
    PluginDataPtr P = reinterpret_cast<PluginDataPtr>(NewPtrClear(sizeof(PluginDataRec)));
    enum Start { Zero,
                 Defaults };  // Defaults: ResetConfig with a full init, tile field included
    explicit ConfigBlock(Start start = Zero) {
        if (start == Defaults) ResetConfig(P, true);
    }
    ConfigBlock(const ConfigBlock&) = delete;
    ConfigBlock& operator=(const ConfigBlock&) = delete;
    ~ConfigBlock() {
        if (P) DisposePtr(reinterpret_cast<Ptr>(P->Rects));
        DisposePtr(reinterpret_cast<Ptr>(P));
    }
    PluginDataRec* operator->() const { return P; }
};

// A configuration with a value different from the defaults in every saved field.
inline void FillDistinct(PluginDataRec& c, int16_t salt = 0) {
    c.StartRel = RelRect{0.125, 0.875, 0.25, 0.75};
    c.EndRel = RelRect{0.0625, 0.5, 0.375, 1.0 / 3};
    for (int i = 1; i <= 6; i++) {
        c.Colors[i] = RGBColor{uint16_t(1000 * i + salt), uint16_t(2000 * i), uint16_t(3000 * i)};
        c.Sliders[i] = int16_t(10 * i + salt);
    }
    c.FrameStartColor = RGBColor{11, 22, 33};
    c.FrameEndColor = RGBColor{44, 55, 66};
    c.MediaType = 3;
    c.KeepProps = true;
    c.Method = int16_t(28 + salt % 10);
    c.RandomizedDuration = false;
}

// The saved fields of two configurations agree.
inline bool SameSaved(const PluginDataRec& a, const PluginDataRec& b) {
    return std::memcmp(&a.StartRel, &b.StartRel, sizeof(RelRect)) == 0 &&
           std::memcmp(&a.EndRel, &b.EndRel, sizeof(RelRect)) == 0 &&
           std::memcmp(&a.Colors, &b.Colors, sizeof a.Colors) == 0 &&
           std::memcmp(&a.Sliders, &b.Sliders, sizeof a.Sliders) == 0 && a.FrameStartColor == b.FrameStartColor &&
           a.FrameEndColor == b.FrameEndColor && a.MediaType == b.MediaType && a.KeepProps == b.KeepProps &&
           a.Method == b.Method && a.RandomizedDuration == b.RandomizedDuration;
}

// The record Config2Save makes, as bytes.
inline std::vector<uint8_t> SavedBytes(PluginDataPtr c) {
    Handle h = NewHandleClear(sizeof(ConfigSaveRec));
    Config2Save(c, reinterpret_cast<ConfigSaveHandle>(h));
    std::vector<uint8_t> bytes(reinterpret_cast<uint8_t*>(*h), reinterpret_cast<uint8_t*>(*h) + sizeof(ConfigSaveRec));
    DisposeHandle(h);
    return bytes;
}

template <class T>
void PutNative(std::vector<uint8_t>& bytes, size_t at, T v) {
    std::memcpy(bytes.data() + at, &v, sizeof v);
}
template <class T>
T GetNative(const std::vector<uint8_t>& bytes, size_t at) {
    T v;
    std::memcpy(&v, bytes.data() + at, sizeof v);
    return v;
}
