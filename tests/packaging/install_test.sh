#!/usr/bin/env bash
# Installs the Debian packages from a folder into a fresh Debian 12 root (debootstrap, minbase) and
# uses them there as a user would: the version, the transition's report, a short render of generated
# clips, the dialog's and the frei0r plug-in's libraries. The renderer must install without Qt.
# Then purges them and checks that nothing of theirs is left. Needs root and the Debian mirror that
# apt uses here; without the mirror the same checks run on the packages unpacked into a folder.
# Usage: install_test.sh DEB-FOLDER
set -euo pipefail
debs=$(cd "$1" && pwd)
for p in blockwaves blockwaves-plugin blockwaves-dialog; do
  compgen -G "$debs/${p}_*.deb" > /dev/null || { echo "install_test: no ${p}_*.deb in $debs" >&2; exit 1; }
done
frei0r=$(compgen -G "$debs/blockwaves-frei0r_*.deb" || true)
mlt=$(compgen -G "$debs/blockwaves-mlt_*.deb" || true)
# The MLT module, where MLT's module folder is on the machine the package was built for.
mlt_module=${mlt:+$(dpkg-deb -c "$mlt" | awk '{print $6}' | grep 'libmltblockwaves\.so$' | sed 's|^\.||')}

work=$(mktemp -d /tmp/bw-packaging-XXXXXX)
# The root gets /proc, as every running system has (the program finds its bundle through it); it is
# unmounted before anything is removed, and the removal stays on this file system.
trap 'umount "$work/root/proc" 2> /dev/null || true; rm -rf --one-file-system "$work"' EXIT
started=$SECONDS
step() { echo "install_test: [$((SECONDS - started)) s] $*"; }
fail() { echo "install_test: FAILED: $*" >&2; exit 1; }

# The checks. `run` runs a command as installed, `at` is where the packages' files are seen from
# here, `out` a file name for the render.
check_use() {
  local help version info
  help=$(run blockwaves --help) || fail "blockwaves --help"
  if grep -q -- '--version' <<< "$help"; then
    version=$(run blockwaves --version) || fail "blockwaves --version"
    grep -q '^blockwaves 3\.0\.0' <<< "$version" || fail "blockwaves --version said: $version"
    step "blockwaves --version: $version"
  fi
  info=$(run blockwaves info) || fail "blockwaves info"
  grep -q 'variant 3: transition between clips' <<< "$info" || fail "blockwaves info said: $info"
  run blockwaves demo -o "$out" --size 160x120 --frames 10 --quiet || fail "blockwaves demo"
  run head -c 32 "$out" | grep -q '^YUV4MPEG2 W160 H120 ' || fail "the render is not a 160x120 Y4M"
  step "info and a render of generated clips work"
}

# The program loads the bundle beside it (from $at/usr/bin), also when started through a link in
# another folder, and holds no folder of the machine it was built on.
check_bundle_beside() {
  local loaded
  loaded=$(run env LD_DEBUG=files blockwaves info 2>&1)
  grep -q "file=$at/usr/bin/\.\./lib/blockwaves/kpblockwaves.bundle/" <<< "$loaded" ||
    fail "the program did not load the bundle beside it"
  run ln -sf "$at/usr/bin/blockwaves" "$1"
  run "$1" info > /dev/null || fail "blockwaves started through the link $1 did not find its bundle"
  run rm -f "$1"
  local program=$seen$at/usr/bin/blockwaves  # as seen from here
  [ -f "$program" ] || fail "no $program"
  ! grep -qaF "$debs" "$program" || fail "the program holds the build folder $debs"
  step "the bundle is found beside the program, also through a link"
}

# Every shared object named finds its libraries.
check_libraries() {
  local so missing
  for so in "$@"; do
    missing=$(run ldd "$at$so" | grep 'not found' || true)
    [ -z "$missing" ] || fail "$so: $missing"
  done
}
bundle=/usr/lib/blockwaves/kpblockwaves.bundle/Contents/Linux

mirror=""
for f in /etc/apt/sources.list.d/debian.sources /etc/apt/sources.list; do
  [ -f "$f" ] || continue
  mirror=$(awk '/^URIs:/ && !/security/ {print $2; exit} /^deb / && !/security/ {print $2; exit}' "$f")
  [ -n "$mirror" ] && break
done

root=$work/root
if [ -n "$mirror" ] && command -v debootstrap > /dev/null &&
   debootstrap --variant=minbase bookworm "$root" "$mirror" > "$work/debootstrap.log" 2>&1; then
  step "debootstrap: Debian 12 minbase in $root"
  mount -t proc proc "$root/proc"
  # The same archives as this machine: the release, its updates and its security updates.
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    cp /etc/apt/sources.list.d/debian.sources "$root/etc/apt/sources.list.d/"
    rm -f "$root/etc/apt/sources.list"
  fi
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  mkdir -p "$root/tmp/debs" "$root/tmp/home"
  cp "$debs"/*.deb "$root/tmp/debs/"
  run() { chroot "$root" env HOME=/tmp/home LC_ALL=C.UTF-8 "$@"; }
  at=""
  seen=$root
  out=/tmp/bw-demo.y4m
  deb() { echo "/tmp/debs/$(basename "$(compgen -G "$debs/${1}_*.deb")")"; }
  apt_install() { DEBIAN_FRONTEND=noninteractive run apt-get install -y -qq --no-install-recommends "$@" > "$work/apt.log" 2>&1 ||
                { cat "$work/apt.log"; fail "apt-get install $*"; }; }

  run apt-get update -qq
  apt_install "$(deb blockwaves)" "$(deb blockwaves-plugin)" ${frei0r:+"$(deb blockwaves-frei0r)"} \
    ${mlt:+"$(deb blockwaves-mlt)"}
  qt=$( (run dpkg-query -W -f '${db:Status-Abbrev} ${Package}\n' 'libqt6*' 2>/dev/null || true) | awk '$1 == "ii" {print $2}')
  [ -z "$qt" ] || fail "the renderer pulled in Qt: $qt"
  step "blockwaves and blockwaves-plugin${frei0r:+ and blockwaves-frei0r}${mlt:+ and blockwaves-mlt} installed, without Qt"
  check_use
  check_bundle_beside /tmp/bw-link
  check_libraries $bundle/kpblockwaves.so ${frei0r:+/usr/lib/frei0r-1/blockwaves.so} $mlt_module
  apt_install "$(deb blockwaves-dialog)"
  check_libraries $bundle/kpblockwaves-ui.so
  step "blockwaves-dialog installed; its windowing library finds Qt"

  packages=$(run dpkg-query -W -f '${Package}\n' 'blockwaves*')
  run dpkg -L $packages | sort -u > "$work/files"
  DEBIAN_FRONTEND=noninteractive run apt-get purge -y -qq $packages > "$work/apt.log" 2>&1 ||
    { cat "$work/apt.log"; fail "apt-get purge"; }
  left=$( (run dpkg-query -W -f '${db:Status-Abbrev} ${Package}\n' 'blockwaves*' 2>/dev/null || true) | awk '$1 != "un" {print $2}')
  [ -z "$left" ] || fail "still known to dpkg: $left"
  # What remains of their paths must be a folder that another package owns.
  while read -r path; do
    [ -z "$path" ] || [ "$path" = /. ] && continue
    [ -e "$root$path" ] || [ -L "$root$path" ] || continue
    if [ -d "$root$path" ] && [ ! -L "$root$path" ] && run dpkg-query -S "$path" < /dev/null > /dev/null 2>&1; then continue; fi
    fail "left after the purge: $path"
  done < "$work/files"
  [ ! -e "$root/usr/lib/blockwaves" ] || fail "left after the purge: /usr/lib/blockwaves"
  step "purged: nothing of the packages is left ($(wc -l < "$work/files") paths checked)"
else
  if ! command -v debootstrap > /dev/null; then why="debootstrap is not installed"
  elif [ -z "$mirror" ]; then why="apt has no Debian mirror here"
  else why="debootstrap could not make a Debian 12 root from $mirror: $(tail -1 "$work/debootstrap.log")"
  fi
  echo "install_test: $why; checking the packages unpacked into a folder instead"
  at=$work/prefix
  seen=""
  out=$work/demo.y4m
  for deb in "$debs"/*.deb; do dpkg-deb -x "$deb" "$at"; done
  mkdir -p "$work/home"
  run() { (cd "$work" && PATH="$at/usr/bin:$PATH" HOME=$work/home "$@"); }
  check_use
  check_bundle_beside "$work/bw-link"
  check_libraries $bundle/kpblockwaves.so $bundle/kpblockwaves-ui.so ${frei0r:+/usr/lib/frei0r-1/blockwaves.so} \
    $mlt_module
  step "the plug-ins unpacked into $at find their libraries"
fi
echo "install_test: passed in $((SECONDS - started)) s"
