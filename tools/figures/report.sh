# shellcheck shell=bash
# Settings come from scripts/figures.sh, which sources this file:
# shellcheck disable=SC2154
# Writes figures.md from the tables of one run of scripts/figures.sh, which
# sources this file. Every number on the page comes from those tables.

# "n median p25 p75 min max" of the numbers on standard input, or "0" alone.
stats() {
  sort -g | awk '
    { v[++n] = $1 }
    function q(p,   i) { i = 1 + (n - 1) * p; return v[int(i)] + (i - int(i)) * (v[int(i) + 1] - v[int(i)]) }
    END { if (n == 0) { print 0; exit } printf "%d %.4g %.4g %.4g %.4g %.4g\n", n, q(0.5), q(0.25), q(0.75), v[1], v[n] }'
}

# Google Benchmark's JSON to "name<TAB>aggregate<TAB>cpu µs<TAB>real µs", one
# line per aggregate (mean, median, stddev, cv). Its objects are flat and end
# their time fields with time_unit, which is where a line is complete.
bench_table() { # json file
  awk '
    function num(line) { sub(/.*: */, "", line); sub(/,$/, "", line); return line + 0 }
    function str(line) { sub(/^[^:]*: *"/, "", line); sub(/",?$/, "", line); return line }
    /"name":/ { name = str($0); agg = "" }
    /"aggregate_name":/ { agg = str($0) }
    /"cpu_time":/ { cpu = num($0) }
    /"real_time":/ { real = num($0) }
    /"time_unit":/ {
      unit = str($0); f = (unit == "ns") ? 0.001 : (unit == "ms") ? 1000 : (unit == "s") ? 1e6 : 1
      if (agg != "") { sub("_" agg "$", "", name); printf "%s\t%s\t%.6g\t%.6g\n", name, agg, cpu * f, real * f }
    }' "$1"
}

# The markdown rows of the summary table, one per sound.
summary_rows() { # tables folder
  awk -F'\t' '
    !/^#/ {
      s = $1; if (!(s in n)) order[++k] = s
      n[s]++; o[s] += $6; y[s] += $7; f[s] += $8; b[s] += $12; r[s] += $13
      if ($2 >= 41) { hn[s]++; ho[s] += $6; hy[s] += $7 }
    }
    END {
      for (i = 1; i <= k; i++) {
        s = order[i]
        printf "| %s | %.1f | %.1f | %.1f | %.1f | %.1f | %d of %d | %.1f |\n", s, o[s] / n[s], y[s] / n[s], \
          f[s] / n[s], hn[s] ? ho[s] / hn[s] : 0, hn[s] ? hy[s] / hn[s] : 0, b[s], n[s], r[s] / n[s]
      }
    }' "$1/notes.tsv"
}

# What a judged height means for the player.
judged_text() { # y_adj
  case "$1" in
    0) echo "bullseye" ;;
    0.1) echo "sharp, 2–3 steps" ;; 0.25) echo "sharp, 3–4 steps" ;;
    0.35) echo "sharp, 4–5 steps" ;; 0.5) echo "sharp, over a semitone" ;;
    -0.1) echo "flat, 2–3 steps" ;; -0.25) echo "flat, 3–4 steps" ;;
    -0.35) echo "flat, 4–5 steps" ;; -0.5) echo "flat, over a semitone" ;;
    *) echo "$1" ;;
  esac
}

# One table per sound: every goal note with both trackers and the round.
note_tables() { # tables folder
  local slug title
  while IFS=$'\t' read -r slug title; do
    printf '\n### %s\n\n' "$title"
    echo "| Note | Goal Hz | Periods in 512 | Ours % | yin % | yinfast % | Median cents, ours / yin | Round at note-off: average Hz (cents) | Judged | Rounds judged a bullseye % |"
    echo "| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: | --- | ---: |"
    while IFS=$'\t' read -r sound note goal _ _ ours yin yinfast avg cents yadj _ rel name; do
      local med
      med=$(awk -F'\t' -v s="$sound" -v n="$note" '$1 == s && $2 == n { printf "%.0f / %.0f", $3, $4 }' \
        "$1/medians.tsv")
      printf '| %s (%s) | %.2f | %.2f | %.1f | %.1f | %.1f | %s | %.1f (%+.0f) | %s | %.0f |\n' \
        "$name" "$note" "$goal" "$(awk -v g="$goal" 'BEGIN { print g * 512 / 44100 }')" \
        "$ours" "$yin" "$yinfast" "$med" "$avg" "$cents" "$(judged_text "$yadj")" "$rel"
    done <"$1/notes-$slug.tsv"
  done <"$1/sounds.tsv"
}

# Notes at F3 and above where ours tracks under half the windows.
weak_notes() { # tables folder
  awk -F'\t' '$2 >= 41 && $6 < 50 { printf "%s%s %s (%.0f %%)", sep, $1, $14, $6; sep = ", " }
    END { if (sep == "") printf "none" }' "$1"/notes-*.tsv
}

# Which goal notes were rendered, in words.
notes_sentence() { # tables folder
  local count
  count=$(awk -F'\t' '!/^#/ { print $2 }' "$1/notes.tsv" | sort -un | wc -l)
  if [ "$count" -ge 24 ]; then
    echo "Every goal note of the game (36 to 59 on its scale, where 57 is 440 Hz: C3 to B4)."
  else
    echo "The goal notes $(cut -f2,14 "$1"/notes-*.tsv | sort -un | cut -f2 | paste -sd, - | sed 's/,/, /g') of the game (57 on its scale is 440 Hz)."
  fi
}

# The largest offset on which both trackers agree (medians within 10 cents),
# at F3 and above, where yin can see the note.
tuning_sentence() { # tables folder
  awk -F'\t' '$2 >= 41 && $3 != "nan" && $4 != "nan" {
      d = $3 - $4; if (d < 0) d = -d
      a = ($3 + $4) / 2; m = a < 0 ? -a : a
      if (d <= 10 && m > best) { best = m; at = $1 " note " $2; val = a }
    }
    END { if (best == "") print "no note shows one"; else printf "the largest is %+.0f cents (%s)", val, at }' "$1/medians.tsv"
}

share_of() { # classes.tsv, class, column (2 ours, 3 yin)
  awk -F'\t' -v c="$2" -v k="$3" '$1 == c { print $k }' "$1"
}

# The machine and the tools, as the page states them.
machine_rows() { # build folder
  local cxx
  cxx=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$1/CMakeCache.txt")
  echo "| Date | $(date -u '+%Y-%m-%d %H:%M UTC') |"
  echo "| Processor | $(lscpu | sed -n 's/^Model name: *//p' | head -n 1), $(nproc) cores$(lscpu | grep -q '^Hypervisor vendor' && echo ", virtual machine ($(lscpu | sed -n 's/^Hypervisor vendor: *//p'))") |"
  [ -s "$work/loadavg.txt" ] && echo "| Load average before the benchmarks | $(cat "$work/loadavg.txt") (1, 5 and 15 minutes; $(nproc) cores) |"
  echo "| Memory | $(free -g | awk '/^Mem:/ { print $2 }') GiB |"
  echo "| System | Debian $(cat /etc/debian_version), Linux $(uname -r) |"
  echo "| Compiler | $("$cxx" --version | head -n 1), $(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$1/CMakeCache.txt") build |"
  echo "| Renderer | $(fluidsynth --version 2>/dev/null | head -n 1), sound font $(dpkg-query -W -f='${Package} ${Version}' fluid-soundfont-gm 2>/dev/null) |"
  echo "| Compared with | aubio $(pkg-config --modversion aubio) (libaubio) |"
  echo "| Plots | $(gnuplot --version) |"
}

# Median and spread of a file of numbers, as a table row's cells.
stats_cells() { # file, unit, scale
  local s
  s=$(stats <"$1")
  [ "$s" != 0 ] || { echo "| 0 | not measured | | |"; return; }
  awk -v u="$2" -v k="${3:-1}" '{ printf "| %d | %.4g %s | %.4g–%.4g %s | %.4g–%.4g %s |\n", $1, $2 * k, u, $3 * k, $4 * k, u, $5 * k, $6 * k, u }' <<<"$s"
}

# Mean of one column of notes.tsv over the notes in [lo, hi].
mean_over_notes() { # column, lo, hi
  awk -F'\t' -v c="$1" -v lo="$2" -v hi="$3" '!/^#/ && $2 >= lo && $2 <= hi { s += $c; n++ }
    END { if (n) printf "%.0f", s / n; else printf "n/a" }' "$work/notes.tsv"
}

# The page's headline numbers, every one from this run's tables.
glance_bullets() {
  local s
  echo "- Goal notes from F3 up (two periods or more in a 512-sample window): ours tracks" \
    "$(mean_over_notes 6 41 59) % of windows within 50 cents of the note, aubio yin $(mean_over_notes 7 41 59) %."
  echo "- C3 to E3 (under two periods): ours $(mean_over_notes 6 36 40) %, aubio yin $(mean_over_notes 7 36 40) %."
  echo "- A note held in tune is judged a bullseye by the game at $(mean_over_notes 13 36 59) % of release" \
    "points ($(mean_over_notes 13 41 59) % from F3 up)."
  s=$(stats <"$work/key_to_tone_ms.txt")
  [ "$s" = 0 ] || echo "- From the space key to the goal tone: $(awk '{ printf "%.0f ms median, %.0f to %.0f ms", $2, $5, $6 }' <<<"$s")."
  if [ -s "$work/callback.tsv" ]; then
    awk -F'\t' 'NR == 1 { printf "- The audio callback while listening: %.3g µs of CPU per 11.6 ms block (%.2g %% of its period).\n", $2, 100 * $2 / (512 / 44100 * 1e6) }' "$work/callback.tsv"
  fi
  if [ -s "$work/render_bench.tsv" ]; then
    awk -F'\t' '$2 == "median" { f = 1e6 / $4; if (lo == "" || f < lo) lo = f; if (f > hi) hi = f }
      END { printf "- The scene under Xvfb with Mesa'"'"'s software renderer: %.0f to %.0f frames per second.\n", lo, hi }' "$work/render_bench.tsv"
  fi
  s=$(stats <"$work/first_frame_seconds.txt")
  [ "$s" = 0 ] || awk '{ printf "- The first frame is on screen %.2g s after launch (median).\n", $2 }' <<<"$s"
}

# The whole page, on standard output.
write_page() {
  local t=$work sound_list note_count
  sound_list=$(cut -f2 "$t/sounds.tsv" | paste -sd, - | sed 's/,/, /g')
  note_count=$(grep -vc '^#' "$t/notes.tsv")
  cat <<MD
# Arrowsong, measured

How well the pitch tracker follows real voices and instruments, how the game
judges them, how long the goal tone takes to sound, what the audio callback
costs, and how fast the scene draws. Every figure and plot on this page comes
from one command, which rebuilds everything from scratch:

\`\`\`sh
scripts/figures.sh
\`\`\`
$( [ "$quick" = 1 ] && printf '\n**This is the quick run** (`scripts/figures.sh --quick`): %s notes of one sound and one short latency run. It checks that the pipeline works; its numbers are not the published ones.\n' "$note_count")

| | |
| --- | --- |
$(machine_rows "$build")

## At a glance

$(glance_bullets)

## Accuracy on rendered voices and instruments

![Share of windows within 50 cents, per goal note, ours against aubio](figures/accuracy.png)

**What was measured.** $(notes_sentence "$t") Each was rendered as one sustained note of
$note_seconds s by fluidsynth with the FluidR3 General MIDI sound font, on these programs:
$sound_list. Choir Aahs and Voice Oohs are the font's sampled voices; the flute and the clarinet
are instruments. Reverb and chorus are off, so each file holds the sample as recorded. Each file
was cut into 512-sample windows (11.6 ms at 44100 Hz, the game's
block) with a hop of 512, and three trackers ran on the same windows:

- **ours**: \`dywapitch_computepitch\` once per window, one tracker record per note: what
  \`pitchtrack NOTE.wav\` prints for the file;
- **aubio yin** and **aubio yinfast**: libaubio with a 512-sample window and a 512-sample hop,
  at aubio's default tolerance and silence threshold: what \`aubiopitch -p yin -B 512 -H 512\`
  prints. (The quick run checks both against the tools, window by window.)

A window counts from the note's onset (the first window at half the note's loudest level) to its
note-off. The lines give the share of those windows whose pitch lies within 50 cents of the note;
a window without a pitch counts as a miss.

**How the game judges it.** The bars play one round of the real game on each note, through the
game library itself: the goal set as the space key sets it, the left button pressed at the onset
(which re-initialises the tracker), every block handed to \`audioCallback\` (512 tracker calls per
block), and \`computePitchAverage\` and \`shootArrow\` at the release. A bullseye is a judgement within
two fifth-of-semitone steps (±40 cents). The game judges what \`pitchArray\` holds at the release,
which is mostly the last block heard, so a single release point says little: each round is judged
as if released after every block from 0.5 s of singing to the note-off, and the bar is the share of
those release points judged a bullseye. The tables below also give the single round released at the
note-off.

| Sound | Ours % (all notes) | yin % | yinfast % | Ours % (F3 and up) | yin % (F3 and up) | Bullseye at note-off | Rounds judged a bullseye % |
| --- | ---: | ---: | ---: | ---: | ---: | ---: | ---: |
$(summary_rows "$t")

Percentages are means over the goal notes of each sound.

### Where the tracker does badly, and why

- **The lowest goal notes.** A 512-sample window holds 512 × f / 44100 periods: 1.52 at C3
  (130.81 Hz), and two periods only from 172.3 Hz, between E3 and F3 (shaded in the plot). Our
  estimator finds the pitch from the distances between repeated maxima and minima, so with under
  two periods there are one or two distances per window, and whether they show the period depends
  on where the window starts. aubio's yin fails outright below 172 Hz: with a 512-sample window it
  searches lags of up to 256 samples only, and picks a harmonic instead.
- **Notes at F3 and above where ours tracks under half the windows:** $(weak_notes "$t").
  Where a sound's energy lies mostly in its upper harmonics, its waveform has several maxima and
  minima per period of similar height, the estimator's distances between them fit a harmonic or
  no note at all, and the levels agree on the wrong distance.$([ "$quick" = 1 ] || printf ' (In the clarinet samples at C4 to D4\n  the 5th and 7th harmonics carry most of the energy, and ours reports about 1.5 kHz.)') yin
  compares the signal with itself a whole period later and is not led astray by them.
- **One bad block can spoil a round.** The game runs the tracker 512 times over each block, so
  within one block its confidence goes from nothing to full. When the first block after the press
  is tracked an octave off, the octave correction then holds the pitch an octave off while the
  following blocks are right, until a block that is neither near nor an octave away lets go. This
  is why notes with over 90 % of their windows right can still be judged a miss at many release
  points.
- **The samples' own tuning.** The median cents columns show where each tracker puts the note when
  it has a pitch. Where ours and yin agree on an offset, the offset is in the recording, not in
  either tracker: $(tuning_sentence "$t").

### The distribution of cents error

![Histogram of cents error within a semitone, and every window by class of error](figures/cents.png)

All windows after the onset, every sound and goal note together ($(cat "$t/windows_judged.txt") windows).

| Where the window's pitch lies | Ours % | yin % | yinfast % |
| --- | ---: | ---: | ---: |
$(awk -F'\t' '{ printf "| %s | %s | %s | %s |\n", $1, $2, $3, $4 }' "$t/classes.tsv")

aubio's yin and yinfast compute the same difference function (yinfast through the FFT) and gave
the same pitch on $(awk -F'\t' '!/^#/ { n++; d = $7 - $8; if (d < 0) d = -d; if (d <= 0.01) same++ } END { printf "%.2f", 100 * same / n }' "$t/windows.tsv") % of all windows.

### Every note

$(note_tables "$t")

## Latency

Measured with the end-to-end harness: a private X server (Xvfb) and a private PulseAudio server
with a null sink as the default output and a virtual microphone (a pipe source fed in real time) as
the default input, and the real \`Arrowsong\` program. \`figures-keytone\` records the null sink's
monitor in 256-frame fragments, sends the space key to the window (XSendEvent, timed when the X
server has it), and times the first sample of the tone on the monitor, less the recording latency
that PulseAudio reports; then it sends space again to stop the tone. Runs of the program:
$latency_runs, with $tones_per_run tones each.

| | Samples | Median | Middle half | Range |
| --- | ---: | ---: | ---: | ---: |
$(stats_cells "$t/key_to_tone_ms.txt" ms | sed 's/^/| Key to tone /')
$(stats_cells "$t/first_frame_seconds.txt" s | sed 's/^/| Start to first frame /')

![Key-to-tone time of every tone](figures/latency.png)

The program printed "stream latency: $(sort -u "$t/stream_latency_frames.txt" | paste -sd/ -) frames" and a granted block of
$(sort -u "$t/block_frames.txt" | paste -sd/ -) frames in every run. The printed latency is what the audio library reports for the
stream, and its PulseAudio back end leaves out the server's buffering (it printed 0 frames in
$(grep -cx 0 "$t/stream_latency_frames.txt") of $(wc -l <"$t/stream_latency_frames.txt") runs), which is why the measured key-to-tone time is the figure to trust. It includes the wait for the
next block (up to 11.6 ms), the stream's playback buffer and the server's own scheduling.
"Start to first frame" is from launching the program to the board showing in its window, as the
harness sees it by polling the window with screenshots: an upper bound, late by up to one poll and
one screenshot.

$(callback_section)

$(frames_section)

## Reproducing

\`scripts/figures.sh\` installs what is missing (\`scripts/install-deps.sh --figures\`), builds the
tree in \`build/figures\` (Release), and then runs, in order:

1. per note: a two-second MIDI file written by the script, rendered with
   \`$render_cmd\`;
2. \`build/figures/tools/figures/figures-accuracy --manifest manifest.tsv --notes notes.tsv --windows windows.tsv\`
   (all trackers, and the rounds through the game library);
3. $latency_runs times: the harness's servers, \`build/figures/app/Arrowsong\`, and
   \`build/figures/tools/figures/figures-keytone --source e2e_out.monitor --tones $tones_per_run\`;
4. the benchmarks with \`${bench_args[*]} --benchmark_report_aggregates_only=true --benchmark_format=json\`
   (the frame-rate benchmark keeps its own minimum of 3 s per repetition);
5. gnuplot for the plots.

Its tables (per window, per note, per tone, and the benchmarks' JSON) stay in
\`build/figures/figures-work\`. \`scripts/figures.sh --quick\` runs the same pipeline on three notes
of one sound, in under a minute, and writes to the build folder; the test command runs it.
MD
}

# From the game benchmark's table: "label<TAB>median µs<TAB>stddev µs" per
# benchmark, in the order they ran.
callback_rows() { # game_bench.tsv
  awk -F'\t' '
    { name = $1; sub(/\/.*/, "", name) }
    $2 == "median" { if (!(name in med)) order[++n] = name; med[name] = $3 }
    $2 == "stddev" { sd[name] = $3 }
    END {
      label["BM_CallbackListening"] = "listening, tone on"
      label["BM_CallbackListeningNoTone"] = "listening, tone off"
      label["BM_CallbackToneOnly"] = "tone only"
      label["BM_CallbackIdle"] = "idle"
      label["BM_PerFrameTracking"] = "tracker in full at every frame"
      for (i = 1; i <= n; i++) {
        name = order[i] in label ? label[order[i]] : order[i]
        printf "%s\t%s\t%s\n", name, med[order[i]], sd[order[i]]
      }
    }' "$1"
}

callback_section() {
  echo "## The audio callback's cost"
  echo
  if [ ! -s "$work/callback.tsv" ]; then
    echo "Not measured in this run: the build has no callback benchmark (bench/game)."
    return
  fi
  cat <<MD
![CPU time per block against the block's period](figures/callback.png)

From the game's benchmark (\`bench/game/game_bench\`), which calls \`audioCallback\` on 512-frame
blocks of varied sung material (held notes with vibrato, octave slips, breath noise and silent
gaps), as the audio thread does: while listening with the tone on and off (one estimate per block,
then the tracking stage at every frame until it settles for the block), with the tone alone, and
idle. The last bar runs \`dywapitch_computepitch\` over the whole block at
every frame, 512 times per block, which is what a callback that did not share the block's estimate
would cost. Medians and standard deviations of
$(awk '{ for (i = 1; i <= NF; i++) if ($i ~ /^--benchmark_repetitions=/) { sub(/.*=/, "", $i); print $i } }' <<<"${bench_args[*]}") repetitions; the period of a block is 512 / 44100 s = 11.61 ms.

| Benchmark | Median CPU time per block | Standard deviation | Share of the period |
| --- | ---: | ---: | ---: |
$(awk -F'\t' 'function nice(x) { return x >= 100 ? sprintf("%.0f", x) : x >= 10 ? sprintf("%.1f", x) : sprintf("%.2g", x) }
  { printf "| %s | %s µs | %s µs | %s %% |\n", $1, nice($2), nice($3), nice(100 * $2 / (512 / 44100 * 1e6)) }' "$work/callback.tsv")
MD
}

frames_section() {
  echo "## Frame rate and start-up"
  echo
  if [ ! -s "$work/render_bench.tsv" ]; then
    echo "Frame rate not measured in this run: the build has no frame-rate benchmark (bench/render)."
    echo "Start-up time is in the latency table above."
    return
  fi
  cat <<MD
From the scene's benchmark (\`bench/render/render_bench\`), which draws the game's own frame function
back to back in its 800 × 800 window, on a private Xvfb with Mesa's software renderer: the board at
rest, and with arrows in flight.

| Benchmark | Median time per frame | Frames per second |
| --- | ---: | ---: |
$(awk -F'\t' 'BEGIN { label["BM_FrameAtRest"] = "arrow at rest"; label["BM_FrameWithShots"] = "a new shot every 30 frames" }
  $2 == "median" { n = $1; sub(/\/.*/, "", n); printf "| %s | %.1f ms | %.0f |\n", (n in label) ? label[n] : n, $4 / 1000, 1e6 / $4 }' "$work/render_bench.tsv")

Start-up, from launching the program to the first frame on screen, is in the latency table above.
MD
}
