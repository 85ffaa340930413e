#!/usr/bin/env bash
# A round sung back by a recorded human voice: the goal note rendered from
# the "Voice Oohs" samples of the General MIDI sound font (recordings of a
# singer, with their own vibrato, breath and harmonics) is fed to the
# microphone. The judgement rests on the last block heard (11.6 ms), and on
# this voice about one block in eight tracks some three semitones sharp, and
# now and then one an octave off (the breathy "oo" carries a strong second
# harmonic). So the case asks that the voice is followed (a pitch in the
# singer's register, within an octave and four semitones of the goal; not
# silence) and that the arrow lands where the printed average sends it.
# Skipped (status 77) where fluidsynth or the sound font is not installed.
source "$(dirname "$0")/../../tools/headless/harness.sh"
e2e_begin round_recorded_voice
font=/usr/share/sounds/sf2/FluidR3_GM.sf2
if ! command -v fluidsynth >/dev/null || ! command -v sox >/dev/null || [ ! -r "$font" ]; then
  e2e_log "skipped: needs fluidsynth, sox and fluid-soundfont-gm (scripts/install-deps.sh --figures)"
  exit 77
fi

# A format-0 MIDI file: program 53 (Voice Oohs), one note held for 6 s at
# 120 beats per minute and 96 ticks per beat.
voice_of() { # game note number (57 is 440 Hz), output raw file
  local key hex
  key=$(($1 + 12)) # the MIDI standard puts 440 Hz at 69
  hex=$(printf '\\x%02x' "$key")
  printf "MThd\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60MTrk\x00\x00\x00\x10\x00\xc0\x35\x00\x90${hex}\x64\x89\x00\x80${hex}\x40\x00\xff\x2f\x00" \
    >"$E2E_DIR/voice.mid"
  fluidsynth -ni -g 1.0 -r 44100 -F "$E2E_DIR/voice.wav" "$font" "$E2E_DIR/voice.mid" >/dev/null 2>&1 \
    && sox "$E2E_DIR/voice.wav" -r 44100 -c 1 -b 16 -e signed -t raw "$2" gain -n -6
}

e2e_start_x
e2e_start_audio
e2e_start_game
e2e_key space
e2e_wait_line out '^Freq: ' 5 || e2e_abort "no Freq line after space"
voice_of "$(e2e_value out 'MIDI: ')" "$E2E_DIR/voice.raw" || e2e_abort "cannot render the voice"

# The sample's attack takes a few tenths of a second; the hold starts
# after it, as a singer finds the note before pressing.
e2e_signal file "$E2E_DIR/voice.raw"
sleep 0.5
e2e_sing 1 1.5 file "$E2E_DIR/voice.raw"
cents=$(e2e_cents "$E2E_GOAL" "$E2E_AVERAGE")
band=$(e2e_band "$E2E_GOAL" "$E2E_AVERAGE")
e2e_log "recorded voice: $cents cents, band $band"
e2e_expect "the recorded voice is followed ($cents cents from the goal)" e2e_between "$cents" -1600 1600
e2e_landed_arrow voice
if [ "$band" = keep ]; then
  e2e_expect_arrow_centre "recorded voice"
else
  e2e_expect_arrow_at_height "$band" "recorded voice"
fi
e2e_quit
e2e_end
