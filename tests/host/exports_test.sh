#!/usr/bin/env bash
# The bundle's shared object exports exactly one symbol: main.
set -euo pipefail
symbols=$(nm -D --defined-only "$1" | awk '{print $3}' | sort)
if [ "$symbols" != "main" ]; then
  echo "exported symbols of $1:"; echo "$symbols"; exit 1
fi
echo "only main is exported"
