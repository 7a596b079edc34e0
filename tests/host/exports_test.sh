#!/usr/bin/env bash
# A shared object exports exactly the symbols named after it (default: main, the bundle's entry).
set -euo pipefail
lib=$1
shift
expected=$(printf '%s\n' "${@:-main}" | sort)
symbols=$(nm -D --defined-only "$lib" | awk '{print $3}' | sort)
if [ "$symbols" != "$expected" ]; then
  echo "exported symbols of $lib:"; echo "$symbols"; echo "expected:"; echo "$expected"; exit 1
fi
echo "exports exactly: $(echo $expected)"
