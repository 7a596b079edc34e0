// blockwaves: renders block transitions between video files with the Blockwaves! Transitions
// bundle, driving it through its entry point as a video editor does.
#include <cstdio>
#include <exception>

#include "editor/cli/app.h"
#include "editor/cli/render.h"

int main(int argc, char** argv) {
    try {
        return bw::cli::Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "blockwaves: %s\n", e.what());
        return bw::kExitFailed;
    }
}
