#!/usr/bin/env bash
# Without an audio server there is no audio device: the program says so on
# standard output and ends with status 1, without ever opening a window.
source "$(dirname "$0")/../../tools/headless/harness.sh"
e2e_begin no_audio_server
e2e_start_x
# A private runtime folder with no server in it, and no autospawn, so that
# neither a developer's server nor a new one can be found.
e2e_pulse_env
printf 'autospawn = no\n' >"$E2E_DIR/client.conf"
export PULSE_CLIENTCONFIG=$E2E_DIR/client.conf

ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 "$ARROWSONG" >"$E2E_DIR/out" 2>"$E2E_DIR/err" &
# shellcheck disable=SC2034 # the harness's cleanup stops it
E2E_PID_GAME=$!
window_seen=no
deadline=$((SECONDS + 30))
while e2e_game_running && [ "$SECONDS" -lt "$deadline" ]; do
  xdotool search --name '^Arrowsong$' >/dev/null 2>&1 && window_seen=yes
  sleep 0.05
done
e2e_wait_exit 5
e2e_expect "ends with status 1 (got $E2E_EXIT)" test "$E2E_EXIT" = 1
e2e_expect "prints \"no audio devices found!\" on stdout" grep -qx 'no audio devices found!' "$E2E_DIR/out"
e2e_expect "prints nothing else on stdout" test "$(wc -l <"$E2E_DIR/out")" = 1
e2e_expect "opens no window" test "$window_seen" = no
e2e_expect "opens no stream" test "$(e2e_count_lines err '^Buffer size')" = 0
e2e_end
