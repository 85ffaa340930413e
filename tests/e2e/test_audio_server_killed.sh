#!/usr/bin/env bash
# The audio server dies in the middle of a round, tone sounding, button held.
# Either the program ends with a message of its own, or it stays responsive:
# the release is judged, test shots still fly, q ends it with status 0. It
# never hangs, and it does not flood the console.
source "$(dirname "$0")/../../tools/headless/harness.sh"
e2e_begin audio_server_killed
e2e_start_x
e2e_start_audio
e2e_start_game

e2e_key space
e2e_wait_line out '^Freq: ' 5 || e2e_abort "no Freq line after space"
e2e_signal tone "$(e2e_value out 'Freq: ')" 0.5
e2e_mouse down 1
sleep 0.5
lines_before=$(cat "$E2E_DIR/out" "$E2E_DIR/err" | wc -l)
kill -9 "$E2E_PID_PULSE"
E2E_PID_PULSE=""
sleep 2

if ! e2e_game_running; then
  e2e_wait_exit 1
  e2e_log "the program ended with status $E2E_EXIT"
  e2e_expect "the program ends with a message of its own" \
    test "$(cat "$E2E_DIR/out" "$E2E_DIR/err" | wc -l)" -gt "$lines_before"
  e2e_end
fi

# The lost stream is reported, not repeated for every block the library
# can no longer write: a few lines, not a flood that burns a core.
after=$(($(cat "$E2E_DIR/out" "$E2E_DIR/err" | wc -l) - lines_before))
e2e_expect "the lost stream is reported in a few lines ($after lines within 2 s)" test "$after" -le 50

e2e_mouse up 1
e2e_expect "the release is still judged" e2e_wait_line out '^Your frequency average: ' 5
e2e_key period
e2e_landed_arrow after_kill
e2e_expect_arrow_at_height 0.5 "a test shot after the server died"
e2e_quit
e2e_end
