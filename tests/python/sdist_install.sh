#!/bin/sh
# An sdist of the Python module carries the C sources it needs, so it builds
# where pip unpacks it, away from the repository.
#   sdist_install.sh SOURCE_DIR WORK_DIR
set -eu
src=$1
venv=$2/sdist-venv
dist=$2/sdist

rm -rf "$venv" "$dist"
/usr/bin/python3 -m venv --system-site-packages "$venv"
(cd "$src/python" && /usr/bin/python3 setup.py -q sdist -d "$dist")
set -- "$dist"/wavepitch-*.tar.gz
[ -f "$1" ] || { echo "no sdist was written to $dist" >&2; exit 1; }
if tar -tzf "$1" | grep -q '/csrc/pitch/src/.*\.cpp$'; then :; else
  echo "the sdist lacks the C sources" >&2
  exit 1
fi
"$venv/bin/pip" install --no-build-isolation --no-index "$1"

cd /
"$venv/bin/python" - <<'PY'
import sys
import numpy as np
import wavepitch

assert wavepitch.__file__.startswith(sys.prefix), wavepitch.__file__
t = np.arange(4096) / 44100.0
times, pitches = wavepitch.track(0.5 * np.sin(2 * np.pi * 440.0 * t), window=1024)
assert len(times) == 7 and all(abs(p - 440.0) < 2.0 for p in pitches), pitches
print("sdist build tracks", pitches)
PY
