#!/usr/bin/env bash
# Builds the Debian packages of Arrowsong and prints their paths.
#
#   scripts/package.sh [OUT_DIR [BUILD_DIR]]
#
# Installs what building and packaging need (scripts/install-deps.sh
# --package), configures a build of its own for /usr with Debian's hardening
# flags, builds the game, pitchtrack and the library, and writes into OUT_DIR
# (default build/package):
#   arrowsong_<version>_<arch>.deb         the game and pitchtrack
#   libwavepitch-dev_<version>_<arch>.deb  the wavepitch static library
# Their dependencies are computed from the binaries by dpkg-shlibdeps.
# Standard output is the packages' paths, one a line; progress goes to
# standard error.
# Install them with: sudo apt install ./build/package/*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=${1:-$root/build/package}
build=${2:-$root/build/package-build}

scripts/install-deps.sh --package >&2

# Debian's compiler and linker flags: optimisation, debugging information
# (stripped on install), and every hardening feature.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
CFLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags"
LDFLAGS=$(dpkg-buildflags --get LDFLAGS)
export CFLAGS CXXFLAGS LDFLAGS

mkdir -p "$build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr \
  -DARROWSONG_INSTALL_GAMEDIR=games -DARROWSONG_DEBIAN_PACKAGES=ON -DARROWSONG_BUILD_TESTS=OFF -DARROWSONG_BUILD_BENCH=OFF \
  >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
# Progress on standard error: standard output is the list of packages.
cmake --build "$build" -j "$jobs" --target Arrowsong pitchtrack wavepitch manpages debian-changelog >&2

rm -rf "$build/packages"
(cd "$build" && cpack --config CPackConfig.cmake >cpack.log 2>&1) \
  || { cat "$build/cpack.log"; exit 1; }

mkdir -p "$out"
rm -f "$out"/arrowsong_*.deb "$out"/libwavepitch-dev_*.deb
for deb in "$build"/packages/*.deb; do
  cp "$deb" "$out/"
  echo "$out/$(basename "$deb")"
done
