// The commands of the host program, each run on the options the parser filled in.
#pragma once
#include <string>

#include "editor/cli/command.h"
#include "editor/cli/wipe.h"
#include "editor/media/Generators.h"

namespace bw::cli {

int Render(Command& c);                        // render A B ... -o OUT
int SheetOrThumbnail(Command& c, bool sheet);  // sheet / thumbnail A B -o OUT.png
int Demo(Command& c);                          // two generated clips joined, and their sheet
int Info(Command& c);                          // what the transition reports for each variant
int Configure(Command& c);                     // the settings dialog with a live preview
int Wipe(Command& c, const WipeOptions& w);    // the tile field as a wipe map

// The generated clips of demo and configure: 1280 x 720, 100 frames.
media::GeneratorSettings DemoClip(media::Pattern kind);

}  // namespace bw::cli
