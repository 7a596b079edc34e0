#!/usr/bin/env bash
# Installs into a scratch prefix and checks the installed program loads the installed bundle.
set -euo pipefail
cmake_command=$1
build_dir=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake_command" --install "$build_dir" --prefix "$prefix" > /dev/null
test -x "$prefix/bin/blockwaves"
test -f "$prefix/lib/blockwaves/kpblockwaves.bundle/Contents/Linux/kpblockwaves.so"
export XDG_CONFIG_HOME="$prefix/config"
unset BLOCKWAVES_BUNDLE
# Hide the build tree's bundle so only the installed one can answer.
out=$(cd / && "$prefix/bin/blockwaves" info)
grep -q 'slider "Columns"' <<< "$out"
grep -q 'variant 3: transition between clips' <<< "$out"
# Found through PATH, from a folder where ../lib/blockwaves leads nowhere: the dynamic loader
# names the bundle it loads.
mkdir -p "$prefix/work/here"
out=$(cd "$prefix/work/here" && PATH="$prefix/bin:$PATH" LD_DEBUG=files blockwaves info 2>&1)
grep -q "file=$prefix/\(bin/\.\./\)\?lib/blockwaves/kpblockwaves.bundle/Contents/Linux/kpblockwaves.so" <<< "$out"
echo "installed program uses $prefix/lib/blockwaves/kpblockwaves.bundle"
