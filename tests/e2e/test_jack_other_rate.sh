#!/usr/bin/env bash
# A JACK server beside the audio server. The audio library picks JACK
# whenever one runs. At 48000 Hz it cannot give the game its 44100 Hz
# stream: the game says on one line that it uses PulseAudio instead, and a
# round in tune is judged there. At 44100 Hz the game uses JACK itself.
source "$(dirname "$0")/../../tools/headless/harness.sh"
e2e_begin jack_other_rate
e2e_start_x
e2e_start_audio
e2e_start_jack 48000 512
e2e_start_game

e2e_expect "one line says which audio API is used: $(grep '^Audio through' "$E2E_DIR/err")" \
  test "$(e2e_count_lines err '^Audio through ')" = 1
e2e_expect "PulseAudio, since JACK could not open the stream at 44100 Hz" \
  grep -Eq '^Audio through PulseAudio, since JACK could not open the stream: .*44100.*48000' "$E2E_DIR/err"

e2e_key space
e2e_wait_line out '^Freq: ' 5 || e2e_abort "no Freq line after space"
goal=$(e2e_value out 'Freq: ')
e2e_listen 1 goal_tone
e2e_expect "the goal tone sounds through PulseAudio at $goal Hz (recorded $E2E_PLAYED_FREQ Hz)" \
  e2e_near "$E2E_PLAYED_FREQ" "$goal" 0.5
e2e_sing 1 1.5 tone "$goal" 0.5
cents=$(e2e_cents "$E2E_GOAL" "$E2E_AVERAGE")
e2e_expect "a round in tune is judged in tune (average $E2E_AVERAGE Hz, $cents cents)" \
  e2e_between "$cents" -15 15
e2e_quit

# At the stream's own rate JACK serves the game, with no word about routes.
e2e_stop_jack
e2e_start_jack 44100 512
: >"$E2E_DIR/err"
e2e_start_game
e2e_expect "JACK at 44100 Hz is used without a note" test "$(e2e_count_lines err '^Audio through ')" = 0
e2e_expect "the game's client is on the JACK server" \
  e2e_wait_for 5 bash -c "timeout 5 jack_lsp -s '$JACK_DEFAULT_SERVER' | grep -q '^RtApiJack:'"
e2e_expect "granted block size on stderr" e2e_wait_line err '^Buffer size defined by RtAudio: 512$' 0
e2e_quit
e2e_end
