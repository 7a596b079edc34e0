#include "editor/cli/privatesettings.h"

#include <stdlib.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace bw::cli {

PrivateSettings::PrivateSettings() {
    if (const char* home = std::getenv("XDG_CONFIG_HOME")) UserHome = home;
}

PrivateSettings::~PrivateSettings() {
    UseConfigHome(*this, {});
    std::error_code ec;
    for (const std::string& dir : Folders) std::filesystem::remove_all(dir, ec);
}

Failure MakePrivateFolder(PrivateSettings& own) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/blockwaves-settings-XXXXXX";
    if (!mkdtemp(pattern.data()))
        return {kExitFailed, "cannot make a private settings folder in " + pattern + ": " + std::strerror(errno)};
    own.Folders.push_back(pattern);
    return {};
}

void UseConfigHome(PrivateSettings& own, const std::string& folder) {
    if (!folder.empty()) {
        setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
        own.Moved = true;
        return;
    }
    if (!own.Moved) return;
    if (own.UserHome) setenv("XDG_CONFIG_HOME", own.UserHome->c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
    own.Moved = false;
}

}  // namespace bw::cli
