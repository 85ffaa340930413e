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
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

quick=0
out=""
build=build/figures
do_build=1
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --out) out=$2; shift ;;
    --build) build=$2; shift ;;
    --no-build) do_build=0 ;;
    -h|--help) sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
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

source "$root/tools/figures/plots.sh"
source "$root/tools/figures/report.sh"

say() { printf '[figures] %s\n' "$*" >&2; }
die() { printf '[figures] error: %s\n' "$*" >&2; exit 1; }

sf2=/usr/share/sounds/sf2/FluidR3_GM.sf2
if [ "$quick" = 1 ]; then
  sounds=("Choir Aahs:52")
  notes=(36 47 57)
  latency_runs=1; tones_per_run=2
  bench_args=(--benchmark_min_time=0.05 --benchmark_repetitions=3)
else
  sounds=("Choir Aahs:52" "Voice Oohs:53" "Flute:73" "Clarinet:71")
  mapfile -t notes < <(seq 36 59)
  latency_runs=5; tones_per_run=6
  bench_args=(--benchmark_min_time=0.5 --benchmark_repetitions=10)
fi
note_seconds=2 # note-on at 0 s, note-off at 2 s; the release tail is not judged

# --- build -----------------------------------------------------------------

if [ "$do_build" = 1 ]; then
  scripts/install-deps.sh --figures
  say "building in $build"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DARROWSONG_BUILD_TESTS=ON \
    -DARROWSONG_BUILD_BENCH=ON >"$work/configure.log" 2>&1 \
    || { cat "$work/configure.log"; die "configure failed"; }
  cmake --build "$build" -j 2 >"$work/build.log" 2>&1 \
    || { tail -n 40 "$work/build.log"; die "build failed"; }
fi

accuracy=$build/tools/figures/figures-accuracy
keytone=$build/tools/figures/figures-keytone
game=$build/app/Arrowsong
game_bench=$build/bench/game/game_bench
render_bench=$build/bench/render/render_bench
[ -x "$game_bench" ] || game_bench=""
[ -x "$render_bench" ] || render_bench=""
for p in "$accuracy" "$keytone" "$game"; do
  [ -x "$p" ] || die "$p is not built"
done

# --- 1. notes rendered with fluidsynth, tracked, and played as rounds ---------

# A type-0 MIDI file: program change, one note at velocity 100 from 0 s to
# note_seconds (480 ticks per quarter at the default 120 bpm: 960 ticks a
# second), end of track.
write_midi() { # program, midi note, file
  local ticks=$((note_seconds * 960))
  local vlq
  vlq=$(printf '\\x%02x\\x%02x' $(((ticks >> 7) | 0x80)) $((ticks & 0x7f)))
  {
    printf 'MThd\x00\x00\x00\x06\x00\x00\x00\x01\x01\xe0'
    printf 'MTrk\x00\x00\x00\x0f'
    printf "\\x00\\xc0\\x$(printf %02x "$1")"
    printf "\\x00\\x90\\x$(printf %02x "$2")\\x64"
    printf "$vlq\\x80\\x$(printf %02x "$2")\\x40"
    printf '\x00\xff\x2f\x00'
  } >"$3"
}

# No reverb or chorus: the files hold the samples as recorded.
render_opts=(-q -ni -R 0 -C 0 -g 0.5 -r 44100)
render_cmd="fluidsynth ${render_opts[*]} -F NOTE.wav $sf2 NOTE.mid"
render_notes() {
  : >"$work/manifest.tsv"
  local entry sound program slug n midi wav
  for entry in "${sounds[@]}"; do
    sound=${entry%:*}; program=${entry#*:}
    slug=$(printf '%s' "$sound" | tr 'A-Z ' 'a-z-')
    say "rendering ${#notes[@]} notes of $sound (General MIDI program $((program + 1)))"
    for n in "${notes[@]}"; do
      midi=$work/notes/$slug-$n.mid; wav=$work/notes/$slug-$n.wav
      # The game's note 57 is 440 Hz, MIDI's 69: game notes are MIDI notes - 12.
      write_midi "$program" $((n + 12)) "$midi"
      fluidsynth "${render_opts[@]}" -F "$wav" "$sf2" "$midi" \
        >>"$work/fluidsynth.log" 2>&1 || die "fluidsynth failed on $midi"
      if [ "$(soxi -r "$wav")" != 44100 ]; then
        sox "$wav" -r 44100 "$wav.tmp.wav" && mv "$wav.tmp.wav" "$wav"
      fi
      printf '%s\t%s\t%s\t%s\n' "$sound" "$n" "$wav" "$note_seconds" >>"$work/manifest.tsv"
    done
  done
}

render_notes
say "tracking every window and playing a round on each note"
"$accuracy" --manifest "$work/manifest.tsv" --notes "$work/notes.tsv" \
  --windows "$work/windows.tsv" >"$work/rounds.log" || die "figures-accuracy failed"

# --- 2. latency: the real program on the end-to-end harness's servers ---------

# One run: private X and audio servers, the game, N tones timed from the space
# key to the monitor of the null sink, then q. The harness also times the
# start-up, from launch to the board on screen.
latency_run() { # run number
  (
    # The harness checks and counts its own failures; errexit would cut its
    # clean-up short.
    set +e
    export ARROWSONG=$game E2E_TOOLS=$build/tools/headless E2E_OUT=$work/latency
    # shellcheck source=../tools/headless/harness.sh
    source "$root/tools/headless/harness.sh"
    e2e_begin "run$1"
    e2e_start_x
    e2e_start_audio
    e2e_start_game
    "$keytone" --source e2e_out.monitor --tones "$tones_per_run" \
      >"$work/latency/run$1.keytone" 2>"$work/latency/run$1.keytone.err" \
      || e2e_fail "figures-keytone: $(cat "$work/latency/run$1.keytone.err")"
    e2e_value out 'stream latency: ' >"$work/latency/run$1.stream"
    e2e_value err 'Buffer size defined by RtAudio: ' >"$work/latency/run$1.block"
    e2e_quit
    e2e_end
  ) >"$work/latency/run$1.log" 2>&1
}

for ((r = 1; r <= latency_runs; r++)); do
  say "latency run $r of $latency_runs"
  latency_run "$r" || { cat "$work/latency/run$r.log" >&2; die "latency run $r failed"; }
done
for ((r = 1; r <= latency_runs; r++)); do
  awk -v r="$r" '{ printf "%d\t%s\n", r, $2 }' "$work/latency/run$r.keytone"
done >"$work/latency.tsv"
cut -f2 "$work/latency.tsv" >"$work/key_to_tone_ms.txt"
cat "$work/latency"/run*.stream >"$work/stream_latency_frames.txt"
cat "$work/latency"/run*.block >"$work/block_frames.txt"
# Written by the harness as it starts the game; a missing one is "not measured".
cat "$work/latency"/run*/first_frame_seconds >"$work/first_frame_seconds.txt" 2>/dev/null || true

# --- 3. benchmarks: the callback's cost per block, frames per second ----------

run_bench() { # binary, json out, extra args...
  local bin=$1 json=$2; shift 2
  "$bin" "${bench_args[@]}" --benchmark_report_aggregates_only=true \
    --benchmark_out="$json" --benchmark_out_format=json "$@" >"${json%.json}.log" 2>&1
}

# Other work on the machine slows the benchmarks; the page says how much there was.
cut -d' ' -f1-3 /proc/loadavg >"$work/loadavg.txt"
if [ -n "$game_bench" ]; then
  say "benchmark: $(basename "$game_bench")"
  run_bench "$game_bench" "$work/game_bench.json" || die "$game_bench failed"
  bench_table "$work/game_bench.json" >"$work/game_bench.tsv"
  callback_rows "$work/game_bench.tsv" >"$work/callback.tsv"
else
  say "no callback benchmark in $build/bench/game: its figures are left out"
fi
if [ -n "$render_bench" ]; then
  say "benchmark: $(basename "$render_bench")"
  # Without a DISPLAY the benchmark draws on a private Xvfb of its own, with
  # Mesa's software renderer: the same conditions on every machine.
  (unset DISPLAY; run_bench "$render_bench" "$work/render_bench.json") || die "$render_bench failed"
  bench_table "$work/render_bench.json" >"$work/render_bench.tsv"
else
  say "no frame-rate benchmark in $build/bench/render: its figures are left out"
fi

# --- 4. tables, plots and the page ---------------------------------------------

awk -v dir="$work" -f "$root/tools/figures/split_notes.awk" "$work/notes.tsv"
awk -v hdir="$work" -f "$root/tools/figures/cents_classes.awk" "$work/windows.tsv"
awk -f "$root/tools/figures/note_medians.awk" "$work/windows.tsv" >"$work/medians.tsv"

say "plotting"
plot_accuracy_gp "$work" "$out/figures/accuracy.png" | gnuplot
plot_cents_gp "$work" "$out/figures/cents.png" | gnuplot
plot_latency_gp "$work" "$out/figures/latency.png" | gnuplot
[ -s "$work/callback.tsv" ] && plot_callback_gp "$work" "$out/figures/callback.png" | gnuplot

write_page >"$out/figures.md"
say "wrote $out/figures.md and $(ls "$out/figures" | wc -l) plots in $out/figures"
