#!/usr/bin/env bash
# The test command's first gate: every C and C++ file against the checked-in
# .clang-format, and every script clean under shellcheck -S warning.
#   scripts/check-format.sh          checks, then prints one line of counts
#   scripts/check-format.sh --list   prints the files it would check instead
# The files are the project's own. In a git work tree of this folder they are
# the files git tracks. In a source tree without git (a release tarball, as
# git archive makes it) they are the files found in the tree, leaving out
# .git and whatever .gitignore names: build folders, virtual environments and
# other things that builds and tools add. Needs clang-format and shellcheck
# (scripts/install-deps.sh --test).
set -euo pipefail
cd "$(dirname "$0")/.."

# True when git tracks this very folder (not a folder that merely lies
# inside some other work tree).
tracked_by_git() {
  command -v git >/dev/null 2>&1 || return 1
  local top
  top=$(git rev-parse --show-toplevel 2>/dev/null) || return 1
  [ "$(cd "$top" && pwd -P)" = "$(pwd -P)" ]
}

# find's tests for what .gitignore leaves out, into the arrays skip_dirs and
# skip_files (each an or-chain). Its negations (!) are not followed.
skip_dirs=(-name .git)
skip_files=(-false)
read_gitignore() {
  local line pattern test
  [ -f .gitignore ] || return 0
  while IFS= read -r line || [ -n "$line" ]; do
    case $line in '' | '#'* | '!'*) continue ;; esac
    pattern=${line%/}
    if [[ $pattern == */* ]]; then
      test=(-path "./${pattern#/}")
    else
      test=(-name "$pattern")
    fi
    skip_dirs+=(-o "${test[@]}")
    if [ "$pattern" = "$line" ]; then
      skip_files+=(-o "${test[@]}")
    fi
  done <.gitignore
}

# The files for find's name tests given, as paths from this folder, sorted as
# git sorts them.
find_files() { # find tests...
  find . \( -type d \( "${skip_dirs[@]}" \) -prune \) -o \
    \( -type f ! \( "${skip_files[@]}" \) \( "$@" \) -print \) |
    sed 's|^\./||' | LC_ALL=C sort
}

list_sources() {
  if tracked_by_git; then
    git ls-files '*.c' '*.cpp' '*.h'
  else
    find_files -name '*.c' -o -name '*.cpp' -o -name '*.h'
  fi
}

list_scripts() {
  if tracked_by_git; then
    git ls-files '*.sh' scripts .ci/run | LC_ALL=C sort -u
  else
    find_files -name '*.sh' -o -path './scripts/*' -o -path ./.ci/run | LC_ALL=C sort -u
  fi
}

read_gitignore
mapfile -t sources < <(list_sources)
mapfile -t scripts < <(list_scripts)
if [ "${#sources[@]}" -eq 0 ] || [ "${#scripts[@]}" -eq 0 ]; then
  echo "check-format: found no sources or no scripts to check in $(pwd)" >&2
  exit 1
fi

if [ "${1:-}" = --list ]; then
  printf '%s\n' "${sources[@]}" "${scripts[@]}"
  exit 0
fi
clang-format --dry-run --Werror "${sources[@]}"
shellcheck -S warning "${scripts[@]}"
echo "format: ${#sources[@]} files clean; shellcheck: ${#scripts[@]} scripts clean"
