// The saved default and the prefs commands.
#include "editor/cli/prefs.h"

#include <cstdio>
#include <filesystem>

#include "editor/cli/command.h"
#include "platform/Files.h"
#include "settings/prefsloader.h"

namespace bw::cli {
namespace fs = std::filesystem;

namespace {
// Says once what became of a damaged file that the save just replaced, and what follows.
void ReportMovedAside(const char* then) {
    if (!PrefsMovedAside().empty())
        std::fprintf(stderr, "blockwaves: %s could not be read; moved it aside to %s%s\n", PrefsFilePath().c_str(),
                     PrefsMovedAside().c_str(), then);
}

// A file with content that still gave no settings: a record of another version or a damaged one,
// which ReadConfig refuses without a reason of its own.
bool HoldsUnreadableRecord(bool hadData, bool read) {
    return hadData && !read && PrefsLastError().empty();
}

bool PrefsFileHasData() {
    std::error_code ec;
    const std::string path = PrefsFilePath();
    return !path.empty() && std::filesystem::is_regular_file(path, ec) && std::filesystem::file_size(path, ec) > 0 && !ec;
}
}  // namespace

void HoldInRange(PluginDataRec& rec) {
    static bool said = false;
    const std::string problem = ConfigOutOfRange(rec);
    if (problem.empty()) return;
    ClampConfig(&rec);
    if (!said)
        std::fprintf(stderr, "blockwaves: %s: %s; the nearest values the settings dialog allows are used instead\n",
                     PrefsFilePath().c_str(), problem.c_str());
    said = true;
}

void CheckSavedDefault() {
    Config config;
    const bool hadData = PrefsFileHasData();
    MakePrefsFile();
    const std::string makeError = PrefsLastError();  // the first reason, when the file could not be made
    const bool read = ReadConfig(&config.rec);
    const std::string readError = PrefsLastError();
    const bool unreadable = HoldsUnreadableRecord(hadData, read);
    if (read) HoldInRange(config.rec);  // and saved so below, as the bundle does
    if (!SaveConfig(&config.rec)) {
        std::fprintf(stderr, "blockwaves: %s; %s\n", (makeError.empty() ? PrefsLastError() : makeError).c_str(),
                     read ? "the saved settings are used as they are" : "the factory defaults are used");
    } else if (!PrefsMovedAside().empty()) {
        ReportMovedAside("; the factory defaults are used");
    } else if (!readError.empty()) {
        std::fprintf(stderr, "blockwaves: %s; the factory defaults are used\n", readError.c_str());
    } else if (unreadable) {
        std::fprintf(stderr,
                     "blockwaves: %s holds no settings this version can read; the factory defaults are used "
                     "and saved over them\n",
                     PrefsFilePath().c_str());
    }
}

int PrefsShow() {
    Config config;
    const bool hadData = PrefsFileHasData();
    const bool hadSaved = ReadConfig(&config.rec);  // makes nothing, not even the folder
    if (hadSaved) HoldInRange(config.rec);
    ShowPrefs(config.rec);
    if (hadSaved) return kExitOK;
    if (!PrefsLastError().empty()) return Fail({kExitPrefs, PrefsLastError() + "; these are the factory defaults"});
    if (HoldsUnreadableRecord(hadData, hadSaved))
        return Fail({kExitPrefs, "cannot read " + PrefsFilePath() +
                                     ": it holds no settings this version can read; these are the factory defaults"});
    std::fprintf(stderr, "blockwaves: no saved settings yet; these are the factory defaults\n");
    return kExitOK;
}

int PrefsWrite(const std::vector<std::string>& items) {
    // Every value is checked before the file is touched, then applied to the saved settings as
    // they are once this process holds the update (another writer's change is not lost).
    Config checked, config;
    for (const std::string& item : items) {
        const std::string error = ApplySetting(checked.rec, item);
        if (!error.empty()) {
            std::fprintf(stderr, "blockwaves: %s; nothing was changed\n", error.c_str());
            return kExitUsage;
        }
    }
    MakePrefsFile();
    const std::string makeError = PrefsLastError();
    if (!items.empty()) {
        if (ReadConfig(&config.rec)) HoldInRange(config.rec);
        for (const std::string& item : items) ApplySetting(config.rec, item);
    }
    if (!SaveConfig(&config.rec))
        return Fail({kExitPrefs, (makeError.empty() ? PrefsLastError() : makeError) + "; nothing was changed"});
    ReportMovedAside("");
    ShowPrefs(config.rec);
    return kExitOK;
}

Failure ReadPrefsFile(PrivateSettings& own, const std::string& file, Config& config) {
    if (Failure f = MakePrivateFolder(own)) return f;
    UseConfigHome(own, own.Folders.back());
    std::error_code ec;
    fs::copy_file(file, PrefsFilePath(), fs::copy_options::overwrite_existing, ec);
    if (ec) return {kExitPrefs, "cannot read " + file + ": " + ec.message()};
    if (!ReadConfig(&config.rec))
        return {kExitPrefs, file + ": not a preferences file, or one this version cannot read"};
    // Such a file would make every render a hard cut: it is refused, not mended.
    if (const std::string problem = ConfigOutOfRange(config.rec); !problem.empty())
        return {kExitPrefs, file + ": " + problem + "; not used"};
    return {};
}

int PrefsExport(const std::string& file) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(file, ec))) return Fail({kExitOutput, file + " exists; not replaced"});
    Config config;
    if (ReadConfig(&config.rec)) HoldInRange(config.rec);
    PrivateSettings own;  // the file is written by the settings code, then copied
    if (Failure f = MakePrivateFolder(own)) return Fail(f);
    UseConfigHome(own, own.Folders.back());
    MakePrefsFile();
    if (!SaveConfig(&config.rec)) return Fail({kExitPrefs, PrefsLastError()});
    // Written whole under a temporary name and then given its own: a full disk leaves nothing
    // behind, and an existing file is never replaced, not even one made meanwhile.
    std::vector<uint8_t> bytes;
    if (FSReadWholeFile(PrefsFilePath(), bytes, 1 << 20) != noErr)
        return Fail({kExitPrefs, "cannot read " + PrefsFilePath() + ": " + FSLastReason()});
    if (const OSErr err = FSWriteWholeFile(file, bytes, true, nullptr); err != noErr)
        return Fail({kExitOutput, err == dupFNErr ? file + " exists; not replaced" : "cannot write " + file + ": " + FSLastReason()});
    std::printf("blockwaves: wrote your settings to %s\n", file.c_str());
    return kExitOK;
}

int PrefsImport(const std::string& file) {
    PrivateSettings own;
    Config config;
    if (Failure f = ReadPrefsFile(own, file, config)) return Fail(f);
    UseConfigHome(own, {});
    MakePrefsFile();
    if (!SaveConfig(&config.rec)) return Fail({kExitPrefs, PrefsLastError() + "; nothing was changed"});
    ShowPrefs(config.rec);
    return kExitOK;
}

}  // namespace bw::cli
