#!/usr/bin/env bash
# The test command. Installs what is missing, then checks and tests everything:
#   0. the format of every C and C++ file, and shellcheck over every script;
#   1. the dev preset: warnings as errors, every test (unit, install,
#      packaging, Python, end-to-end under Xvfb with PulseAudio and PipeWire,
#      the browser edition in headless Chromium, the quick figures run);
#   2. the asan preset: the same under AddressSanitizer and
#      UndefinedBehaviorSanitizer;
#   3. the tsan preset: the cross-thread tests under ThreadSanitizer;
#   4. the fuzz preset: every libFuzzer target for FUZZ_SECONDS (default 30)
#      each, with clang, under AddressSanitizer and UndefinedBehaviorSanitizer.
# Any failure, warning or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --figures

jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-30}
export CTEST_OUTPUT_ON_FAILURE=1
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0:halt_on_error=1:detect_leaks=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

step() { printf '\n=== %s\n' "$*"; }

# ctest with its output kept, so that the closing line can add up every pass.
# Every test preset fails when it finds no test: a build that left its tests
# out must not pass for one that ran them.
passed=0
run_tests() { # test preset, extra ctest args...
  local preset=$1 log
  shift
  log=build/$preset.ctest.log
  ctest --preset "$preset" "$@" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  local count
  count=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  passed=$((passed + ${count:-0}))
  return "$status"
}

# A configure preset gives every option its build relies on, whatever an
# earlier configure of the same folder left in the cache (run.sh, say, on a
# machine that had no test packages yet). Here warnings are errors and a tool
# missing for a test fails the configure.
configure() { # configure preset
  local log=build/$1.configure.log
  cmake --preset "$1" -DARROWSONG_WERROR=ON -DARROWSONG_REQUIRE_ALL=ON >"$log" 2>&1 \
    || { cat "$log"; return 1; }
}

# The labels the normal build must hold tests of; a build that lost one of
# these groups fails here rather than passing with fewer tests.
require_labels() { # build dir, labels...
  local dir=$1 label found
  shift
  for label in "$@"; do
    found=$(ctest --test-dir "$dir" -N -L "^$label\$" | sed -n 's/^Total Tests: //p')
    if [ "${found:-0}" -eq 0 ]; then
      echo "test: no '$label' tests in $dir" >&2
      return 1
    fi
  done
}

mkdir -p build

step "format and shell checks"
scripts/check-format.sh
passed=$((passed + 2))

step "normal build (dev)"
configure dev
cmake --build --preset dev -j "$jobs"
require_labels build/dev e2e pipewire figures install packaging python live display tsan web
step "tests (dev)"
run_tests all -j "$jobs"

step "AddressSanitizer + UndefinedBehaviorSanitizer build (asan)"
configure asan
cmake --build --preset asan -j "$jobs"
step "tests (asan)"
run_tests asan -j "$jobs"

step "ThreadSanitizer build (tsan)"
configure tsan
cmake --build --preset tsan -j "$jobs"
step "tests (tsan)"
run_tests tsan

step "fuzz targets (fuzz: clang, ASan + UBSan, ${fuzz_seconds}s each)"
configure fuzz
cmake --build --preset fuzz -j "$jobs"
fuzzed=0
while read -r fuzzer; do
  [ -n "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  # Every image load has a memory budget, 41 MiB at the fuzzer's side limit
  # of 1024 pixels, and a header the input's bytes cannot fill buys nothing:
  # no single block may come near 64 MiB.
  limits=()
  [ "$name" = util_image_fuzzer ] && limits=(-malloc_limit_mb=64)
  echo "--- $name"
  "$fuzzer" -max_total_time="$fuzz_seconds" -print_final_stats=1 "${limits[@]}" "$corpus" "${seeds[@]}" \
    >"build/fuzz/$name.log" 2>&1 || { tail -n 60 "build/fuzz/$name.log"; exit 1; }
  grep -a -E '^stat::(number_of_executed_units|peak_rss_mb)' "build/fuzz/$name.log" || true
  fuzzed=$((fuzzed + 1))
  passed=$((passed + 1))
done < build/fuzz/fuzzers.txt
[ "$fuzzed" -gt 0 ] || { echo "test: no fuzz targets were built" >&2; exit 1; }
echo "fuzz: ${fuzzed} targets ran clean"

step "all passed"
echo "tests: ${passed} passed, 0 failed"
