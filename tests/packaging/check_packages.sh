#!/usr/bin/env bash
# Builds the Debian packages with scripts/package.sh into a folder of its own
# and checks them: lintian finds no error, each carries its files, copyright
# and changelog, and the game's dependencies were computed from its binaries.
#   check_packages.sh <source dir> <work dir> <version>
set -euo pipefail
source_dir=$1 work=$2 version=$3

fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p "$work"
rm -rf "$work/out"
"$source_dir/scripts/package.sh" "$work/out" "$work/build" >"$work/package.log" 2>&1 \
  || { tail -n 40 "$work/package.log"; fail "scripts/package.sh failed"; }

arch=$(dpkg --print-architecture)
game=$work/out/arrowsong_${version}_$arch.deb
dev=$work/out/libwavepitch-dev_${version}_$arch.deb
[ -f "$game" ] && [ -f "$dev" ] || fail "packages missing: $(ls "$work/out")"

contents() { dpkg-deb -c "$1" | awk '{ print $6 }' | sed 's|^\./|/|'; }
has() { # deb, path pattern (grep -E, whole line)
  contents "$1" | grep -Eqx "$2" || fail "$(basename "$1") lacks $2"
}
for path in /usr/games/arrowsong /usr/bin/pitchtrack /usr/share/applications/arrowsong.desktop \
  /usr/share/icons/hicolor/scalable/apps/arrowsong.svg /usr/share/metainfo/arrowsong.metainfo.xml \
  /usr/share/man/man6/arrowsong.6.gz /usr/share/man/man1/pitchtrack.1.gz \
  /usr/share/doc/arrowsong/copyright /usr/share/doc/arrowsong/changelog.gz; do
  has "$game" "$path"
done
for path in /usr/include/wavepitch.h '/usr/lib/[^/]+/libwavepitch.a' \
  '/usr/lib/[^/]+/pkgconfig/wavepitch.pc' '/usr/lib/[^/]+/cmake/wavepitch/wavepitchConfig.cmake' \
  /usr/share/man/man3/wavepitch.3.gz /usr/share/doc/libwavepitch-dev/copyright \
  /usr/share/doc/libwavepitch-dev/changelog.gz; do
  has "$dev" "$path"
done
if contents "$dev" | grep -Eq '/usr/(bin|games)/'; then
  fail "libwavepitch-dev carries programs"
fi

depends=$(dpkg-deb -f "$game" Depends)
for lib in librtaudio libglut libsndfile libc6; do
  grep -q "$lib" <<<"$depends" || fail "arrowsong does not depend on $lib: $depends"
done
[ -z "$(dpkg-deb -f "$dev" Depends)" ] || fail "the static library package needs nothing at run time"

for deb in "$game" "$dev"; do
  unpacked=$work/unpacked/$(basename "$deb" .deb)
  rm -rf "$unpacked"
  mkdir -p "$unpacked"
  dpkg-deb -x "$deb" "$unpacked"
  package=$(dpkg-deb -f "$deb" Package)
  zcat "$unpacked/usr/share/doc/$package/changelog.gz" | head -n 1 \
    | grep -q "^arrowsong ($version) " || fail "$package: changelog does not begin at $version"
  grep -q '^License: Expat' "$unpacked/usr/share/doc/$package/copyright" \
    || fail "$package: copyright file names no MIT (Expat) licence"
done

echo "--- lintian"
lintian --fail-on error --display-info "$game" "$dev" 2>&1 | grep -v 'running with root privileges' \
  | tee "$work/lintian.log"
[ "${PIPESTATUS[0]}" -eq 0 ] || fail "lintian reports errors"
echo "packages valid: $(basename "$game") $(basename "$dev")"
