#!/usr/bin/env bash
# Builds Arrowsong and starts it.
#
#   scripts/run.sh
#
# Installs what the game needs (scripts/install-deps.sh), configures and
# builds build/release, then:
#   - on a desktop (a display that answers): starts the game on it, with the
#     default microphone and speakers;
#   - without a display (a server, CI, a fresh container): plays one scripted
#     round on a virtual display with virtual audio devices (goal tone, a sung
#     tone fed to the microphone, release, the arrow's flight) and says where
#     it left the console transcript and a screenshot of the landed arrow.
# Arguments after the script's name go to the game on a desktop.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/release

scripts/install-deps.sh

# A fresh build folder leaves out the tests and benchmarks when their
# packages are missing; an existing one keeps the options it has.
if [ ! -f "$build/CMakeCache.txt" ]; then
  extra=()
  installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
  installed libgtest-dev || extra+=(-DARROWSONG_BUILD_TESTS=OFF)
  installed libbenchmark-dev || extra+=(-DARROWSONG_BUILD_BENCH=OFF)
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}" >/dev/null
else
  cmake -S "$root" -B "$build" >/dev/null
fi
jobs=$(nproc)
[ "$jobs" -gt 2 ] && jobs=2
cmake --build "$build" -j "$jobs" --target Arrowsong

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$build/app/Arrowsong" "$@"
fi

# No display: the scripted round drives the game with the headless harness
# (tools/headless) and three small helpers of it.
cmake --build "$build" -j "$jobs" --target e2e_feeder e2e_freqmeter e2e_scene

echo "No display found: playing one scripted round on a virtual display."
out=$root/out/headless
exec tools/headless/play_round.sh "$build/app/Arrowsong" "$build/tools/headless" "$out"
