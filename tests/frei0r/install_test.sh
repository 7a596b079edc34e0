#!/usr/bin/env bash
# Installs into a scratch prefix: the plug-in where frei0r hosts look, Kdenlive's description in
# Kdenlive's data folder, well-formed, for the MLT service melt finds, naming every parameter the
# installed plug-in has. HOST_PRELOAD (sanitizer builds) is what melt needs to load it.
set -euo pipefail
cmake_command=$1
build_dir=$2
preload=${3:-}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake_command" --install "$build_dir" --prefix "$prefix" > /dev/null
xml=$prefix/share/kdenlive/transitions/frei0r_blockwaves.xml
test -f "$prefix/lib/frei0r-1/blockwaves.so"
xmllint --noout "$xml"
tag=$(xmllint --xpath 'string(/transition/@tag)' "$xml")
test "$tag" = frei0r.blockwaves
query=$(FREI0R_PATH=$prefix/lib/frei0r-1 LD_PRELOAD=$preload ASAN_OPTIONS=detect_leaks=0 \
        melt -query "transition=$tag" 2>/dev/null)
grep -q "identifier: $tag" <<< "$query"
plugin_params=$(sed -n 's/^    title: //p' <<< "$query" | sort)
xml_params=$(xmllint --xpath '/transition/parameter/@name' "$xml" | sed 's/ *name="\([^"]*\)"/\1\n/g' | sed '/^$/d' | sort)
if [ "$plugin_params" != "$xml_params" ]; then
  echo "plug-in parameters:"; echo "$plugin_params"; echo "described for Kdenlive:"; echo "$xml_params"; exit 1
fi
echo "installed $prefix/lib/frei0r-1/blockwaves.so and $tag for Kdenlive with $(wc -l <<< "$xml_params") controls"
