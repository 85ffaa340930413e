#!/usr/bin/env bash
# Two whole rounds sung in tune, at the first two goals of the run: the goal
# tone is really played (recorded from the sink's monitor), the fed tone is
# judged near the goal and the arrow lands in the centre. The second round,
# with the right button, is judged near its own goal: the tracker starts
# afresh each time listening begins, so the first goal's history does not
# pull it an octave off. The middle button does nothing in between.
source "$(dirname "$0")/../../tools/headless/harness.sh"
e2e_begin round_in_tune
e2e_start_x
e2e_start_audio
e2e_start_game

# Space: the goal note and frequency, and the tone itself at full scale.
e2e_key space
e2e_wait_line out '^Freq: ' 5 || e2e_abort "no Freq line after space"
e2e_expect "a MIDI line before the Freq line" e2e_wait_line out '^MIDI: [0-9]+$' 0
goal1=$(e2e_value out 'Freq: ')
midi1=$(e2e_value out 'MIDI: ')
e2e_expect "the goal note $midi1 lies from 36 to 59" e2e_between "$midi1" 36 59
e2e_expect "Freq $goal1 is the note $midi1 (57 is 440 Hz)" \
  e2e_near "$goal1" "$(awk -v n="$midi1" 'BEGIN { print 440 * 2 ^ ((n - 57) / 12) }')" 0.01
e2e_listen 1.5 goal_tone
# A second of a clean sine measures to a small fraction of a hertz.
e2e_expect "the goal tone sounds at $goal1 Hz (recorded $E2E_PLAYED_FREQ Hz)" \
  e2e_near "$E2E_PLAYED_FREQ" "$goal1" 0.5
e2e_expect "the goal tone is full scale (peak $E2E_PLAYED_PEAK)" e2e_between "$E2E_PLAYED_PEAK" 0.95 1.01

# Sing it back with the left button.
e2e_sing 1 1.5 tone "$goal1" 0.5
e2e_expect "round 1: the judged goal is the played one" test "$E2E_GOAL" = "$goal1"
e2e_expect_in_tune "round 1"
# What was already queued for the speaker plays out for some tens of
# milliseconds after the release; then nothing.
sleep 0.3
e2e_listen 0.6 after_release
e2e_expect "the release stops the tone (peak $E2E_PLAYED_PEAK)" e2e_between "$E2E_PLAYED_PEAK" 0 0.001
e2e_landed_arrow round1
e2e_expect_arrow_centre "round 1"
e2e_scene board "$E2E_DIR/round1.png" >/dev/null || e2e_fail "board after round 1"

# First space after a shot only clears it; the middle button does nothing.
e2e_key space
sleep 0.5
e2e_expect "space after a shot starts no tone" test "$(e2e_count_lines out '^MIDI: ')" = 1
e2e_mouse down 2
sleep 0.5
e2e_mouse up 2
sleep 1
e2e_expect "the middle button judges nothing" test "$(e2e_count_lines out '^Goal frequency: ')" = 1

# The second goal, sung back with the right button.
e2e_key space
e2e_wait_for 5 e2e_more_lines out '^Freq: ' 1 || e2e_abort "no second Freq line"
goal2=$(e2e_value out 'Freq: ')
e2e_listen 1 goal_tone2
e2e_expect "the second goal tone sounds at $goal2 Hz (recorded $E2E_PLAYED_FREQ Hz)" \
  e2e_near "$E2E_PLAYED_FREQ" "$goal2" 0.5
e2e_sing 3 1.5 tone "$goal2" 0.5
e2e_expect "round 2: the judged goal is the played one" test "$E2E_GOAL" = "$goal2"
e2e_expect_in_tune "round 2"
e2e_landed_arrow round2
e2e_expect_arrow_centre "round 2"

e2e_quit
e2e_end
