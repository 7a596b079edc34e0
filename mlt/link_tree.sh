#!/bin/sh
# Makes TREE/modules and TREE/data: a link to each of the system's MLT modules and data folders,
# and to our module and metadata, for melt in the build tree (MLT_REPOSITORY, MLT_DATA).
#   link_tree.sh SYSTEM_MODULES SYSTEM_DATA MODULE YML TREE
set -eu
modules=$1 data=$2 module=$3 yml=$4 tree=$5
rm -rf "$tree/modules" "$tree/data"
mkdir -p "$tree/modules" "$tree/data/blockwaves"
# An installed copy of ours is left out: the build's own takes its place.
for f in "$modules"/*; do [ "${f##*/}" = libmltblockwaves.so ] || ln -s "$f" "$tree/modules/"; done
for f in "$data"/*; do [ "${f##*/}" = blockwaves ] || ln -s "$f" "$tree/data/"; done
ln -sf "$module" "$tree/modules/"
ln -sf "$yml" "$tree/data/blockwaves/"
