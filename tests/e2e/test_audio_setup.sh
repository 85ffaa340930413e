#!/usr/bin/env bash
# The harness's audio set-up, as the game meets it: a duplex stream on the
# default devices runs at the real-time rate, hears the tone the feeder sends
# to the virtual microphone, and what it plays reaches the null sink's monitor.
source "$(dirname "$0")/../../tools/headless/harness.sh"
e2e_begin audio_setup
e2e_start_audio

[ -x "${E2E_PROBE:-}" ] || e2e_abort "E2E_PROBE not set to e2e_duplex_probe"

# The probe plays 330 Hz while the microphone gets 220 Hz. The audio
# library keeps a few buffers of its PulseAudio stream after closing it,
# which a sanitizer build's leak check would report.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0
e2e_signal tone 220 0.5
e2e_record_start "$E2E_DIR/monitor.raw"
timeout 30 "$E2E_PROBE" 330 4 >"$E2E_DIR/probe.txt" 2>"$E2E_DIR/probe.err" || e2e_abort "probe failed: $(cat "$E2E_DIR/probe.err")"
e2e_record_stop
cat "$E2E_DIR/probe.txt" >&2

value() { awk -v k="$1" '$1 == k { print $2 }' "$E2E_DIR/probe.txt"; }
# After the start-up, a second of stream holds 44100 frames; 5% covers the
# timing of the two sleeps around it.
e2e_expect "duplex stream runs at the real-time rate ($(value frames_per_second) frames/s)" \
  e2e_between "$(value frames_per_second)" 41900 46300
# The median period between zero crossings of a clean sine is exact to a
# small fraction of a hertz, whatever a lost block did to the one around it.
e2e_expect "microphone hears the fed 220 Hz ($(value input_freq) Hz)" \
  e2e_near "$(value input_freq)" 220 0.5
e2e_expect "microphone level is the fed amplitude ($(value input_peak))" \
  e2e_between "$(value input_peak)" 0.4 0.6
played=$(e2e_freq_of "$E2E_DIR/monitor.raw")
e2e_expect "the sink's monitor records the played 330 Hz ($played Hz)" e2e_near "$played" 330 1

# A change of signal reaches the stream quickly: the microphone is
# timer-driven and the feeder's pipe is kept short.
e2e_signal silence
sleep 0.5
timeout 30 "$E2E_PROBE" 330 2 >"$E2E_DIR/probe2.txt" 2>>"$E2E_DIR/probe.err"
e2e_expect "silence after the tone reaches the microphone" \
  e2e_between "$(awk '$1 == "input_peak" { print $2 }' "$E2E_DIR/probe2.txt")" 0 0.01
e2e_end
