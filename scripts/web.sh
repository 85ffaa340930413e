#!/usr/bin/env bash
# The JavaScript side of Arrowsong, built with Debian's emscripten.
#
#   scripts/web.sh package [--out DIR] [--no-install]
#       builds the wavepitch npm package (the C library compiled to
#       WebAssembly, its ES module, declarations and README) and writes
#       DIR/wavepitch-VERSION.tgz, as npm pack makes it (DIR: build/web).
#   scripts/web.sh bench
#       measures the package against the JavaScript peers (pitchy, aubiojs,
#       installed with npm ci from bench/web/package-lock.json) and the
#       native library on the same windows, in build/release and build/web.
#   scripts/web.sh help
#
# Each subcommand is a function cmd_NAME below; --no-install skips installing
# missing Debian packages (the CMake build passes it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  sed -n '2,15s/^# \{0,1\}//p' "$0"
}

die() {
  echo "web: $*" >&2
  exit 1
}

# The version of the project() call in the top-level CMakeLists.txt.
project_version() {
  sed -n '/^project(/,/)/s/^ *VERSION \([0-9][0-9.]*\).*/\1/p' "$root/CMakeLists.txt" | head -n 1
}

# The compiler flags of the WebAssembly build: the native build's warnings,
# 128-bit SIMD, and the library's SSE2 paths through emscripten's SSE2
# headers, which map them onto the same IEEE operations.
wasm_flags=(
  -std=c++17 -O3 -DNDEBUG -fno-exceptions -fno-rtti
  -msimd128 -msse2
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wdouble-promotion -Werror
)
# A standalone reactor: no JavaScript glue of emscripten's (the package's own
# module loads it), memory that grows on demand, and the exports named in
# the glue source.
link_flags=(
  --no-entry -sSTANDALONE_WASM=1 -sALLOW_MEMORY_GROWTH=1
  -sINITIAL_MEMORY=1MB -sTOTAL_STACK=256KB -sFILESYSTEM=0
)

cmd_package() {
  local out=$root/build/web install=1
  while [ $# -gt 0 ]; do
    case "$1" in
      --out) [ $# -ge 2 ] || die "--out needs a folder"; out=$2; shift 2 ;;
      --no-install) install=0; shift ;;
      *) die "package: unknown option: $1" ;;
    esac
  done
  if [ "$install" -eq 1 ]; then
    "$root/scripts/install-deps.sh" --web
  fi
  command -v emcc >/dev/null || die "emcc is missing (Debian package emscripten)"
  command -v npm >/dev/null || die "npm is missing"
  local version
  version=$(project_version)
  [ -n "$version" ] || die "no VERSION in $root/CMakeLists.txt"

  mkdir -p "$out"
  out=$(cd "$out" && pwd)
  local stage=$out/package
  rm -rf "$stage"
  mkdir -p "$stage"

  # Debian's emscripten finds its JavaScript modules (acorn) only here.
  export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
  emcc "${wasm_flags[@]}" -I"$root/pitch/include" -I"$root/pitch/src" -I"$root/tools/pitchtrack" \
    "$root"/pitch/src/*.cpp "$root/tools/pitchtrack/tracker_input.cpp" "$root/web/src/glue.cpp" \
    "${link_flags[@]}" -o "$stage/wavepitch.wasm"

  cp "$root/web/src/wavepitch.js" "$root/web/src/wavepitch.d.ts" \
    "$root/web/src/wavepitch-processor.js" "$root/web/README.md" "$root/LICENSE" "$stage/"
  sed "s/@VERSION@/$version/" "$root/web/package.json" >"$stage/package.json"

  rm -f "$out/wavepitch-$version.tgz"
  (cd "$stage" && npm pack --silent --pack-destination "$out" >/dev/null)
  [ -f "$out/wavepitch-$version.tgz" ] || die "npm pack wrote no $out/wavepitch-$version.tgz"
  echo "$out/wavepitch-$version.tgz"
}

cmd_bench() {
  [ $# -eq 0 ] || die "bench takes no options"
  "$root/scripts/install-deps.sh" --test
  local build=$root/build/release
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset dev -S "$root" >/dev/null
  fi
  cmake --build "$build" --target wavepitch_npm web_native_bench
  local version dir
  version=$(project_version)
  dir=$root/build/web/bench
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$root/bench/web/package.json" "$root/bench/web/package-lock.json" "$root/bench/web/bench.mjs" "$dir/"
  (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error &&
    npm install --offline --no-save --no-audit --no-fund --loglevel=error \
      "$build/web/wavepitch-$version.tgz")
  WEB_NATIVE_BENCH=$build/bench/web/web_native_bench node "$dir/bench.mjs"
}

cmd_help() {
  usage
}

[ $# -ge 1 ] || { usage >&2; exit 2; }
command=$1
shift
case "$command" in
  package | bench | help) "cmd_$command" "$@" ;;
  -h | --help) cmd_help ;;
  *) usage >&2; die "unknown command: $command" ;;
esac
