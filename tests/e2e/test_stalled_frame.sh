#!/usr/bin/env bash
# A frame that comes a second late, mid-flight, lands the arrow instead of
# throwing it past the board: the program is stopped (SIGSTOP) a tenth of a
# second into a flight and continued a second later, and the first frames
# after it show the arrow at rest on its goal.
source "$(dirname "$0")/../../tools/headless/harness.sh"
e2e_begin stalled_frame
e2e_start_x
e2e_start_audio
e2e_start_game

e2e_key period
sleep 0.1
kill -STOP "$E2E_PID_GAME"
sleep 1
kill -CONT "$E2E_PID_GAME"
# An unlimited step of a second would carry the arrow five times its
# remaining distance past the goal, far behind the board, and the frames of
# the next fifth of a second would bring back only part of that.
E2E_FLIGHT=0.2 e2e_landed_arrow after_stall
e2e_expect_arrow_at_height 0.5 "the frame after a stall"
e2e_quit
e2e_end
