#!/usr/bin/env bash
# Regenerates every published figure and plot from scratch: accuracy on
# rendered voices and instruments (ours against aubio), whole rounds judged by
# the game itself, key-to-tone and stream latency, the audio callback's cost,
# frame rate and start-up time. Writes docs/figures.md and docs/figures/*.png.
#
#   scripts/figures.sh                 the full run (a few minutes)
#   scripts/figures.sh --quick         three notes of one sound, one short
#                                      latency run, short benchmarks; writes
#                                      to build/figures/quick, never to docs/
# Options:
#   --out DIR     where figures.md and figures/*.png go (default docs, or
#                 <build>/quick with --quick)
#   --build DIR   the CMake build folder (default build/figures)
#   --no-build    use the programs already built in --build (the test does)
#
# The measurement programs write plain tables into <build>/figures-work;
# figures-report computes the page from them (docs/figures.md.in) and the
# tables the plots draw, and tools/figures/*.gp draw the plots.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

quick=0 out="" build=build/figures do_build=1
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --out) out=$2; shift ;;
    --build) build=$2; shift ;;
    --no-build) do_build=0 ;;
    -h|--help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "figures: unknown option: $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done
[ -n "$out" ] || { [ "$quick" = 1 ] && out=$build/quick || out=docs; }
mkdir -p "$build" "$out/figures"
build=$(cd "$build" && pwd)
out=$(cd "$out" && pwd)
work=$build/figures-work
[ "$quick" = 0 ] || work=$build/figures-work-quick
rm -rf "$work"
mkdir -p "$work/notes" "$work/latency"
# Plots of an earlier run with other sounds must not linger beside new ones.
rm -f "$out"/figures/*.png

say() { printf '[figures] %s\n' "$*" >&2; }
die() { printf '[figures] error: %s\n' "$*" >&2; exit 1; }

sf2=/usr/share/sounds/sf2/FluidR3_GM.sf2
if [ "$quick" = 1 ]; then
  sounds=("Choir Aahs:52") notes="36 47 57"
  latency_runs=1 tones_per_run=2
  bench_args=(--benchmark_min_time=0.05 --benchmark_repetitions=3)
else
  sounds=("Choir Aahs:52" "Voice Oohs:53" "Flute:73" "Clarinet:71") notes=$(seq -s ' ' 36 59)
  latency_runs=5 tones_per_run=6
  bench_args=(--benchmark_min_time=0.5 --benchmark_repetitions=10)
fi
note_seconds=2 # note-on at 0 s, note-off at 2 s; the release tail is not judged

if [ "$do_build" = 1 ]; then
  scripts/install-deps.sh --figures
  say "building in $build"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DARROWSONG_BUILD_TESTS=ON \
    -DARROWSONG_BUILD_BENCH=ON >"$work/configure.log" 2>&1 \
    || { cat "$work/configure.log"; die "configure failed"; }
  cmake --build "$build" -j 2 >"$work/build.log" 2>&1 \
    || { tail -n 40 "$work/build.log"; die "build failed"; }
fi
tools=$build/tools/figures game=$build/app/Arrowsong
for p in "$tools"/figures-{midi,accuracy,keytone,report} "$game"; do
  [ -x "$p" ] || die "$p is not built"
done

# 1. Notes rendered by fluidsynth (no reverb or chorus: the files hold the
# samples as recorded), tracked, and played as rounds.
"$tools/figures-midi" --dir "$work/notes" --manifest "$work/manifest.tsv" \
  --seconds "$note_seconds" --notes "$notes" "${sounds[@]}"
render_opts=(-q -ni -R 0 -C 0 -g 0.5 -r 44100)
for midi in "$work"/notes/*.mid; do
  fluidsynth "${render_opts[@]}" -F "${midi%.mid}.wav" "$sf2" "$midi" \
    >>"$work/fluidsynth.log" 2>&1 || die "fluidsynth failed on $midi"
done
say "tracking every window and playing a round on each note"
"$tools/figures-accuracy" --manifest "$work/manifest.tsv" --notes "$work/notes.tsv" \
  --windows "$work/windows.tsv" >"$work/rounds.log" || die "figures-accuracy failed"

# 2. Latency: the real program on the harness's private X and audio servers;
# figures-keytone times each tone from the space key to the null sink's
# monitor. The harness also times the start-up, from launch to the board.
for ((r = 1; r <= latency_runs; r++)); do
  say "latency run $r of $latency_runs"
  (
    set +e # the harness counts its own failures; errexit would cut its clean-up short
    export ARROWSONG=$game E2E_TOOLS=$build/tools/headless E2E_OUT=$work/latency
    # shellcheck source=../tools/headless/harness.sh
    source "$root/tools/headless/harness.sh"
    e2e_begin "run$r"; e2e_start_x; e2e_start_audio; e2e_start_game
    "$tools/figures-keytone" --source e2e_out.monitor --tones "$tones_per_run" \
      >"$work/latency/run$r.keytone" 2>"$work/latency/run$r.keytone.err" \
      || e2e_fail "figures-keytone: $(cat "$work/latency/run$r.keytone.err")"
    e2e_value out 'stream latency: ' >"$work/latency/run$r.stream"
    e2e_value err 'Buffer size defined by RtAudio: ' >"$work/latency/run$r.block"
    e2e_quit; e2e_end
  ) >"$work/latency/run$r.log" 2>&1 \
    || { cat "$work/latency/run$r.log" >&2; die "latency run $r failed"; }
done

# 3. Benchmarks: the callback's cost per block, frames per second. Other work
# on the machine slows them; the page says how much there was. Without a
# DISPLAY the frame-rate benchmark draws on a private Xvfb with Mesa's
# software renderer: the same conditions on every machine.
cp /proc/loadavg "$work/loadavg.txt"
for bench in game/game_bench render/render_bench; do
  bin=$build/bench/$bench name=${bench#*/}
  if [ ! -x "$bin" ]; then
    say "no $name in $build/bench: its figures are left out"
    continue
  fi
  say "benchmark: $name"
  (unset DISPLAY; "$bin" "${bench_args[@]}" --benchmark_report_aggregates_only=true \
    --benchmark_out="$work/$name.csv" --benchmark_out_format=csv >"$work/$name.log" 2>&1) \
    || die "$bin failed"
done

# 4. The page and the tables to plot, then the plots.
report_opts=()
[ "$quick" = 0 ] || report_opts=(--quick)
"$tools/figures-report" "${report_opts[@]}" --work "$work" --build "$build" \
  --template docs/figures.md.in --page "$out/figures.md" --note-seconds "$note_seconds" \
  --latency-runs "$latency_runs" --tones-per-run "$tones_per_run" --bench-args "${bench_args[*]}" \
  --render-cmd "fluidsynth ${render_opts[*]} -F NOTE.wav $sf2 NOTE.mid"
say "plotting"
gnuplot -c tools/figures/accuracy.gp "$work/accuracy.tsv" "$out/figures/accuracy.png"
gnuplot -c tools/figures/cents.gp "$work/hist.tsv" "$work/classes.tsv" "$out/figures/cents.png"
gnuplot -c tools/figures/latency.gp "$work/latency.tsv" "$out/figures/latency.png"
[ ! -s "$work/callback.tsv" ] \
  || gnuplot -c tools/figures/callback.gp "$work/callback.tsv" "$out/figures/callback.png"
say "wrote $out/figures.md and its plots in $out/figures"
