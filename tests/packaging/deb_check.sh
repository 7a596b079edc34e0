#!/usr/bin/env bash
# Checks what the Debian packages in a folder ship, without installing them: every ELF file built
# with Debian's hardening (hardening-check: PIE, stack protector, fortified functions, relro,
# bind-now, stack clash and control flow protection), no file holding the folder the packages were
# built in (BUILD-FOLDER, default DEB-FOLDER), and no maintainer script (the frei0r plug-in is no
# library: ldconfig has nothing to do for it).
# Usage: deb_check.sh DEB-FOLDER [BUILD-FOLDER]
set -euo pipefail
debs=$(cd "$1" && pwd)
build=$(cd "${2:-$1}" && pwd)
command -v hardening-check > /dev/null || { echo "deb_check: hardening-check missing (devscripts): run scripts/install-deps" >&2; exit 1; }
work=$(mktemp -d /tmp/bw-debcheck-XXXXXX)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "deb_check: FAILED: $*" >&2; failed=1; }

count=0
for deb in "$debs"/*.deb; do
  name=$(basename "$deb")
  tree=$work/${name%.deb}
  dpkg-deb -x "$deb" "$tree"
  dpkg-deb -e "$deb" "$tree/DEBIAN"
  for script in preinst postinst prerm postrm; do
    [ ! -e "$tree/DEBIAN/$script" ] || fail "$name has a $script: $(tr '\n' ' ' < "$tree/DEBIAN/$script")"
  done
  if grep -rlaF "$build" "$tree" > "$work/holders"; then
    fail "$name: files holding the build folder $build: $(sed "s|$tree||" "$work/holders" | tr '\n' ' ')"
  fi
  while IFS= read -r -d '' f; do
    [ "$(head -c 4 "$f")" = $'\x7fELF' ] || continue
    count=$((count + 1))
    report=$(hardening-check "$f" 2>&1) || fail "${f#"$tree"} in $name is not hardened:
$report"
  done < <(find "$tree" -path "$tree/DEBIAN" -prune -o -type f -print0)
done
[ "$count" -gt 0 ] || fail "no ELF file in $debs/*.deb"
[ "$failed" = 0 ] || exit 1
echo "deb_check: $count ELF files hardened, no build folder, no maintainer scripts in $(ls "$debs"/*.deb | wc -l) packages"
