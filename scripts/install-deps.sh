#!/usr/bin/env bash
# Installs every Debian 12 package that Arrowsong needs to build, run, test and
# measure itself. Idempotent: packages already present are skipped, and apt is
# not touched at all when nothing is missing.
#
#   scripts/install-deps.sh           build and run the game
#   scripts/install-deps.sh --test    also the test, benchmark and harness tools,
#                                     and the browser tests' npm packages
#   scripts/install-deps.sh --figures also what regenerates the published figures
#   scripts/install-deps.sh --package also what builds and checks the Debian packages
#   scripts/install-deps.sh --web     also what builds the JavaScript package and
#                                     builds and serves the browser edition
set -euo pipefail

runtime=(
  build-essential cmake pkg-config
  librtaudio-dev libpulse-dev libasound2-dev libasound2-plugins freeglut3-dev libglu1-mesa-dev libgl1-mesa-dev libgl1-mesa-dri
  libsndfile1-dev libstb-dev
  pulseaudio pulseaudio-utils xvfb xauth x11-utils xdotool imagemagick
)
testing=(
  libgtest-dev libgmock-dev libbenchmark-dev libaubio-dev
  clang libclang-rt-14-dev clang-format shellcheck sox procps
  # PipeWire beside PulseAudio, and a JACK server, for the end-to-end
  # cases. Never pipewire-audio-client-libraries: it removes pulseaudio.
  pipewire pipewire-pulse wireplumber dbus-daemon jackd2 libjack-jackd2-dev
  python3-dev python3-venv python3-setuptools python3-wheel python3-pybind11
  python3-numpy python3-pytest
  # The figures' measures, page and plots (Debian's /usr/bin/python3), whose
  # unit tests and quick run are in the test command.
  python3-mir-eval python3-scipy python3-jinja2 python3-matplotlib
  # The peers the figures' datasheet measures; the quick run in the test
  # command runs them too.
  sptk praat
  # pitchtrack's benchmarks: the resamplers it was measured against, and
  # aubiopitch beside the whole program.
  libsamplerate0-dev libsoxr-dev aubio-tools
  # The JavaScript package's declarations are type-checked with Debian's
  # TypeScript; headless Chromium runs the package and plays the browser
  # edition in the tests.
  node-typescript chromium
)
# The JavaScript package and the browser edition: emscripten builds them, the
# browser edition with the X11 fixed font the desktop's text uses, and Node
# runs and serves them (nodejs and npm below, from Debian
# only when the node and npm commands are missing).
web=(
  emscripten xfonts-base
)
figures=(
  fluidsynth fluid-soundfont-gm
)
packaging=(
  dpkg-dev lintian desktop-file-utils appstream groff-base man-db debootstrap
)

want=("${runtime[@]}")
browser_tests=false
node_wanted=false
for arg in "$@"; do
  case "$arg" in
    --test) want+=("${testing[@]}" "${packaging[@]}" "${web[@]}"); browser_tests=true ;;
    --figures) want+=("${testing[@]}" "${packaging[@]}" "${web[@]}" "${figures[@]}"); browser_tests=true ;;
    --package) want+=("${packaging[@]}") ;;
    --web) want+=("${web[@]}"); node_wanted=true ;;
    *) echo "install-deps: unknown option: $arg" >&2; exit 2 ;;
  esac
done
# Debian's Node and npm only where there are none: a Node from elsewhere
# brings its own npm, which Debian's npm package would conflict with.
if $browser_tests || $node_wanted; then
  command -v node >/dev/null || want+=(nodejs)
  command -v npm >/dev/null || want+=(npm)
fi

# The browser tests' npm packages (puppeteer-core), exactly as locked, when
# they are missing or older than the lock file.
npm_packages() {
  $browser_tests || return 0
  local dir
  dir="$(cd "$(dirname "$0")/.." && pwd)/tests/webgame"
  if [ ! -f "$dir/node_modules/.package-lock.json" ] ||
    [ "$dir/package-lock.json" -nt "$dir/node_modules/.package-lock.json" ]; then
    echo "install-deps: npm ci in tests/webgame"
    (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error)
  fi
}

missing=()
for pkg in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  npm_packages
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  as_root=()
else
  as_root=(sudo)
fi

echo "install-deps: installing ${missing[*]}"
# jackd2 asks whether to allow real-time priorities; the answer changes
# nothing the tests need.
echo "jackd2 jackd/tweak_rt_limits boolean false" | "${as_root[@]}" debconf-set-selections
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
npm_packages
