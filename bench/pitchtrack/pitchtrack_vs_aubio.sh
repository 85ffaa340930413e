#!/usr/bin/env bash
# pitchtrack end to end beside aubiopitch (yinfast, 512-sample windows and
# hops) on the same files: 1, 5 and 20 minutes at 44100 Hz mono and at
# 48000 Hz stereo, which aubiopitch reads with -r 44100. Prints the seconds
# (and the processor seconds) and the peak memory of each, the best of
# several runs (the machine may be busy with other work; the best run is the
# one least disturbed), and how many times faster pitchtrack was.
#
#   bench/pitchtrack/pitchtrack_vs_aubio.sh [PITCHTRACK] [RUNS]
#
# Needs sox, aubio-tools and GNU time (scripts/install-deps.sh --test). The
# files, about 700 MB, go to a temporary folder removed at the end.
set -euo pipefail

pitchtrack=${1:-build/dev/app/pitchtrack/pitchtrack}
runs=${2:-3}
for tool in sox aubiopitch /usr/bin/time "$pitchtrack"; do
  command -v "$tool" >/dev/null || { echo "pitchtrack_vs_aubio: $tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A tone with two harmonics, gliding over two octaves through the file; in
# stereo both channels carry it.
make_file() { # minutes rate channels path
  sox -n -r "$2" -b 16 "$4.mono.wav" synth "$(($1 * 60))" sine 130-520 sine 260-1040 \
    sine 390-1560 remix 1v0.5,2v0.3,3v0.15
  sox "$4.mono.wav" -c "$3" "$4"
  rm -f "$4.mono.wav"
}

# Best elapsed seconds over the runs, with the processor seconds (user and
# system) and the peak memory of that run in MiB.
best_of() {
  local best="" line
  for _ in $(seq "$runs"); do
    /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "$@" >/dev/null 2>&1
    line=$(tail -n 1 "$work/time.txt")
    if [ -z "$best" ] || awk -v a="${line%% *}" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then
      best=$line
    fi
  done
  awk -v run="$best" 'BEGIN {
    split(run, f, " ")
    printf "%5.2f s (cpu %4.2f) %5.1f MiB", f[1], f[2] + f[3], f[4] / 1024
  }'
}

printf '%-22s %-29s %-29s %s\n' file pitchtrack aubiopitch speed-up
for minutes in 1 5 20; do
  for kind in "44100 1" "48000 2"; do
    read -r rate channels <<<"$kind"
    file=$work/${minutes}min-${rate}-${channels}ch.wav
    make_file "$minutes" "$rate" "$channels" "$file"
    extra=()
    [ "$rate" -eq 44100 ] || extra=(-r 44100)
    ours=$(best_of "$pitchtrack" "$file")
    theirs=$(best_of aubiopitch -p yinfast -B 512 -H 512 "${extra[@]}" -i "$file")
    ratio=$(awk -v a="$ours" -v b="$theirs" \
      'BEGIN { split(a, x, " "); split(b, y, " "); printf "%.1fx", y[1] / x[1] }')
    printf '%-22s %-29s %-29s %s\n' "$minutes min ${rate} Hz ${channels}ch" "$ours" "$theirs" "$ratio"
    rm -f "$file"
  done
done
