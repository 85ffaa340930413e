#!/usr/bin/env bash
# Regenerates every published figure and plot from scratch (docs/figures.md
# and docs/figures/*.png): the datasheet, accuracy on rendered voices and
# instruments, rounds judged by the game itself, key-to-tone and stream
# latency, the audio callback's cost, frame rate and start-up time.
#
#   scripts/figures.sh            the full run (a quarter of an hour)
#   scripts/figures.sh --quick    three notes of one sound, two of the singer,
#                                 one short latency run, short benchmarks,
#                                 SPTK's RAPT only; never writes to docs/
# Options: --out DIR (default docs, or <build>/quick), --build DIR (default
# build/figures), --no-build (use the programs built there, as the test does).
# FIGURES_SPTK (default /usr/libexec/sptk/bin) and FIGURES_PRAAT (default
# praat) name the peers; a name that is not there leaves their rows out.
#
# C++ programs play rounds and time code, tools/figures/material.py writes the
# notes and the singer, all into plain tables in <build>/figures-work, which
# tools/figures/report.py scores (mir_eval) and turns into the page and plots.
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
    -h|--help) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
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
  singer_notes="36 60" false_seconds=1 repeats=1 sptk_methods=(RAPT) degrade="singer"
  latency_runs=1 tones_per_run=2
  bench_args=(--benchmark_min_time=0.05 --benchmark_repetitions=3)
else
  sounds=("Choir Aahs:52" "Voice Oohs:53" "Flute:73" "Clarinet:71") notes=$(seq -s ' ' 36 59)
  singer_notes=$(seq -s ' ' 36 2 84) false_seconds=10 repeats=3 sptk_methods=(RAPT SWIPE)
  degrade="sampled singer"
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
tools=$build/tools/figures game=$build/app/Arrowsong py=/usr/bin/python3
for p in "$tools"/figures-{measure,keytone} "$game"; do
  [ -x "$p" ] || die "$p is not built"
done

# 1. Notes rendered by fluidsynth (no reverb or chorus: the files hold the
# samples as recorded), mixed to mono (every tracker gets the same mix) and
# played as rounds of the game.
sheet=$work/sheet
mkdir -p "$sheet/audio"
"$py" tools/figures/material.py notes "$work/notes" "$note_seconds" "$notes" "${sounds[@]}"
render_opts=(-q -ni -R 0 -C 0 -g 0.5 -r 44100)
files=$sheet/files.tsv
printf '#file\tmaterial\tkind\tsource\tgoal_hz\tfrom_s\tto_s\n' >"$files"
while IFS=$'\t' read -r sound note stereo; do
  fluidsynth "${render_opts[@]}" -F "$stereo" "$sf2" "${stereo%.wav}.mid" \
    >>"$work/fluidsynth.log" 2>&1 || die "fluidsynth failed on ${stereo%.wav}.mid"
  wav=$sheet/audio/$(basename "$stereo")
  sox -D "$stereo" -c 1 "$wav"
  printf '%s\t%s\t%s\t%s\n' "$sound" "$note" "$wav" "$note_seconds" >>"$work/manifest.tsv"
  # Voiced at the goal from 0.15 s (past the attack) to 60 ms before the note-off.
  case "$sound" in "Choir Aahs"|"Voice Oohs") material="Sampled voices" ;; *) material="Sampled instruments" ;; esac
  printf '%s\t%s\tsampled\t-\t%s\t0.15\t%s\n' "$wav" "$material" \
    "$(awk -v n="$note" 'BEGIN { printf "%.6f", 440 * 2 ^ ((n - 57) / 12) }')" \
    "$(awk -v s="$note_seconds" 'BEGIN { print s - 0.06 }')" >>"$files"
done <"$work/notes/manifest.tsv"
say "playing a round on each note"
"$tools/figures-measure" rounds "$work/manifest.tsv" "$work/notes.tsv" >"$work/rounds.log" \
  || die "figures-measure rounds failed"

# 2. The datasheet: every tracker on the same files. The material is the
# rendered notes above, the synthesised singer, a copy of each with noise at
# 20 dB SNR and one in a room (sox), and silence, white noise and 50 Hz hum.
# Files go in a table report.py reads (files.tsv): path, material, kind, truth.
say "datasheet: material"
"$py" tools/figures/material.py singer "$sheet/audio" "$singer_notes"
while IFS=$'\t' read -r name _; do
  printf '%s\tSinger\tsinger\t%s\t0\t0\t0\n' "$sheet/audio/$name.wav" "$name" >>"$files"
done < <(grep -v '^#' "$sheet/audio/singer.tsv")
# The degraded copies. The noise is 20 dB under the RMS of the file's scored
# span (white, the same sequence for every file: sox -R); the room is sox's
# reverb at 50 % reverberance, 50 % damping, full room scale.
rms() { sox "$1" -n trim "$2" "=$3" stat 2>&1 | awk '/^RMS +amplitude/ { print $3 }'; }
while IFS=$'\t' read -r wav material kind source goal from to; do
  [[ " $degrade " == *" $kind "* ]] || continue
  base=$(basename "${wav%.wav}")
  group=${material%% *}
  [ "$kind" = sampled ] || { from=0.31; to=1.69; }
  level=$(rms "$wav" "$from" "$to")
  # Uniform white noise of amplitude a has an RMS of a / sqrt(3).
  amp=$(awk -v r="$level" 'BEGIN { printf "%.8f", r / 10 * sqrt(3) }')
  sox -R "$wav" "$sheet/audio/$base.noise-only.wav" synth whitenoise vol "$amp"
  sox -R -m -v 1 "$wav" -v 1 "$sheet/audio/$base.noise-only.wav" "$sheet/audio/$base.noisy.wav"
  rm "$sheet/audio/$base.noise-only.wav"
  sox -R "$wav" "$sheet/audio/$base.room.wav" reverb 50 50 100 gain -n -3
  printf '%s\t%s + noise 20 dB\t%s\t%s\t%s\t%s\t%s\n' "$sheet/audio/$base.noisy.wav" "$group" \
    "$kind" "$source" "$goal" "$from" "$to" >>"$sheet/degraded.tsv"
  printf '%s\t%s + reverb\t%s\t%s\t%s\t%s\t%s\n' "$sheet/audio/$base.room.wav" "$group" \
    "$kind" "$source" "$goal" "$from" "$to" >>"$sheet/degraded.tsv"
done < <(grep -v '^#' "$files")
sort -t$'\t' -s -k2,2 "$sheet/degraded.tsv" >>"$files"
rm "$sheet/degraded.tsv"
for what in silence noise hum; do
  f=$sheet/audio/$what.wav
  case "$what" in
    # -D: without it sox dithers the 16-bit file, and silence is silence.
    silence) sox -D -n -r 44100 -c 1 -b 16 "$f" trim 0 "$false_seconds" ;;
    noise) sox -R -n -r 44100 -c 1 -b 16 "$f" synth "$false_seconds" whitenoise vol 0.1 ;;
    # Mains hum: 50 Hz with its odd harmonics, as a transformer hums.
    hum) sox -R -n -r 44100 -c 3 -p synth "$false_seconds" sine 50 sine 150 sine 250 \
           | sox -R - -b 16 "$f" remix 1v0.1,2v0.03,3v0.01 ;;
  esac
  printf '%s\t%s\t%s\t-\t0\t0\t0\n' "$f" "${what^}" "$what" >>"$files"
done

# The speed figures that follow are taken with whatever else the machine is
# doing; the page says how much that was.
cp /proc/loadavg "$sheet/loadavg.txt"
say "datasheet: ours and aubio (in process)"
grep -v '^#' "$files" | cut -f1 >"$sheet/list.txt"
"$tools/figures-measure" trackers "$sheet/list.txt" "$sheet/library.tsv" "$sheet/speed.tsv" \
  "$sheet/slowest.tsv" "$repeats"
# Tools that are missing leave their rows out; the page says which.
: >"$sheet/missing.txt"
sptk=${FIGURES_SPTK:-/usr/libexec/sptk/bin} praat=${FIGURES_PRAAT:-praat}
if [ -x "$sptk/pitch" ] && [ -x "$sptk/x2x" ]; then
  say "datasheet: SPTK ${sptk_methods[*]}"
  printf '#tracker\tfiles\tsamples\tnanoseconds\tstartup_ns\n' >"$sheet/sptk-speed.tsv"
  # SPTK reads raw floats at 16-bit scale.
  while read -r wav; do
    sox "$wav" -t raw -e signed -b 16 - | "$sptk/x2x" +sf >"${wav%.wav}.f32"
  done <"$sheet/list.txt"
  head -c 2048 "$(head -n 1 "$sheet/list.txt" | sed 's/\.wav$/.f32/')" >"$sheet/start.f32"
  for method in "${sptk_methods[@]}"; do
    opts=(-a "$([ "$method" = SWIPE ] && echo 1 || echo 0)" -s 44.1 -p 512 -L 60 -H 1200 -o 1)
    # The start-up: the median of five runs on one 512-sample window.
    startup=$(for _ in 1 2 3 4 5; do
      t0=$(date +%s%N); "$sptk/pitch" "${opts[@]}" "$sheet/start.f32" >/dev/null; t1=$(date +%s%N)
      echo $((t1 - t0))
    done | sort -n | sed -n 3p)
    sptk_out=$sheet/sptk-$method.tsv total=0 samples=0 count=0
    printf '#file\ttracker\ttime_s\thz\n' >"$sptk_out"
    while read -r wav; do
      raw=${wav%.wav}.f32
      t0=$(date +%s%N)
      "$sptk/pitch" "${opts[@]}" "$raw" >"$raw.$method"
      t1=$(date +%s%N)
      total=$((total + t1 - t0)) samples=$((samples + $(stat -c %s "$raw") / 4)) count=$((count + 1))
      # Frame i is centred on sample 512 i.
      "$sptk/x2x" +fa "$raw.$method" | awk -v f="$wav" -v m="sptk ${method,,}" \
        '{ printf "%s\t%s\t%.6f\t%s\n", f, m, (NR - 1) * 512 / 44100, $1 }' >>"$sptk_out"
    done <"$sheet/list.txt"
    printf 'sptk %s\t%s\t%s\t%s\t%s\n' "${method,,}" "$count" "$samples" "$total" "$startup" \
      >>"$sheet/sptk-speed.tsv"
  done
else
  echo "SPTK (Debian's sptk: its pitch command)" >>"$sheet/missing.txt"
fi
if command -v "$praat" >/dev/null; then
  say "datasheet: Praat"
  (unset DISPLAY; "$praat" --run "$root/tools/figures/pitch_ac.praat" "$sheet/list.txt" \
    "$sheet/praat.tsv" "$sheet/praat-times.tsv" "$(awk 'BEGIN { printf "%.9f", 512 / 44100 }')" 60 1200) \
    >"$sheet/praat.log" 2>&1 || { cat "$sheet/praat.log" >&2; die "praat failed"; }
else
  echo "Praat (Debian's praat)" >>"$sheet/missing.txt"
fi

# 3. Latency: the real program on the harness's private X and audio servers;
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
    "$tools/figures-keytone" e2e_out.monitor "$tones_per_run" "$E2E_WID" \
      >"$work/latency/run$r.keytone" 2>"$work/latency/run$r.keytone.err" \
      || e2e_fail "figures-keytone: $(cat "$work/latency/run$r.keytone.err")"
    e2e_value out 'stream latency: ' >"$work/latency/run$r.stream"
    e2e_value err 'Buffer size defined by RtAudio: ' >"$work/latency/run$r.block"
    e2e_quit; e2e_end
  ) >"$work/latency/run$r.log" 2>&1 \
    || { cat "$work/latency/run$r.log" >&2; die "latency run $r failed"; }
done

# 4. Benchmarks: the callback's cost per block, frames per second. Other work
# on the machine slows them; the page says how much there was. Without a
# DISPLAY the frame-rate benchmark draws on a private Xvfb with Mesa's
# software renderer: the same conditions on every machine.
cp /proc/loadavg "$work/loadavg.txt"
for bench in game/game_bench render/render_bench; do
  bin=$build/bench/$bench name=${bench#*/}
  [ -x "$bin" ] || { say "no $name in $build/bench: its figures are left out"; continue; }
  say "benchmark: $name"
  (unset DISPLAY; "$bin" "${bench_args[@]}" --benchmark_report_aggregates_only=true \
    --benchmark_out="$work/$name.csv" --benchmark_out_format=csv >"$work/$name.log" 2>&1) \
    || die "$bin failed"
done

# 5. The measures, the page and the plots.
report_opts=(); [ "$quick" = 0 ] || report_opts=(--quick)
"$py" tools/figures/report.py "${report_opts[@]}" --work "$work" --build "$build" \
  --template docs/figures.md.in --out "$out" --note-seconds "$note_seconds" \
  --latency-runs "$latency_runs" --tones-per-run "$tones_per_run" --bench-args "${bench_args[*]}" \
  --render-cmd "fluidsynth ${render_opts[*]} -F NOTE.wav $sf2 NOTE.mid"
say "wrote $out/figures.md and its plots in $out/figures"
