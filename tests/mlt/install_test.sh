#!/usr/bin/env bash
# Installs the mlt component into a scratch prefix: the module in MLT's module folder and its
# metadata in MLT's data folder (both below the prefix as below MLT's own), Kdenlive's description
# in Kdenlive's data folder; melt, pointed at them, lists the transition with the parameters the
# description controls, every one of them described.
#   install_test.sh CMAKE BUILD-FOLDER MODULE-SUBDIR DATA-SUBDIR [HOST_PRELOAD]
set -euo pipefail
cmake_command=$1 build_dir=$2 module_dir=$3 data_dir=$4 preload=${5:-}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake_command" --install "$build_dir" --prefix "$prefix" --component mlt > /dev/null
test -f "$prefix/$module_dir/libmltblockwaves.so"
test -f "$prefix/$data_dir/blockwaves/blockwaves.yml"
xml=$prefix/share/kdenlive/transitions/blockwaves.xml
xmllint --noout "$xml"
test "$(xmllint --xpath 'string(/transition/@tag)' "$xml")" = blockwaves
query=$(MLT_REPOSITORY=$prefix/$module_dir MLT_DATA=$prefix/$data_dir LD_PRELOAD=$preload ASAN_OPTIONS=detect_leaks=0 \
        melt -query transition=blockwaves 2>/dev/null)
grep -q '^identifier: blockwaves$' <<< "$query"
yml_params=$(sed -n 's/^  - identifier: //p' <<< "$query" | sort)
xml_params=$(xmllint --xpath '/transition/parameter/@name' "$xml" | sed 's/ *name="\([^"]*\)"/\1\n/g' | sed '/^$/d' | sort)
if [ "$yml_params" != "$xml_params" ]; then
  echo "metadata:"; echo "$yml_params"; echo "described for Kdenlive:"; echo "$xml_params"; exit 1
fi
echo "installed $module_dir/libmltblockwaves.so, its metadata and Kdenlive's description of $(wc -l <<< "$xml_params") properties"
