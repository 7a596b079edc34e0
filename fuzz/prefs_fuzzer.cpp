// Fuzzes the resource-fork reader and the saved-default read with arbitrary bytes as the
// preferences file. On every input: the reader never reads outside the buffer; a fork it accepts
// is written back and read again alike; a record it accepts has finite fractions; after any file,
// a save succeeds and a read then gives back exactly what was saved.
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Memory.h"
#include "platform/ResourceFork.h"
#include "settings/DataHandling.h"
#include "settings/prefsloader.h"

namespace {
std::string gFolder, gPrefsPath;

void Check(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "broken: %s\n", what);
    std::abort();
}

bool Finite(const RelRect& r) {
    return std::isfinite(r.Left) && std::isfinite(r.Right) && std::isfinite(r.Top) && std::isfinite(r.Bottom);
}

bool SameSaved(const PluginDataRec& a, const PluginDataRec& b) {
    Handle x = NewHandleClear(sizeof(ConfigSaveRec)), y = NewHandleClear(sizeof(ConfigSaveRec));
    Config2Save(const_cast<PluginDataPtr>(&a), reinterpret_cast<ConfigSaveHandle>(x));
    Config2Save(const_cast<PluginDataPtr>(&b), reinterpret_cast<ConfigSaveHandle>(y));
    const bool same = std::equal(*x, *x + sizeof(ConfigSaveRec), *y);
    DisposeHandle(x);
    DisposeHandle(y);
    return same;
}

void RemoveFolder() {
    std::error_code ec;
    std::filesystem::remove_all(gFolder, ec);
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A private Preferences folder, on a memory file system when there is one (fsync is free there).
    const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR") ? std::getenv("TMPDIR")
                                                                                            : "/tmp";
    std::string pattern = std::string(base) + "/bw-fuzz-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    gFolder = pattern;
    gPrefsPath = gFolder + "/kpblk-Prefs";
    ::setenv("XDG_CONFIG_HOME", gFolder.c_str(), 1);
    std::atexit(RemoveFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ResourceForkImage image;
    if (ParseResourceFork(data, size, image)) {
        std::vector<uint8_t> again;
        Check(WriteResourceFork(image, again), "a fork that was read can be written");
        ResourceForkImage back;
        Check(ParseResourceFork(again.data(), again.size(), back), "a written fork reads back");
        Check(back.Entries.size() == image.Entries.size(), "the rewrite keeps every resource");
        for (size_t i = 0; i < back.Entries.size(); i++)
            Check(back.Entries[i].Data == image.Entries[i].Data && back.Entries[i].Name == image.Entries[i].Name,
                  "the rewrite keeps data and names");
    }

    {
        std::ofstream out(gPrefsPath, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    auto* c = reinterpret_cast<PluginDataPtr>(NewPtrClear(sizeof(PluginDataRec)));
    auto* d = reinterpret_cast<PluginDataPtr>(NewPtrClear(sizeof(PluginDataRec)));
    ResetConfig(c, false);
    if (ReadConfig(c)) Check(Finite(c->StartRel) && Finite(c->EndRel), "an accepted record has finite fractions");
    Check(SaveConfig(c), "a save succeeds whatever the file held");
    Check(ReadConfig(d) && SameSaved(*c, *d), "a read gives back what was saved");
    DisposePtr(reinterpret_cast<Ptr>(c));
    DisposePtr(reinterpret_cast<Ptr>(d));
    return 0;
}
