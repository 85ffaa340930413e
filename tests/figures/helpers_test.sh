#!/usr/bin/env bash
# The figures script's table helpers on inputs whose right answer is known:
# benchmark JSON in every time unit, quartiles, note names, the classes of
# cents error and the game's bands in words.
#
#   helpers_test.sh SOURCE_DIR
set -uo pipefail
src=$1
source "$src/tools/figures/report.sh"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fails=0
expect() { # description, expected, actual
  if [ "$2" != "$3" ]; then
    printf 'FAIL: %s\n  expected: %s\n  got:      %s\n' "$1" "$2" "$3" >&2
    fails=$((fails + 1))
  fi
}

# --- bench_table: aggregates only, every unit converted to µs ---------------
cat >"$tmp/bench.json" <<'EOF'
{
  "context": {
    "caches": [
      {
        "type": "Data",
        "size": 65536
      }
    ]
  },
  "benchmarks": [
    {
      "name": "BM_A",
      "run_type": "iteration",
      "real_time": 5.0e+03,
      "cpu_time": 4.0e+03,
      "time_unit": "ns"
    },
    {
      "name": "BM_A_median",
      "run_type": "aggregate",
      "aggregate_name": "median",
      "real_time": 2.5e+03,
      "cpu_time": 2.0e+03,
      "time_unit": "ns"
    },
    {
      "name": "BM_B/min_time:3.000/real_time_median",
      "run_type": "aggregate",
      "aggregate_name": "median",
      "real_time": 14.5,
      "cpu_time": 3.25,
      "time_unit": "ms",
      "frames/s": 69.0
    },
    {
      "name": "BM_C_stddev",
      "run_type": "aggregate",
      "aggregate_name": "stddev",
      "real_time": 1.5,
      "cpu_time": 0.75,
      "time_unit": "us"
    }
  ]
}
EOF
expect "bench_table rows" \
  "$(printf 'BM_A\tmedian\t2\t2.5\nBM_B/min_time:3.000/real_time\tmedian\t3250\t14500\nBM_C\tstddev\t0.75\t1.5')" \
  "$(bench_table "$tmp/bench.json")"

# callback_rows: medians with their standard deviations, labelled, in order.
printf 'BM_CallbackListening\tmedian\t18.5\t18.6\nBM_CallbackListening\tstddev\t0.5\t0.5\nBM_Other/x\tmedian\t3\t3\n' \
  >"$tmp/game.tsv"
expect "callback_rows" "$(printf 'listening, tone on\t18.5\t0.5\nBM_Other\t3\t')" \
  "$(callback_rows "$tmp/game.tsv")"

# --- stats: median and quartiles by linear interpolation -------------------
expect "stats of 1..5" "5 3 2 4 1 5" "$(printf '%s\n' 5 1 4 2 3 | stats)"
expect "stats of four" "4 25 17.5 32.5 10 40" "$(printf '%s\n' 40 10 30 20 | stats)"
expect "stats of none" "0" "$(stats </dev/null)"

# --- note names: the game's 57 is A4, 36 is C3, 59 is B4 --------------------
printf '#header\nFlute\t36\t130.8\nFlute\t57\t440\nClarinet\t59\t493.9\n' >"$tmp/notes.tsv"
awk -v dir="$tmp" -f "$src/tools/figures/split_notes.awk" "$tmp/notes.tsv"
expect "note names" "C3 A4" "$(awk -F'\t' '{ printf "%s%s", sep, $NF; sep = " " }' "$tmp/notes-flute.tsv")"
expect "sound list" "$(printf 'flute\tFlute\nclarinet\tClarinet')" "$(cat "$tmp/sounds.tsv")"

# --- classes of cents error --------------------------------------------------
# Columns 9 to 11 are the cents of ours, yin and yinfast; column 5 marks the
# windows after the onset. Ours: 20 (within 20), 50 (20 to 50), -1210 (an
# octave), 1900 (otherwise), nan (no pitch), and one window before the onset
# that must not count.
{
  for c in 20 50 -1210 1900 nan; do
    printf 'S\t40\t0\t0\t1\t0\t0\t0\t%s\t0\t0\n' "$c"
  done
  printf 'S\t40\t0\t0\t0\t0\t0\t0\t5000\t0\t0\n'
} >"$tmp/windows.tsv"
awk -v hdir="$tmp" -f "$src/tools/figures/cents_classes.awk" "$tmp/windows.tsv"
expect "windows judged" 5 "$(cat "$tmp/windows_judged.txt")"
expect "ours by class" "20.00 20.00 0.00 20.00 20.00 20.00" \
  "$(cut -f2 "$tmp/classes.tsv" | paste -sd' ' -)"
expect "yin by class" "100.00" "$(awk -F'\t' 'NR == 1 { print $3 }' "$tmp/classes.tsv")"

# --- the game's bands in words ------------------------------------------------
expect "centre" bullseye "$(judged_text 0)"
expect "sharpest" "sharp, over a semitone" "$(judged_text 0.5)"
expect "slightly flat" "flat, 2–3 steps" "$(judged_text -0.1)"

[ "$fails" = 0 ] || { echo "$fails check(s) failed" >&2; exit 1; }
echo "figures helpers: all checks passed"
