#!/usr/bin/env bash
# The test command. Installs what is missing, then builds and runs every test:
#   1. a normal build with warnings as errors, all tests (unit, install,
#      end-to-end under Xvfb and PulseAudio, the quick figures run);
#   2. the same under AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the cross-thread tests under ThreadSanitizer;
#   4. every libFuzzer target for FUZZ_SECONDS (default 30) each, with clang,
#      under AddressSanitizer and UndefinedBehaviorSanitizer.
# Any failure, warning or sanitizer report fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-deps.sh --figures

jobs=$(nproc)
fuzz_seconds=${FUZZ_SECONDS:-30}
export CTEST_OUTPUT_ON_FAILURE=1
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=0:halt_on_error=1:detect_leaks=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}

step() { printf '\n=== %s\n' "$*"; }

# ctest with its output kept, so that the closing line can add up every pass.
# A run that finds no test fails: a build that left its tests out must not
# pass for one that ran them.
passed=0
run_ctest() { # build dir, ctest args...
  local dir=$1 log
  shift
  log=$dir.ctest.log
  ctest --test-dir "$dir" --no-tests=error "$@" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  local count
  count=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  passed=$((passed + ${count:-0}))
  return "$status"
}

# Every option a step relies on is given, whatever an earlier configure of
# the same folder left in its cache (run.sh, say, on a machine that had no
# test packages yet), and a tool missing for a test fails the configure.
configure_and_build() { # dir, extra cmake args...
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -DARROWSONG_WERROR=ON -DARROWSONG_REQUIRE_ALL=ON "$@" \
    >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
}

# The labels a normal build must hold tests of; a build that lost one of
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

# On a fresh checkout, build/release is first configured the way run.sh
# configures it on a machine without the test packages: tests and benchmarks
# off. The normal build below must turn them on again, so every run of this
# command checks that an earlier cache cannot shrink the suite.
if [ ! -f build/release/CMakeCache.txt ]; then
  step "build/release configured as run.sh does without the test packages"
  cmake -S "$root" -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DARROWSONG_BUILD_TESTS=OFF -DARROWSONG_BUILD_BENCH=OFF >build/release.configure.log 2>&1 \
    || { cat build/release.configure.log; exit 1; }
fi

step "normal build"
configure_and_build build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DARROWSONG_BUILD_GAME=ON -DARROWSONG_BUILD_TESTS=ON -DARROWSONG_BUILD_BENCH=ON \
  -DARROWSONG_BUILD_FUZZ=OFF -DARROWSONG_SANITIZE=
cmake --build build/release -j "$jobs"
require_labels build/release e2e figures install display tsan
step "tests (normal build)"
run_ctest build/release -j "$jobs" --timeout 600

step "AddressSanitizer + UndefinedBehaviorSanitizer build"
configure_and_build build/asan -DCMAKE_BUILD_TYPE=Debug \
  -DARROWSONG_SANITIZE=address,undefined -DARROWSONG_BUILD_GAME=ON \
  -DARROWSONG_BUILD_TESTS=ON -DARROWSONG_BUILD_BENCH=OFF -DARROWSONG_BUILD_FUZZ=OFF
cmake --build build/asan -j "$jobs"
step "tests (ASan + UBSan)"
run_ctest build/asan -j "$jobs" --timeout 900 -LE no-sanitizer

step "ThreadSanitizer build"
configure_and_build build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DARROWSONG_SANITIZE=thread -DARROWSONG_BUILD_GAME=ON \
  -DARROWSONG_BUILD_TESTS=ON -DARROWSONG_BUILD_BENCH=OFF -DARROWSONG_BUILD_FUZZ=OFF
cmake --build build/tsan -j "$jobs" --target tsan-tests
step "tests (ThreadSanitizer)"
run_ctest build/tsan --timeout 600 -L tsan

step "fuzz targets (clang, ASan + UBSan, ${fuzz_seconds}s each)"
CC=clang CXX=clang++ configure_and_build build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DARROWSONG_SANITIZE=address,undefined -DARROWSONG_BUILD_FUZZ=ON \
  -DARROWSONG_BUILD_TESTS=OFF -DARROWSONG_BUILD_BENCH=OFF -DARROWSONG_BUILD_GAME=OFF
cmake --build build/fuzz -j "$jobs" --target fuzz-targets
fuzzed=0
while read -r fuzzer; do
  [ -n "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  corpus=build/fuzz/corpus/$name
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/corpus/$name" ] && seeds=("fuzz/corpus/$name")
  # Every image load has a memory budget: an input asking for more fails.
  limits=()
  [ "$name" = util_image_fuzzer ] && limits=(-malloc_limit_mb=256)
  echo "--- $name"
  "$fuzzer" -max_total_time="$fuzz_seconds" -print_final_stats=1 "${limits[@]}" "$corpus" "${seeds[@]}" \
    >"build/fuzz/$name.log" 2>&1 || { tail -n 60 "build/fuzz/$name.log"; exit 1; }
  grep -a -E '^stat::(number_of_executed_units|peak_rss_mb)' "build/fuzz/$name.log" || true
  fuzzed=$((fuzzed + 1))
  passed=$((passed + 1))
done < build/fuzz/fuzzers.txt
echo "fuzz: ${fuzzed} targets ran clean"

step "all passed"
echo "tests: ${passed} passed, 0 failed"
