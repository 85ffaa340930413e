#!/usr/bin/env bash
# The format gate of the test command in a release tarball: a tree made by
# git archive, with no .git, on a machine without git. The gate must check
# the same files as in the repository, and pass.
#   check_tarball_gate.sh SOURCE_DIR WORK_DIR
# From a git work tree, HEAD is archived into WORK_DIR/tree, and files that
# builds and tools leave behind are planted where .gitignore keeps them out.
# From a source tree that has no git (itself unpacked from a tarball) the
# gate runs on that tree as it is, build folder and all. Either way git is
# hidden behind a stand-in that fails as a missing command does.
set -euo pipefail
src=$(cd "$1" && pwd -P)
work=$2
rm -rf "$work"
mkdir -p "$work/bin"
fail() {
  echo "tarball gate: $*" >&2
  exit 1
}

printf '#!/bin/sh\necho "git: command not found" >&2\nexit 127\n' >"$work/bin/git"
chmod +x "$work/bin/git"

expected=
if command -v git >/dev/null && [ "$(git -C "$src" rev-parse --show-toplevel 2>/dev/null)" = "$src" ]; then
  tree=$work/tree
  mkdir -p "$tree"
  git -C "$src" archive HEAD | tar -x -C "$tree"
  # What git archive holds that the gate checks: C and C++ files, shell
  # scripts, everything under scripts/ and the CI entry point.
  expected=$(git -C "$src" ls-tree -r --name-only HEAD |
    grep -E '\.(c|cpp|h|sh)$|^scripts/|^\.ci/run$' | LC_ALL=C sort -u)
  # Strays that would fail the gate: a build folder's, a virtual
  # environment's, the Python build's.
  mkdir -p "$tree/build/release" "$tree/.venv/lib" "$tree/python/build"
  printf 'int  main( ){return 0 ;}\n' >"$tree/build/release/stray.cpp"
  printf 'int  x ;\n' >"$tree/.venv/lib/stray.h"
  printf '#!/bin/sh\necho $undefined_and_unquoted\n' >"$tree/python/build/stray.sh"
else
  tree=$src
fi

listed=$(PATH="$work/bin:$PATH" bash "$tree/scripts/check-format.sh" --list) ||
  fail "the gate cannot list the files of $tree"
listed=$(LC_ALL=C sort -u <<<"$listed")
if [ -n "$expected" ]; then
  [ "$listed" = "$expected" ] || {
    diff <(echo "$expected") <(echo "$listed") >&2 || true
    fail "the gate lists other files than git archive holds (< archive, > listed)"
  }
else
  for f in scripts/test.sh scripts/check-format.sh pitch/include/wavepitch.h; do
    grep -qx "$f" <<<"$listed" || fail "the gate does not list $f"
  done
  ! grep -q '^build/' <<<"$listed" || fail "the gate lists files of the build folder"
fi
PATH="$work/bin:$PATH" bash "$tree/scripts/check-format.sh" || fail "the gate fails in $tree"
echo "tarball gate: $(wc -l <<<"$listed") files listed and clean in $tree"
