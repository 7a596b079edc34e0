// info, configure and wipe: what the transition reports, its settings dialog, its wipe map.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "editor/cli/commands.h"
#include "editor/cli/prefs.h"
#include "editor/media/Generators.h"
#include "settings/prefsloader.h"

namespace bw::cli {
namespace {
const char* TypeName(uint8_t type) {
    switch (type) {
        case kPluginTransitionBeforeType: return "transition before the first clip";
        case kPluginTransitionBetweenType: return "transition between clips";
        case kPluginTransitionAfterType: return "transition after the last clip";
        default: return "unknown";
    }
}

// The whole of a small file, or nothing when it cannot be read.
std::vector<uint8_t> FileBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return bytes;  // never wait on a pipe
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t chunk[4096];
        for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
        std::fclose(f);
    }
    return bytes;
}

}  // namespace

int Info(Command& c) {
    Failure failure;
    auto host = LoadHost(failure);
    if (!host) return Fail(failure);
    host->speed = c.o.speed;
    std::printf("Blockwaves! Transitions, speed %.2f\n", c.o.speed);
    for (int16_t which : {1, 2, 3}) {
        const int32_t r = host->GetInfo(which);
        if (r != kPluginOK) return Fail({kExitPlugin, "the info call failed (result " + std::to_string(r) + ")"});
        const HYPluginParams& p = host->Params();
        std::printf("\nvariant %d: %s\n", which, TypeName(p.getInfo.pluginType));
        std::printf("  frames %d (takes %d from the clip before, %d from the clip after; %d..%d by speed)\n",
                    p.getInfo.framesToBeRendered, p.getInfo.takeFromClipBefore, p.getInfo.takeFromClipAfter,
                    p.getInfo.minSpeedFrames, p.getInfo.maxSpeedFrames);
        std::printf("  flags 0x%04X\n", p.getInfo.pluginFlags);
        if (which == 3) {
            for (const HYPluginFilterSliderInfo& s : p.getInfo2.filterSliders)
                std::printf("  slider \"%s\": %s .. %s\n", s.label, s.minLabel, s.maxLabel);
            std::printf("  button \"%s\"\n  group \"%s\"\n", p.getInfo3.buttonTitle, p.getInfo2.group);
        }
    }
    return kExitOK;
}

int Configure(Command& c) {
    Finish(c);
    const size_t clips = c.o.variant == Variant::Between ? 2 : 1;
    if (c.clips.size() > clips) return Fail({kExitUsage, "too many clips for this variant"});
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY") && !std::getenv("QT_QPA_PLATFORM"))
        return Fail({kExitPlugin,
                     "cannot open the configuration dialog: no display (DISPLAY and WAYLAND_DISPLAY "
                     "are not set)"});
    Input inputs[2];
    const media::Pattern generated[2] = {media::Pattern::Bars, media::Pattern::Gradient};
    for (size_t i = 0; i < clips; i++) {
        if (i < c.clips.size()) {
            if (Failure f = Open(c.clips[i], inputs[i], c.stillSeconds)) return Fail(f);
        } else {
            inputs[i].source = std::make_unique<media::GeneratedClip>(DemoClip(generated[i]));
        }
    }
    Failure failure;
    auto host = LoadHost(failure);
    if (!host) return Fail(failure);
    int w, h;
    OutputSize(*inputs[0].source, c.o, w, h);
    int32_t frames = 0;
    if (Failure f = TransitionLength(*host, c.o.variant, c.o, frames)) return Fail(f);
    const std::vector<uint8_t> before = FileBytes(PrefsFilePath());
    if (Failure f = bw::Configure(*host, inputs[0], clips == 2 ? &inputs[1] : nullptr, c.o.variant, frames, w, h))
        return Fail(f);
    if (FileBytes(PrefsFilePath()) == before) {
        std::printf("blockwaves: your settings are unchanged\n");
    } else {
        std::printf("blockwaves: saved your settings in %s\n", PrefsFilePath().c_str());
    }
    return kExitOK;
}

// wipe: the settings as render takes them, laid out by the engine and written as a wipe map.
int Wipe(Command& c, const WipeOptions& w) {
    Config config;
    PrivateSettings own;
    if (std::string e = SettingsListError(c, 1); !e.empty()) return Fail({kExitUsage, "wipe makes one map: " + e});
    if (Failure f = c.settingsFile.empty() ? Failure{} : ReadPrefsFile(own, c.settingsFile, config)) return Fail(f);
    if (c.settingsFile.empty()) ReadConfig(&config.rec);  // your saved default, or the factory one
    for (const std::string& item : SettingsFor(c, 0)) ApplySetting(config.rec, item);
    Finish(c);
    const int width = c.o.width ? c.o.width : cWipeWidth, height = c.o.height ? c.o.height : cWipeHeight;
    Failure f;
    std::string advice;
    const std::string path = WipePath(config.rec, w, c.o.output, width, height, f);
    if (f || (f = CheckOutput(c, path, {})) || (f = MakeWipe(config.rec, w, path, width, height, advice))) return Fail(f);
    if (!c.o.quiet) std::printf("blockwaves: wrote %s\n", path.c_str());
    std::printf("%s\n", advice.c_str());
    return kExitOK;
}

}  // namespace bw::cli
