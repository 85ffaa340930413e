# shellcheck shell=bash
# The headless harness's checks: failed expectations counted, sanitizer
# reports, comparisons of numbers and screenshots, and the end of a case.
# Sourced by harness.sh.


# A failed check: reported at once, counted, and the test goes on so that one
# run shows every broken expectation.
e2e_fail() {
  E2E_FAILS=$((E2E_FAILS + 1))
  printf '[e2e %s] FAIL: %s\n' "$E2E_NAME" "$*" >&2
}

# A failure that makes the rest of the test meaningless.
e2e_abort() {
  e2e_fail "$*"
  e2e_dump
  exit 1
}


# --- checks -------------------------------------------------------------------

e2e_expect() { # description, command...
  local what=$1; shift
  "$@" || e2e_fail "$what"
}

# Two screenshots show the same scene: a resting arrow still glides by a
# vanishing fraction of its last distance, which can flip a few pixels on
# its edges, and nothing else may differ.
e2e_same_scene() { # png, png
  local differ
  differ=$(compare -metric AE "$1" "$2" null: 2>&1)
  e2e_log "$differ pixels differ between $(basename "$1") and $(basename "$2")"
  [ "${differ%%.*}" -le 20 ] 2>/dev/null
}

# Fails when the program's standard error holds a sanitizer report.
e2e_check_stderr() {
  if grep -Eq 'ERROR: (Address|Leak|Thread)Sanitizer|runtime error:|SUMMARY: UndefinedBehaviorSanitizer' \
    "$E2E_DIR/err"; then
    e2e_fail "sanitizer report on the program's stderr"
  fi
}

# Floating-point comparisons for the shell.
e2e_near() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= t) }'; }
e2e_between() { awk -v a="$1" -v lo="$2" -v hi="$3" 'BEGIN { exit !(a >= lo && a <= hi) }'; }

e2e_dump() {
  [ -n "$E2E_DIR" ] || return 0
  local f
  for f in out err; do
    [ -s "$E2E_DIR/$f" ] && { echo "--- program std$f:"; tail -n 40 "$E2E_DIR/$f"; } >&2
  done
  return 0
}

e2e_end() {
  e2e_check_stderr
  if [ "$E2E_FAILS" -gt 0 ]; then
    e2e_dump
    e2e_log "$E2E_FAILS check(s) failed; files in $E2E_DIR"
    exit 1
  fi
  e2e_log "passed"
  exit 0
}

