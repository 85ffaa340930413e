#!/usr/bin/env bash
# One scripted round of the game on a virtual display with virtual audio
# devices: the goal tone is played (and recorded), a sung tone is fed to the
# microphone while the left button is held, the button is released and the
# arrow flies. Leaves a console transcript and screenshots in the output
# folder and says where they are.
#
#   tools/headless/play_round.sh PROGRAM HELPERS OUTPUT
#
# PROGRAM is the Arrowsong binary, HELPERS the folder holding e2e_feeder,
# e2e_freqmeter and e2e_scene, OUTPUT the folder to write to.
if [ $# -ne 3 ]; then
  echo "usage: $0 PROGRAM HELPERS OUTPUT" >&2
  exit 2
fi
export ARROWSONG=$1 E2E_TOOLS=$2 E2E_OUT=$3 E2E_KEEP=1
source "$(dirname "$0")/harness.sh"
e2e_begin round

transcript=$E2E_DIR/transcript.txt
say() { printf '%s\n' "$*" | tee -a "$transcript.harness" >&2; }

e2e_start_x
e2e_start_audio
e2e_start_game
say "Arrowsong started on the virtual display $DISPLAY; first frame after $E2E_FIRST_FRAME s."

e2e_key space
e2e_wait_line out '^Freq: ' 5 || e2e_abort "no goal tone after space"
goal=$(e2e_value out 'Freq: ')
e2e_listen 1.5 goal_tone
say "Space: the goal tone plays; recorded from the virtual speaker at $E2E_PLAYED_FREQ Hz (goal $goal Hz)."

say "Singing $goal Hz into the virtual microphone while the left button is held for 2 s."
e2e_sing 1 2 voice "$goal"
say "Released: goal $E2E_GOAL Hz, sung average $E2E_AVERAGE Hz ($(e2e_cents "$E2E_GOAL" "$E2E_AVERAGE") cents)."
sleep 0.05
e2e_shot in_flight >/dev/null
e2e_landed_arrow landed_arrow
say "The arrow landed at ($E2E_ARROW_X, $E2E_ARROW_Y) on the board (the centre is (0, 0), the rim 0.5 away)."

e2e_quit
{
  echo "== Arrowsong standard output"
  cat "$E2E_DIR/out"
  echo "== Arrowsong standard error"
  cat "$E2E_DIR/err"
  echo "== What the round did"
  cat "$transcript.harness"
} >"$transcript"
rm -f "$transcript.harness"

echo
echo "Console transcript:            $transcript"
echo "Screenshot of the landed arrow: $E2E_DIR/landed_arrow.png"
echo "Screenshot in flight:          $E2E_DIR/in_flight.png"
e2e_end
