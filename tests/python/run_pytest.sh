#!/bin/sh
# Installs the Python module as the README says, into a fresh virtual
# environment, and runs its tests with that environment's interpreter.
#   run_pytest.sh SOURCE_DIR WORK_DIR C_LIBRARY PITCHTRACK
set -eu
src=$1
venv=$2/venv
export WAVEPITCH_CLIB="$3"
export WAVEPITCH_PITCHTRACK="$4"

rm -rf "$venv"
cd "$src"
/usr/bin/python3 -m venv --system-site-packages "$venv"
"$venv/bin/pip" install --no-build-isolation --no-index ./python

cd "$src/python/tests"
exec "$venv/bin/python" -m pytest -p no:cacheprovider -ra
