#!/usr/bin/env bash
# No microphone: the sound server's default input is then the monitor of the
# default output, and a game playing its tone there would hear it and judge
# it as the player's voice. The game must refuse with status 1 and say how to
# choose a microphone. The monitor of another output (as this rig's virtual
# microphone is) is played on, with a note.
source "$(dirname "$0")/../../tools/headless/harness.sh"
e2e_begin no_microphone
e2e_start_x
e2e_start_audio

e2e_set_defaults e2e_out e2e_out.monitor
ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 "$ARROWSONG" >"$E2E_DIR/out" 2>"$E2E_DIR/err" &
# shellcheck disable=SC2034 # the harness waits for it and stops it
E2E_PID_GAME=$!
e2e_wait_exit 30
e2e_expect "the monitor of its own output ends the game with status 1 (got $E2E_EXIT)" test "$E2E_EXIT" = 1
e2e_expect "it says there is no microphone and how to choose one" \
  grep -q '^There is no microphone: .* is the monitor of the output the game plays to.*pactl set-default-source' "$E2E_DIR/err"
e2e_expect "it opens no stream" test "$(e2e_count_lines err '^Buffer size')" = 0

e2e_set_defaults e2e_out e2e_voice.monitor
e2e_start_game
e2e_expect "another output's monitor is played on, with a note" \
  grep -q '^Listening to ".*", the monitor of an output, not a microphone\.$' "$E2E_DIR/err"
e2e_quit
e2e_end
