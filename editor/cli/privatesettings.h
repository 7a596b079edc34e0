// The private preferences folders of one command. The bundle reads its settings only from its
// saved default, as in an editor: a render with its own settings gets a default of its own, a
// preferences file in a private folder that XDG_CONFIG_HOME points at while the bundle loads.
// When the record ends, XDG_CONFIG_HOME is as the program found it and the folders are gone.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "editor/cli/render.h"

namespace bw::cli {

struct PrivateSettings {
    std::vector<std::string> Folders;     // every one made, the last one newest
    std::optional<std::string> UserHome;  // XDG_CONFIG_HOME as the program found it
    bool Moved = false;                   // XDG_CONFIG_HOME points at one of Folders

    PrivateSettings();
    ~PrivateSettings();
    PrivateSettings(const PrivateSettings&) = delete;
    PrivateSettings& operator=(const PrivateSettings&) = delete;
};

// A new private folder (under TMPDIR, else /tmp), Folders.back() from now on.
Failure MakePrivateFolder(PrivateSettings& own);
// Points XDG_CONFIG_HOME at `folder`; "" gives back the user's own.
void UseConfigHome(PrivateSettings& own, const std::string& folder);

}  // namespace bw::cli
