#!/bin/sh
# Installs the wavepitch component of a build tree into a fresh prefix, then
# builds the example program against it twice, once through the CMake package
# and once through pkg-config, and runs both.
#   install_consumer.sh <build dir> <example source dir> <work dir> <cmake>
set -eu
build=$1 example=$2 work=$3 cmake=$4

rm -rf "$work"
mkdir -p "$work"
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

"$cmake" --install "$build" --prefix "$prefix" --component wavepitch
[ -f "$prefix/include/wavepitch.h" ] || { echo "not installed: include/wavepitch.h" >&2; exit 1; }
lib=$(find "$prefix" -name libwavepitch.a)
pc=$(find "$prefix" -name wavepitch.pc)
[ -n "$lib" ] && [ -n "$pc" ] || { echo "library or .pc file not installed" >&2; exit 1; }
if find "$prefix" -name dywapitch_internal.h | grep -q .; then
  echo "the internal header must not be installed" >&2
  exit 1
fi

echo "--- find_package"
"$cmake" -S "$example" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_C_FLAGS="-Wall -Wextra -Werror" >"$work/configure.log" 2>&1 \
  || { cat "$work/configure.log"; exit 1; }
"$cmake" --build "$work/cmake-build"
"$work/cmake-build/wavepitch-consumer" 440

echo "--- pkg-config"
PKG_CONFIG_PATH=$(dirname "$pc")
export PKG_CONFIG_PATH
# shellcheck disable=SC2046 # pkg-config's flags are separate words
cc -std=c99 -Wall -Wextra -Werror -o "$work/pc-consumer" "$example/main.c" \
  $(pkg-config --cflags --libs wavepitch) -lm
"$work/pc-consumer" 196
