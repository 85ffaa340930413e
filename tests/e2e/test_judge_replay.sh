#!/usr/bin/env bash
# The same take judged twice: sung into the running game through the virtual
# microphone, and replayed by `pitchtrack --judge` from its file. Both must
# print the same goal and the same average, and the arrow must land at the
# height pitchtrack reports.
#
# The game averages the tracker's results of the last block(s) heard, and its
# blocks fall anywhere in the take. A pure tone at an arbitrary frequency is
# tracked a few cents differently depending on where a block starts (now and
# then much more), so the take is made so that it cannot matter: it repeats
# exactly every P samples, a whole number, and then every block, wherever it
# starts, holds the same extrema at the same distances and gives the same
# pitch, 44100 / P. The case checks that premise with pitchtrack itself, at
# several starting points, before it asks the game. The samples reach the
# game unchanged (16-bit in the file, exact in every conversion on the way),
# so the two averages must agree to within the printed six significant
# digits; 1 cent leaves room for that rounding (under 0.02 cents at these
# pitches) and still catches a replay at the wrong rate or through another
# tracker.
#
# Two rounds: a sine well sharp (about +70 cents, the 0.25 band) and a
# steady vowel-like voice (eight harmonics, no vibrato) well flat (about
# -90 cents, the -0.35 band). Rounding the period to whole samples moves
# each at most 8 cents from its aim at the game's goal notes, which keeps it
# inside its band, nearly 3 cents or more from either edge.
#
# Needs pitchtrack (PITCHTRACK, set by the build) and sox; without them the
# case exits 77, a failure in a build where every test must run.
source "$(dirname "$0")/../../tools/headless/harness.sh"
e2e_begin judge_replay

if [ -z "${PITCHTRACK:-}" ]; then
  e2e_log "skipped: this build has no pitchtrack (PITCHTRACK is not set)"
  exit 77
fi
[ -x "$PITCHTRACK" ] || e2e_abort "pitchtrack not found at $PITCHTRACK (build the pitchtrack target)"
if ! command -v sox >/dev/null; then
  e2e_log "skipped: needs sox (scripts/install-deps.sh --test)"
  exit 77
fi

# The whole-sample period nearest to the goal note moved by the given cents.
period_for() { # note, cents
  awk -v n="$1" -v c="$2" 'BEGIN { printf "%d", 44100 / (440 * 2 ^ ((n - 57 + c / 100) / 12)) + 0.5 }'
}

# Renders about 3 s of a waveform repeating every P samples, as a 16-bit WAV
# for pitchtrack and the same samples as raw for the microphone.
render_take() { # period, tone|voice, name
  local period=$1 kind=$2 name=$3
  awk -v P="$period" -v kind="$kind" 'BEGIN {
    n = split("1 0.6 0.45 0.2 0.25 0.1 0.08 0.05", part, " ")
    gain = 0.18
    if (kind == "tone") { n = 1; gain = 0.5 }
    print "; Sample Rate 44100"
    print "; Channels 1"
    for (i = 0; i < P; i++) {
      v = 0
      for (h = 1; h <= n; h++) v += part[h] * sin(2 * 3.141592653589793 * h * i / P)
      printf "%.9f %.9f\n", i / 44100, gain * v
    }
  }' >"$E2E_DIR/$name-period.dat" || return 1
  # -D: no dither, so every period is the same samples.
  sox -D "$E2E_DIR/$name-period.dat" -b 16 -e signed "$E2E_DIR/$name-period.wav" &&
    sox -D "$E2E_DIR/$name-period.wav" "$E2E_DIR/$name.wav" repeat $((132300 / period)) &&
    sox -D "$E2E_DIR/$name.wav" -t raw -e signed -b 16 -L "$E2E_DIR/$name.raw"
}

# Runs pitchtrack --judge on a take into the given output file (standard
# output and error); a failure or a sanitizer report ends the case.
judge() { # note, take, output file
  "$PITCHTRACK" --judge "$1" "$2" >"$3" 2>&1 ||
    e2e_abort "pitchtrack --judge $1 $2 failed: $(cat "$3")"
  if grep -Eq 'ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: UndefinedBehaviorSanitizer' "$3"; then
    e2e_abort "sanitizer report from pitchtrack --judge $1 $2: $(cat "$3")"
  fi
}

# The value after the label in pitchtrack's output.
judged() { # output file, label
  grep -E -- "^$2" "$1" | tail -n 1 | sed -e "s/^$2//"
}

# One round: the take is judged by pitchtrack, then sung into the game with
# the left button held, and the two judgements are compared.
round() { # name, tone|voice, cents from the goal
  local name=$1 kind=$2 aim=$3 period pitch offset start seen replay ptgoal ptavg height cents apart band
  period=$(period_for "$midi" "$aim")
  pitch=$(awk -v p="$period" 'BEGIN { printf "%.3f", 44100 / p }')
  e2e_log "$name: goal note $midi, take a $kind of period $period samples ($pitch Hz)"
  render_take "$period" "$kind" "$name" || e2e_abort "$name: cannot render the take"

  # The premise: wherever the blocks start in the take, pitchtrack judges it
  # the same. Five starting points spread over one period.
  for offset in 0 1 2 3 4; do
    start=$((offset * period / 5))
    sox -D "$E2E_DIR/$name.wav" "$E2E_DIR/$name-from.wav" trim "${start}s" ||
      e2e_abort "$name: cannot trim the take"
    judge "$midi" "$E2E_DIR/$name-from.wav" "$E2E_DIR/$name-from.judge"
    seen=$(judged "$E2E_DIR/$name-from.judge" 'Your frequency average: ')
    e2e_log "$name: from sample $start pitchtrack averages $seen Hz"
    if [ "$offset" = 0 ]; then
      replay=$seen
    elif [ "$seen" != "$replay" ]; then
      e2e_abort "$name: the take is not steady: $replay Hz from the start, $seen Hz from sample $start"
    fi
  done

  judge "$midi" "$E2E_DIR/$name.wav" "$E2E_DIR/$name.judge"
  ptgoal=$(judged "$E2E_DIR/$name.judge" 'Goal frequency: ')
  ptavg=$(judged "$E2E_DIR/$name.judge" 'Your frequency average: ')
  height=$(judged "$E2E_DIR/$name.judge" 'landing height: ')
  e2e_log "$name: pitchtrack: goal $ptgoal Hz, average $ptavg Hz, landing height $height"
  if [ -z "$ptgoal" ] || [ -z "$ptavg" ] || [ -z "$height" ]; then
    e2e_abort "$name: pitchtrack printed no judgement: $(cat "$E2E_DIR/$name.judge")"
  fi

  e2e_sing 1 1.5 file "$E2E_DIR/$name.raw"
  cents=$(e2e_cents "$E2E_GOAL" "$E2E_AVERAGE")
  band=$(e2e_band "$E2E_GOAL" "$E2E_AVERAGE")
  e2e_log "$name: game: goal $E2E_GOAL Hz, average $E2E_AVERAGE Hz ($cents cents), band $band"

  e2e_expect "$name: the game's goal $E2E_GOAL Hz is pitchtrack's $ptgoal Hz" \
    test "$E2E_GOAL" = "$ptgoal"
  # Not silence, nor some other pitch: the game heard the take.
  e2e_expect "$name: the game's average $E2E_AVERAGE Hz is the take's $pitch Hz" \
    e2e_between "$(e2e_cents "$pitch" "$E2E_AVERAGE")" -15 15
  apart=$(e2e_cents "$ptavg" "$E2E_AVERAGE")
  e2e_log "$name: the game's average is $apart cents from pitchtrack's"
  e2e_expect "$name: the game's average $E2E_AVERAGE Hz is pitchtrack's $ptavg Hz ($apart cents apart)" \
    e2e_between "$apart" -1 1
  [ "$band" = keep ] && band=0
  e2e_expect "$name: the game's numbers give the band $band, pitchtrack's landing height is $height" \
    e2e_near "$band" "$height" 0.001

  e2e_landed_arrow "$name"
  if [ "$height" = 0 ]; then
    e2e_expect_arrow_centre "$name"
  else
    e2e_expect_arrow_at_height "$height" "$name"
  fi
}

e2e_start_x
e2e_start_audio
e2e_start_game

e2e_next_goal
midi=$E2E_NEXT_MIDI
round sharp tone 70

# Clear the shot, then the next goal.
e2e_key space
sleep 0.3
e2e_next_goal
midi=$E2E_NEXT_MIDI
round flat voice -90

e2e_quit
e2e_end
