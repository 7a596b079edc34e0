#!/bin/sh
# Measures every ordering's wipe map through melt's luma transition against our own render: the
# proof test of tests/cli/wipe_test.cpp over all 41 methods, one PSNR line per method.
#   wipe-psnr.sh [BUILD-DIR]   (default build/release; needs melt and ffmpeg)
set -eu
build=${1:-build/release}
BW_WIPE_METHODS=all "$build/tests/cli_tests" --gtest_filter='WipeMelt.*' | grep '^method' || true
