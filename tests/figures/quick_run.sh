#!/usr/bin/env bash
# The quick figures run, checked: every output exists and parses, and the
# numbers are the ones a working pipeline gives (an A4 sung by the choir is
# tracked and judged a bullseye; the tone follows the key within two seconds).
#
#   quick_run.sh SOURCE_DIR BUILD_DIR OUT_DIR
set -uo pipefail
src=$1 build=$2 out=$3
fails=0
fail() { echo "FAIL: $*" >&2; fails=$((fails + 1)); }

rm -rf "$out"
if ! bash "$src/scripts/figures.sh" --quick --no-build --build "$build" --out "$out"; then
  echo "FAIL: scripts/figures.sh --quick failed" >&2
  exit 1
fi
work=$build/figures-work-quick

for png in accuracy cents latency; do
  f=$out/figures/$png.png
  size=$(identify -format '%m %w %h' "$f" 2>/dev/null)
  read -r kind w h <<<"$size"
  [ "${kind:-}" = PNG ] && [ "${w:-0}" -ge 600 ] && [ "${h:-0}" -ge 400 ] \
    || fail "$f is not a plot (identify: ${size:-nothing})"
done

# notes.tsv: one line per note, every field present.
lines=$(grep -vc '^#' "$work/notes.tsv")
[ "$lines" = 3 ] || fail "notes.tsv has $lines notes, expected 3"
awk -F'\t' '!/^#/ && NF != 13 { bad = 1 } END { exit bad }' "$work/notes.tsv" \
  || fail "notes.tsv has lines without 13 fields"
# A4 (game note 57, 440 Hz) on Choir Aahs: a wrong MIDI note, sample rate or
# window would put this far from the goal.
a4=$(awk -F'\t' '$2 == 57 { print $3, $6, $12, $13 }' "$work/notes.tsv")
read -r goal ours bull rel <<<"$a4"
[ "${goal:-}" = 440 ] || fail "note 57's goal is ${goal:-missing}, expected 440"
awk -v o="${ours:-0}" -v r="${rel:-0}" 'BEGIN { exit !(o >= 80 && r >= 80) }' \
  || fail "A4: ours tracked ${ours:-?}% of windows, ${rel:-?}% of rounds a bullseye; expected 80+"
[ "${bull:-0}" = 1 ] || fail "A4 released at the note-off was not judged a bullseye"
[ "$(grep -vc '^#' "$work/windows.tsv")" -gt 300 ] || fail "windows.tsv is nearly empty"

# The per-window columns are what the command-line tools print for the same
# file: pitchtrack for ours, aubiopitch for yin (same window and hop).
a4wav=$(awk -F'\t' '$2 == 57 { print $3 }' "$work/manifest.tsv")
ours_col() { awk -F'\t' -v c="$1" '$2 == 57 { printf "%.3f\n", $c }' "$work/windows.tsv"; }
n_windows=$(ours_col 6 | wc -l)
pitchtrack=$build/tools/pitchtrack/pitchtrack
if [ -x "$pitchtrack" ]; then
  "$pitchtrack" "$a4wav" | head -n "$n_windows" | awk '{ print $2 }' >"$work/a4.pitchtrack"
  ours_col 6 | cmp -s - "$work/a4.pitchtrack" || fail "ours differs from pitchtrack on $a4wav"
fi
aubiopitch -i "$a4wav" -p yin -B 512 -H 512 -u Hz 2>/dev/null | head -n "$n_windows" \
  | awk '{ printf "%.3f\n", $2 }' >"$work/a4.aubiopitch"
ours_col 7 | paste - "$work/a4.aubiopitch" \
  | awk '{ d = $1 - $2; if (d < 0) d = -d; if (d > 0.01) bad++ } END { exit bad > 0 }' \
  || fail "the yin column differs from aubiopitch -p yin on $a4wav"
[ "$(wc -l <"$work/a4.aubiopitch")" = "$n_windows" ] || fail "aubiopitch gave fewer windows"

# Latency: two tones, each heard after the key and within two seconds.
n=0
while IFS=$'\t' read -r run ms; do
  n=$((n + 1))
  awk -v v="$ms" 'BEGIN { exit !(v > 0 && v < 2000) }' || fail "key to tone $ms ms in run $run"
done < <(grep -v '^#' "$work/latency.tsv")
[ "$n" = 2 ] || fail "$n key-to-tone times, expected 2"
grep -Eq '^-?[0-9]+$' "$work/latency/run1.stream" || fail "no stream latency line"

# The page: its tables hold the measured rows.
md=$out/figures.md
grep -q '^| Choir Aahs | ' "$md" || fail "figures.md has no summary row"
grep -q '^### Choir Aahs' "$md" || fail "figures.md has no per-note table"
grep -Eq '^\| A4 \(57\) \| 440\.00 \|' "$md" || fail "figures.md has no A4 row"
grep -Eq '^\| Key to tone \| 2 \| [0-9.]+ ms' "$md" || fail "figures.md has no key-to-tone row"
grep -q 'quick run' "$md" || fail "figures.md does not say it is the quick run"
grep -q '{{' "$md" && fail "figures.md has a placeholder left: $(grep -m1 '{{' "$md")"
[ "$(grep -vc '^#' "$work/hist.tsv")" = 40 ] || fail "hist.tsv does not have 40 bins"
if ls "$build"/bench/game/*bench* >/dev/null 2>&1; then
  [ -s "$work/callback.tsv" ] || fail "the callback benchmark gave no rows"
  [ -s "$out/figures/callback.png" ] || fail "no callback plot"
fi

# The datasheet: every tracker scored on every material, the singer's C4
# tracked by ours, silence given no pitch, the tools that are missing named.
sheet=$work/sheet
for tracker in wavepitch "aubio yin" "aubio yinfast" "aubio yinfft" "aubio mcomb"; do
  for material in Singer "Sampled voices" "Singer + noise 20 dB" "Singer + reverb"; do
    awk -F'\t' -v t="$tracker" -v m="$material" '$1 == t && $2 == m && $3 > 100 { ok = 1 }
      END { exit !ok }' "$sheet/sheet.tsv" || fail "sheet.tsv has no $tracker row for $material"
  done
  for material in Silence Noise Hum; do
    awk -F'\t' -v t="$tracker" -v m="$material" '$1 == t && $2 == m { ok = 1 } END { exit !ok }' \
      "$sheet/false.tsv" || fail "false.tsv has no $tracker row for $material"
  done
done
awk -F'\t' '$1 == "wavepitch" && $2 == "Singer" && $3 == "C4–B4" && $4 >= 90 { ok = 1 }
  END { exit !ok }' "$sheet/bands.tsv" || fail "ours tracks under 90 % of the singer's C4"
awk -F'\t' '$1 == "wavepitch" && $2 == "Silence" && $4 == 0 { ok = 1 } END { exit !ok }' \
  "$sheet/false.tsv" || fail "ours reported a pitch on digital silence"
if [ -x "${FIGURES_SPTK:-/usr/libexec/sptk/bin}/pitch" ]; then
  grep -q $'^sptk rapt\tSinger\t' "$sheet/sheet.tsv" || fail "no SPTK RAPT row though sptk is installed"
  grep -q '^| sptk rapt | ' "$out/figures.md" || fail "figures.md has no SPTK speed or accuracy row"
else
  grep -q 'Left out of this run.*SPTK' "$out/figures.md" || fail "figures.md does not say SPTK is missing"
fi
if command -v "${FIGURES_PRAAT:-praat}" >/dev/null; then
  grep -q $'^praat ac\tSinger\t' "$sheet/sheet.tsv" || fail "no Praat row though praat is installed"
else
  grep -q 'Left out of this run.*Praat' "$out/figures.md" || fail "figures.md does not say Praat is missing"
fi
grep -q '^## Datasheet' "$md" || fail "figures.md has no datasheet"
grep -Eq '^\| wavepitch \| [0-9.]+ \| 1 \| [0-9]+ \| ' "$md" || fail "figures.md has no speed row for ours"
f=$out/figures/speed.png
size=$(identify -format '%m %w %h' "$f" 2>/dev/null)
[ "${size%% *}" = PNG ] || fail "$f is not a plot (identify: ${size:-nothing})"

[ "$fails" = 0 ] || { echo "$fails check(s) failed; files in $work and $out" >&2; exit 1; }
echo "quick figures run: all checks passed"
