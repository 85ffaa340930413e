#!/usr/bin/env bash
# quick_run.sh SOURCE_DIR BUILD_DIR OUT_DIR: the quick figures run, checked.
# Every output exists, the frames are the command-line tools' own, and the
# numbers are a working pipeline's (the choir's A4 tracked and judged a
# bullseye, the tone within two seconds of the key, the singer's C4 tracked).
set -uo pipefail
src=$1 build=$2 out=$3
fails=0
fail() { echo "FAIL: $*" >&2; fails=$((fails + 1)); }

rm -rf "$out"
if ! bash "$src/scripts/figures.sh" --quick --no-build --build "$build" --out "$out"; then
  echo "FAIL: scripts/figures.sh --quick failed" >&2
  exit 1
fi
work=$build/figures-work-quick sheet=$build/figures-work-quick/sheet md=$out/figures.md

plots=(accuracy cents latency speed)
if ls "$build"/bench/game/*bench* >/dev/null 2>&1; then plots+=(callback); fi
for png in "${plots[@]}"; do
  size=$(identify -format '%m %w %h' "$out/figures/$png.png" 2>/dev/null)
  read -r kind w h <<<"$size"
  [ "${kind:-}" = PNG ] && [ "${w:-0}" -ge 600 ] && [ "${h:-0}" -ge 400 ] \
    || fail "$png.png is not a plot (identify: ${size:-nothing})"
done

# The rounds: one line per note. A4 (game note 57, 440 Hz) on Choir Aahs: a
# wrong MIDI note, sample rate or window would put this far from the goal.
[ "$(grep -vc '^#' "$work/notes.tsv")" = 3 ] || fail "notes.tsv does not have 3 notes"
read -r goal bull rel < <(awk -F'\t' '$2 == 57 { print $4, $9, $10 }' "$work/notes.tsv")
[ "${goal:-}" = 440 ] || fail "note 57's goal is ${goal:-missing}, expected 440"
[ "${bull:-0}" = 1 ] || fail "A4 released at the note-off was not judged a bullseye"
awk -v r="${rel:-0}" 'BEGIN { exit !(r >= 80) }' || fail "A4: ${rel:-?}% of rounds a bullseye"
grep -Eq '^\| A4 \(57\) \| 440\.00 \| 5\.11 \| (8[0-9]|9[0-9]|100)\.[0-9] \|' "$md" \
  || fail "figures.md has no A4 row with ours over 80 %"

# The frames are what the command-line tools print for the same file:
# pitchtrack for ours (both window sizes it is asked for), aubiopitch for yin.
a4wav=$(awk -F'\t' '$2 == 57 { print $3 }' "$work/manifest.tsv")
frames() { awk -F'\t' -v f="$a4wav" -v t="$1" '$1 == f && $2 == t { print $4 }' "$sheet/library.tsv"; }
same() { # tracker, file of the tool's "time hz" lines (it may add a partial window)
  local n
  n=$(frames "$1" | wc -l)
  awk '{ print $2 }' "$2" | head -n "$n" | paste <(frames "$1") - | awk -v n="$n" \
    'NF != 2 { bad++ } { d = $1 - $2; if (d < 0) d = -d; if (d > 0.01) bad++ } END { exit bad > 0 || NR != n }'
}
for window in 512 1024; do
  name=wavepitch; [ "$window" = 512 ] || name="wavepitch $window"
  "$build/app/pitchtrack/pitchtrack" --window "$window" --hop 512 "$a4wav" >"$work/a4.tool"
  same "$name" "$work/a4.tool" || fail "$name differs from pitchtrack --window $window on $a4wav"
done
aubiopitch -i "$a4wav" -p yin -B 512 -H 512 -u Hz >"$work/a4.tool" 2>/dev/null
same "aubio yin" "$work/a4.tool" || fail "aubio yin differs from aubiopitch -p yin on $a4wav"

# Latency: two tones, each heard after the key and within two seconds.
n=0
for ms in $(awk '{ print $2 }' "$work/latency/run1.keytone"); do
  n=$((n + 1))
  awk -v v="$ms" 'BEGIN { exit !(v > 0 && v < 2000) }' || fail "key to tone $ms ms"
done
[ "$n" = 2 ] || fail "$n key-to-tone times, expected 2"
grep -Eq '^\| Key to tone \| 2 \| [0-9.]+ ms' "$md" || fail "figures.md has no key-to-tone row"
grep -q '^| Choir Aahs | ' "$md" || fail "figures.md has no summary row"
grep -q 'quick run' "$md" || fail "figures.md does not say it is the quick run"

# The datasheet: every tracker has a number in every table, ours tracks the
# singer's C4 and gives no pitch on silence, the tools that are missing are
# named.
trackers=(wavepitch "wavepitch 1024" "wavepitch 2048" "aubio yin" "aubio yinfast" "aubio yinfft"
  "aubio mcomb")
[ -x "${FIGURES_SPTK:-/usr/libexec/sptk/bin}/pitch" ] && trackers+=("sptk rapt") \
  || grep -q 'Left out of this run.*SPTK' "$md" || fail "figures.md does not say SPTK is missing"
command -v "${FIGURES_PRAAT:-praat}" >/dev/null && trackers+=("praat ac") \
  || grep -q 'Left out of this run.*Praat' "$md" || fail "figures.md does not say Praat is missing"
# The cell of a table of the page, by the table's heading, the row's tracker
# and the column's name.
cell() { awk -F' *[|] *' -v h="$1" -v t="$2" -v c="$3" '
  index($0, "| " h) == 1 { for (i = 3; i < NF; i++) if ($i == c) col = i; on = 1; next }
  on && !/^\|/ { on = 0 }
  on && col && $2 == t { print $col; exit }' "$md"; }
for table in "Raw pitch accuracy" "Raw chroma accuracy" "Voicing recall" "Overall accuracy" \
  "Voicing false alarm" "Octave errors" "Singer, raw pitch accuracy:C4–B4"; do
  for t in "${trackers[@]}"; do
    [[ "$(cell "${table%:*}" "$t" "$([[ $table == *:* ]] && echo "${table#*:}" || echo Singer)")" \
      =~ ^[0-9]+\.[0-9] ]] || fail "the table \"${table%:*}\" has no number for $t"
  done
done
awk -v v="$(cell "Singer, raw pitch" wavepitch "C4–B4")" 'BEGIN { exit !(v >= 90) }' \
  || fail "ours tracks under 90 % of the singer's C4"
for material in Singer Silence; do
  [ "$(cell "Voicing false alarm" wavepitch "$material")" = 0.0 ] \
    || fail "ours gave a pitch on unvoiced frames of $material"
done
grep -Eq '^\| wavepitch \| [0-9.]+ \| 1 \| [0-9]+ \| ' "$md" || fail "figures.md has no speed row for ours"

[ "$fails" = 0 ] || { echo "$fails check(s) failed; files in $work and $out" >&2; exit 1; }
echo "quick figures run: all checks passed"
