#!/usr/bin/env bash
# The keys: test shots high and low, reset and shoot at the centre, unbound
# and upper-case keys doing nothing, r keeping the window, a shot without a
# tone sung in silence, space twice after a shot, q; and a second run of the
# program drawing the same goal notes as the first.
source "$(dirname "$0")/../../tools/headless/harness.sh"
e2e_begin keys
e2e_start_x
e2e_start_audio
e2e_start_game

e2e_key period
e2e_landed_arrow high
e2e_expect_arrow_at_height 0.5 ". (sharpest test shot)"
e2e_key z
e2e_landed_arrow low
e2e_expect_arrow_at_height -0.5 "z (flattest test shot)"
e2e_key slash b
e2e_landed_arrow centre
e2e_expect_arrow_centre "/ then b"

# Keys outside the table, and letters in upper case, change nothing.
e2e_key Q k Z 1
sleep 0.5
e2e_expect "upper-case Q does not quit" e2e_game_running
png=$(e2e_shot unbound)
e2e_expect "unbound keys leave the scene as it was" \
  e2e_same_scene "$E2E_DIR/centre.png" "$png"
e2e_expect "unbound keys print nothing" test "$(wc -l <"$E2E_DIR/out")" = 1

e2e_key r
sleep 0.5
size=$(xwininfo -id "$E2E_WID" | awk '/Width:/ { w = $2 } /Height:/ { h = $2 } END { print w "x" h }')
e2e_expect "r keeps the window at 800x800 (got $size)" test "$size" = 800x800
e2e_scene board "$(e2e_shot after_r)" >/dev/null || e2e_fail "board after r"

# A tone, then a release with a silent microphone: nothing was ever tracked,
# the average is 0 and lands in the lowest band.
e2e_key space
e2e_wait_line out '^Freq: ' 5 || e2e_abort "no Freq line after space"
goal=$(e2e_value out 'Freq: ')
e2e_sing 1 1 silence
e2e_expect "the judged goal is the played one ($E2E_GOAL, $goal)" test "$E2E_GOAL" = "$goal"
e2e_expect "silence averages to 0 (printed $E2E_AVERAGE)" test "$E2E_AVERAGE" = 0
e2e_landed_arrow silent_shot
e2e_expect_arrow_at_height -0.5 "a shot sung in silence"

# The first space after the shot only clears it; the second starts a tone.
e2e_key space
sleep 0.3
e2e_listen 0.5 cleared
e2e_expect "the first space after a shot plays nothing (peak $E2E_PLAYED_PEAK)" \
  e2e_between "$E2E_PLAYED_PEAK" 0 0.001
e2e_expect "the first space after a shot draws no note" test "$(e2e_count_lines out '^MIDI: ')" = 1
e2e_key space
e2e_wait_for 5 e2e_more_lines out '^MIDI: ' 1 || e2e_fail "the second space after a shot draws no note"
e2e_listen 1 second_tone
e2e_expect "the second space plays the new goal ($E2E_PLAYED_FREQ Hz, goal $(e2e_value out 'Freq: ') Hz)" \
  e2e_near "$E2E_PLAYED_FREQ" "$(e2e_value out 'Freq: ')" 0.5
e2e_quit
e2e_check_stderr

# A second run draws the same first two goal notes.
first_run=$(grep '^MIDI: ' "$E2E_DIR/out" | tr '\n' ' ')
cp "$E2E_DIR/out" "$E2E_DIR/out.run1"
e2e_start_game
e2e_key space
sleep 0.3
e2e_key space
sleep 0.3
e2e_key space
e2e_wait_for 5 e2e_more_lines out '^MIDI: ' 1 || e2e_fail "second run: no two notes"
second_run=$(grep '^MIDI: ' "$E2E_DIR/out" | tr '\n' ' ')
e2e_expect "two runs draw the same goal notes (first: $first_run; second: $second_run)" \
  test "$first_run" = "$second_run"
e2e_quit
e2e_end
