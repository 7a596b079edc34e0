// Writes the seed corpus of prefs_fuzzer into a folder: preferences files made by the real writer
// (empty, a current record among other resources, stale records) and a few broken ones.
//   prefs_seeds FOLDER
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>

#include "platform/Memory.h"
#include "platform/ResourceFork.h"
#include "settings/DataHandling.h"
#include "settings/prefsloader.h"

namespace {
std::vector<uint8_t> Record(void (*spoil)(ConfigSaveRec&)) {
    auto* c = reinterpret_cast<PluginDataPtr>(NewPtrClear(sizeof(PluginDataRec)));
    ResetConfig(c, false);
    c->Method = 28;
    c->StartRel = RelRect{0.1, 0.9, 0.2, 0.8};
    Handle h = NewHandleClear(sizeof(ConfigSaveRec));
    Config2Save(c, reinterpret_cast<ConfigSaveHandle>(h));
    if (spoil) spoil(**reinterpret_cast<ConfigSaveHandle>(h));
    std::vector<uint8_t> bytes(*h, *h + sizeof(ConfigSaveRec));
    DisposeHandle(h);
    DisposePtr(reinterpret_cast<Ptr>(c));
    return bytes;
}

std::vector<uint8_t> Fork(std::vector<ResourceEntry> entries) {
    ResourceForkImage image;
    image.Entries = std::move(entries);
    std::vector<uint8_t> bytes;
    WriteResourceFork(image, bytes);
    return bytes;
}

ResourceEntry Pref(std::vector<uint8_t> data) {
    return {cPrefsResType, cPrefsResID, true, "Config Settings", 0, std::move(data)};
}
}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: prefs_seeds FOLDER\n");
        return 2;
    }
    const std::vector<uint8_t> current = Fork({Pref(Record(nullptr))});
    const struct {
        const char* Name;
        std::vector<uint8_t> Bytes;
    } seeds[] = {
        {"empty-fork", Fork({})},
        {"current", current},
        {"among-others", Fork({{FourCC("STR#"), 128, true, "Labels", 32, {0, 2, 1, 'A', 2, 'B', 'C'}},
                               Pref(Record(nullptr)),
                               {FourCC("STR#"), 129, false, "", 0, {0, 0}}})},
        {"version-2", Fork({Pref(Record([](ConfigSaveRec& r) { r.Version = 2; }))})},
        {"other-byte-order", Fork({Pref(Record([](ConfigSaveRec& r) { r.SizeInBytes = __builtin_bswap32(396); }))})},
        {"nan", Fork({Pref(Record([](ConfigSaveRec& r) { r.StartRel.Left = std::numeric_limits<double>::quiet_NaN(); }))})},
        {"short-record", Fork({Pref(std::vector<uint8_t>(100, 1))})},
        {"header-only", std::vector<uint8_t>(current.begin(), current.begin() + 16)},
    };
    for (const auto& s : seeds) {
        const std::string path = std::string(argv[1]) + "/" + s.Name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(s.Bytes.data()), std::streamsize(s.Bytes.size()));
        if (!out) {
            std::fprintf(stderr, "prefs_seeds: %s: cannot write\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
