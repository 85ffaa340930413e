#!/usr/bin/env bash
# A game held up for seconds (stopped, as a machine deep in swap would hold
# it) must not judge later rounds on what was sung seconds before. The
# PulseAudio server keeps recording meanwhile and the stream would never
# catch up; the game notices, says so, opens the stream again, and the next
# round is judged on the voice that is singing now.
source "$(dirname "$0")/../../tools/headless/harness.sh"
e2e_begin held_up
e2e_start_x
e2e_start_audio
e2e_start_game

e2e_next_goal
goal=$E2E_NEXT_FREQ
e2e_sing 1 1.5 tone "$goal" 0.5
e2e_expect_in_tune "before the hold-up"
e2e_key space # clears the shot

# Held up for 5 s with a voice an octave and a fifth off the next goal on
# the microphone. A stream left 5 s behind would judge the round sung next
# on that voice, or on nothing at all, whatever is sung now.
e2e_next_goal
next=$E2E_NEXT_FREQ
e2e_key space # the tone off again
e2e_signal tone "$(awk -v g="$next" 'BEGIN { print g * 3 }')" 0.5
e2e_wait_mic tone
kill -STOP "$E2E_PID_GAME"
# Meanwhile another microphone (the same voice) is plugged in and becomes
# the default: the stream opened again must be on it, not on the device the
# audio library's old numbering named.
e2e_load module-remap-source source_name=e2e_second_mic master=e2e_voice.monitor channels=1 \
  source_properties=device.description=E2E-Second-Mic
timeout 10 pactl set-default-source e2e_second_mic || e2e_abort "cannot choose the second microphone"
sleep 5
kill -CONT "$E2E_PID_GAME"
e2e_signal silence
e2e_expect "the game says its microphone fell behind and opens the stream again on the new default" \
  e2e_wait_line err '^The microphone fell [0-9.]+ s behind while the game was held up; opening the stream again on "E2E-Second-Mic"\.$' 10
lag=$(grep -Eo 'fell [0-9.]+ s' "$E2E_DIR/err" | head -n 1 | cut -d' ' -f2)
e2e_expect "it measured the hold-up ($lag s)" e2e_between "$lag" 4.5 7

# A fresh PulseAudio stream may pause up to two seconds after its first
# block; holding the button past that keeps the judged blocks fresh.
e2e_sing 1 3.5 tone "$next" 0.5
e2e_expect_in_tune "after the hold-up"
e2e_expect "the stream was opened once" test "$(e2e_count_lines err '^The microphone fell')" = 1

e2e_quit
e2e_end
