// The host program's command line: parses the words and runs the command they name.
#pragma once

namespace bw::cli {

// The exit status of the command given by argv.
int Run(int argc, char** argv);

}  // namespace bw::cli
