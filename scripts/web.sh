#!/usr/bin/env bash
# The JavaScript side of Arrowsong, built with Debian's emscripten: the
# wavepitch npm package and the game in the browser, from the same C++.
#
#   scripts/web.sh package [--out DIR] [--no-install]
#       builds the wavepitch npm package (the C library compiled to
#       WebAssembly, its ES module, declarations and README) and writes
#       DIR/wavepitch-VERSION.tgz, as npm pack makes it (DIR: build/web).
#   scripts/web.sh bench
#       measures the package against the JavaScript peers (pitchy, aubiojs,
#       installed with npm ci from bench/web/package-lock.json) and the
#       native library on the same windows, in build/dev and build/web.
#   scripts/web.sh site [DIR]
#       installs what is missing (install-deps.sh --web) and builds the
#       game's static site into DIR (default build/web/site): index.html, its
#       script and style, the game (arrowsong.js and .wasm), the audio
#       worklet and its audio.wasm, the text's font (font.js)
#   scripts/web.sh serve [PORT]
#       builds the site and serves it on http://127.0.0.1:PORT/ (default
#       8023) until Ctrl-C
#   scripts/web.sh deps
#       installs the browser tests' npm packages (puppeteer-core, from
#       tests/webgame's lock file)
#   scripts/web.sh site-bench
#       the game's audio worklet's cost per block in Node and the page's
#       frame rate in headless Chromium
#   scripts/web.sh help
#
# The site is plain files: any static web host serves it as it is. Browsers
# open the microphone only on https:// pages and on this machine's own
# addresses (127.0.0.1, localhost). Each subcommand is a function cmd_NAME
# below; --no-install (WEB_NO_INSTALL=1 for the site) skips installing
# missing Debian packages (the CMake build passes it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# Debian's emscripten finds its JavaScript modules (acorn) only here when
# Node comes from another package.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

usage() {
  sed -n '2,34s/^# \{0,1\}//p' "$0"
}

die() {
  echo "web: $*" >&2
  exit 1
}

need() { # command, package
  command -v "$1" >/dev/null || die "$1 not found (apt-get install $2, or scripts/install-deps.sh --test)"
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

  emcc "${wasm_flags[@]}" -I"$root/pitch/include" -I"$root/pitch/src" -I"$root/app/pitchtrack" \
    "$root"/pitch/src/*.cpp "$root/app/pitchtrack/tracker_input.cpp" "$root/web/src/glue.cpp" \
    "${link_flags[@]}" -o "$stage/wavepitch.wasm"

  cp "$root/web/src/wavepitch.js" "$root/web/src/wavepitch.d.ts" \
    "$root/web/src/wavepitch-processor.js" "$root/web/src/pitch-ring.js" "$root/web/README.md" "$root/LICENSE" "$stage/"
  sed "s/@VERSION@/$version/" "$root/web/package.json" >"$stage/package.json"

  rm -f "$out/wavepitch-$version.tgz"
  (cd "$stage" && npm pack --silent --pack-destination "$out" >/dev/null)
  [ -f "$out/wavepitch-$version.tgz" ] || die "npm pack wrote no $out/wavepitch-$version.tgz"
  echo "$out/wavepitch-$version.tgz"
}

cmd_bench() {
  [ $# -eq 0 ] || die "bench takes no options"
  "$root/scripts/install-deps.sh" --test
  local build=$root/build/dev
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

build_site() { # output folder
  local out=$1 work font=/usr/share/fonts/X11/misc/9x15-ISO8859-1.pcf.gz
  # What is missing is installed first, unless the build calls (it has
  # checked for the tools itself).
  [ "${WEB_NO_INSTALL:-0}" = 1 ] || "$root/scripts/install-deps.sh" --web
  need emcc emscripten
  need node nodejs
  mkdir -p "$out"
  work=$(mktemp -d "${TMPDIR:-/tmp}/arrowsong-web.XXXXXX")
  # shellcheck disable=SC2064 # the folder is known now
  trap "rm -rf '$work'" EXIT
  local flags=(-std=c++17 -O2 -Wall -Wextra
    -I"$root/game/include" -I"$root/game/src" -I"$root/render/include"
    -I"$root/util/include" -I"$root/pitch/include" -I"$root/pitch/src")
  # The test command builds with warnings as errors (ARROWSONG_WERROR=ON).
  case "${ARROWSONG_WERROR:-0}" in 1 | ON | on | true | TRUE) flags+=(-Werror) ;; esac

  # The game on the main thread: state, rules, controls, window, board and
  # arrow, as the desktop builds them, over the browser's GL layer.
  local game_sources=(
    game/src/state.cpp game/src/rules.cpp game/src/controls.cpp
    render/src/window.cpp render/src/board.cpp render/src/arrow.cpp
    util/src/XFun.cpp util/src/XRandom.cpp util/src/Vector3D.cpp
    web/game/gl_web.cpp web/game/main_web.cpp)
  local objects=() src obj
  for src in "${game_sources[@]}"; do
    obj=$work/$(echo "$src" | tr / _).o
    emcc "${flags[@]}" -c "$root/$src" -o "$obj"
    objects+=("$obj")
  done
  emcc -O2 "${objects[@]}" -o "$work/arrowsong.js" \
    -sMODULARIZE=1 -sEXPORT_NAME=createArrowsong -sENVIRONMENT=web \
    -sALLOW_MEMORY_GROWTH=1 -sEXPORTED_RUNTIME_METHODS=UTF8ToString

  # The audio block alone, for the worklet: no JavaScript glue, no imports.
  # The tracker takes its SSE2 path through WebAssembly's SIMD, as on the
  # desktop, so that it sees the very same arithmetic.
  local audio_sources=(game/src/state.cpp web/game/audio_web.cpp
    pitch/src/dynamic_tracking.cpp pitch/src/extrema_scan.cpp pitch/src/power2.cpp
    pitch/src/wavelet_pitch.cpp)
  local audio_objects=()
  for src in "${audio_sources[@]}"; do
    obj=$work/audio_$(echo "$src" | tr / _).o
    emcc "${flags[@]/-O2/-O3}" -msimd128 -msse2 -c "$root/$src" -o "$obj"
    audio_objects+=("$obj")
  done
  emcc -O3 "${audio_objects[@]}" -o "$work/audio.wasm" --no-entry -sSTANDALONE_WASM=1 \
    -sTOTAL_STACK=65536 -sINITIAL_MEMORY=1048576 -sALLOW_MEMORY_GROWTH=0 \
    -sEXPORTED_FUNCTIONS=_arrowsong_audio_input,_arrowsong_audio_output,_arrowsong_audio_pitches,_arrowsong_audio_init,_arrowsong_audio_controls,_arrowsong_audio_block

  # The desktop's GLUT bitmap font is X11's 9x15 fixed font.
  [ -f "$font" ] || { echo "web: $font not found (apt-get install xfonts-base)" >&2; exit 1; }
  node "$root/web/font.mjs" "$font" >"$work/font.js"

  cp "$work/arrowsong.js" "$work/arrowsong.wasm" "$work/audio.wasm" "$work/font.js" "$out/"
  cp "$root/web/game/index.html" "$root/web/game/page.js" "$root/web/game/worklet.js" \
    "$root/web/game/style.css" "$out/"
  echo "web: site in $out"
}

npm_deps() {
  need node nodejs
  need npm npm
  (cd "$root/tests/webgame" && npm ci --no-audit --no-fund --loglevel=error)
}

cmd_site() {
  build_site "${1:-$root/build/web/site}"
}

cmd_serve() {
  need node nodejs
  local port=${1:-8023}
  build_site "$root/build/web/site"
  exec node "$root/web/serve.mjs" "$root/build/web/site" "$port"
}

cmd_deps() {
  npm_deps
}

cmd_site_bench() {
  need node nodejs
  build_site "$root/build/web/site"
  [ -d "$root/tests/webgame/node_modules/puppeteer-core" ] || npm_deps
  node "$root/bench/web/audio_block.mjs" "$root/build/web/site/audio.wasm"
  node "$root/bench/web/frame_rate.mjs" "$root/build/web/site"
}

cmd_help() {
  usage
}

[ $# -ge 1 ] || { usage >&2; exit 2; }
command=$1
shift
case "$command" in
  package | bench | site | serve | deps | help) "cmd_$command" "$@" ;;
  site-bench) cmd_site_bench "$@" ;;
  -h | --help) cmd_help ;;
  *) usage >&2; die "unknown command: $command" ;;
esac
