#!/usr/bin/env bash
# Arrowsong in the browser, built with Debian's emscripten from the game's own
# sources.
#
#   scripts/web.sh site [DIR]    installs what is missing (install-deps.sh
#                                --web) and builds the static site into DIR
#                                (default build/web/site): index.html, its
#                                script and style, the game (arrowsong.js and
#                                .wasm), the audio worklet and its audio.wasm,
#                                the text's font (font.js)
#   scripts/web.sh serve [PORT]  builds the site and serves it on
#                                http://127.0.0.1:PORT/ (default 8023) until
#                                Ctrl-C
#   scripts/web.sh deps          installs the browser tests' npm packages
#                                (puppeteer-core, from tests/webgame's lock file)
#   scripts/web.sh site-bench    the audio worklet's cost per block in Node and
#                                the page's frame rate in headless Chromium
#
# The site is plain files: any static web host serves it as it is. Browsers
# open the microphone only on https:// pages and on this machine's own
# addresses (127.0.0.1, localhost).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# Debian's emscripten finds its acorn module there when Node comes from
# another package.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}

need() { # command, package
  command -v "$1" >/dev/null || { echo "web: $1 not found (apt-get install $2, or scripts/install-deps.sh --test)" >&2; exit 1; }
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

case "${1:-}" in
  site)
    build_site "${2:-$root/build/web/site}"
    ;;
  serve)
    need node nodejs
    port=${2:-8023}
    build_site "$root/build/web/site"
    exec node "$root/web/serve.mjs" "$root/build/web/site" "$port"
    ;;
  deps)
    npm_deps
    ;;
  site-bench)
    need node nodejs
    build_site "$root/build/web/site"
    [ -d "$root/tests/webgame/node_modules/puppeteer-core" ] || npm_deps
    node "$root/bench/web/audio_block.mjs" "$root/build/web/site/audio.wasm"
    node "$root/bench/web/frame_rate.mjs" "$root/build/web/site"
    ;;
  *)
    echo "usage: scripts/web.sh site [DIR] | serve [PORT] | deps | site-bench" >&2
    exit 2
    ;;
esac
