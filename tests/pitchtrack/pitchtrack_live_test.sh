#!/usr/bin/env bash
# pitchtrack --live against a real audio server: a private PulseAudio whose
# default input is the monitor of a null sink, a virtual microphone that is
# timer-driven like real hardware. A tone played into the sink is what the
# microphone hears.
#
#   bash tests/pitchtrack/pitchtrack_live_test.sh build/dev/app/pitchtrack/pitchtrack
set -uo pipefail

pitchtrack=${1:?usage: pitchtrack_live_test.sh PITCHTRACK}
work=$(mktemp -d /tmp/pitchtrack-live.XXXXXX)
fails=0
pulse_pid=""
player_pid=""

log() { printf '[pitchtrack live] %s\n' "$*" >&2; }
fail() {
  fails=$((fails + 1))
  printf '[pitchtrack live] FAIL: %s\n' "$*" >&2
}
expect() { # description, command...
  local what=$1
  shift
  "$@" || fail "$what"
}

stop() { # pid
  [ -n "$1" ] || return 0
  kill "$1" 2>/dev/null || return 0
  local deadline=$((SECONDS + 5))
  while kill -0 "$1" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.1; done
  kill -9 "$1" 2>/dev/null
  return 0
}

cleanup() {
  local status=$?
  stop "$player_pid"
  stop "$pulse_pid"
  if [ "$status" -eq 0 ]; then rm -rf "$work"; else log "files kept in $work"; fi
  return "$status"
}
trap cleanup EXIT

for tool in pulseaudio pactl pacat sox script; do
  command -v "$tool" >/dev/null || { log "missing $tool (scripts/install-deps.sh --test)"; exit 1; }
done

# A private runtime folder and home, so that no other server is found.
mkdir -p "$work/xdg" "$work/home"
chmod 700 "$work/xdg"
export XDG_RUNTIME_DIR=$work/xdg HOME=$work/home
export PULSE_RUNTIME_PATH=$work/xdg/pulse PULSE_STATE_PATH=$work/home/pulse-state
export PULSE_SERVER=unix:$work/xdg/pulse/native
printf 'autospawn = no\n' >"$work/client.conf"
export PULSE_CLIENTCONFIG=$work/client.conf
unset PULSE_SINK PULSE_SOURCE

# --- no audio server: a clear message and status 1 -------------------------

timeout 30 "$pitchtrack" --live --seconds 1 >"$work/none.out" 2>"$work/none.err"
status=$?
expect "without a server the status is 1 (got $status)" test "$status" = 1
expect "without a server it says no device was found" grep -qx 'pitchtrack: no audio devices found!' "$work/none.err"
expect "without a server nothing goes to stdout" test ! -s "$work/none.out"

# --- the server and its virtual microphone ---------------------------------

timeout 20 pulseaudio -n --daemonize=yes --exit-idle-time=-1 --disallow-exit --disable-shm=yes \
  --log-target="file:$work/pulse.log" \
  --load="module-native-protocol-unix" \
  || { log "pulseaudio did not start (see $work/pulse.log)"; exit 1; }
for _ in $(seq 100); do [ -s "$work/xdg/pulse/pid" ] && break; sleep 0.1; done
pulse_pid=$(cat "$work/xdg/pulse/pid" 2>/dev/null)
[ -n "$pulse_pid" ] || { log "no pulseaudio pid"; exit 1; }

# A server without a single device: no crash, the same words as the game.
timeout 30 "$pitchtrack" --live --seconds 1 >"$work/empty.out" 2>"$work/empty.err"
status=$?
expect "on a server without devices the status is 1 (got $status)" test "$status" = 1
expect "on a server without devices it says none was found" \
  grep -qx 'pitchtrack: no audio devices found!' "$work/empty.err"

timeout 10 pactl load-module module-null-sink sink_name=voice rate=44100 channels=1 \
  sink_properties=device.description=Singer >/dev/null \
  && timeout 10 pactl set-default-sink voice && timeout 10 pactl set-default-source voice.monitor \
  || { log "cannot set the default devices"; exit 1; }

# A player's buffer of 200 ms rides out a busy machine: a shorter one can
# underrun, and the sink then plays silence into the microphone.
sing() { # raw file: plays it into the sink, in the background
  pacat --raw --format=s16le --rate=44100 --channels=1 --latency-msec=200 -d voice "$1" \
    2>"$work/pacat.log" &
  player_pid=$!
}

# Lines of the plain output that do not have the five fields.
malformed() { # file
  grep -Evc '^[0-9]+\.[0-9]{6} [0-9]+\.[0-9]{3} ([A-G]#?-?[0-9]+ -?[0-9]+|- 0) (-?[0-9]+\.[0-9]|-inf)$' "$1"
}

# --- a sung tone: A#3 (233.08 Hz) with odd harmonics, at about -12 dBFS --------

sox -n -r 44100 -c 1 -b 16 -e signed -t raw "$work/tone.raw" synth 10 triangle 233.082 gain -12
sing "$work/tone.raw"
sleep 0.5
timeout 30 "$pitchtrack" --live --seconds 3 >"$work/tone.out" 2>"$work/tone.err"
status=$?
stop "$player_pid"
player_pid=""
expect "a timed run ends with status 0 (got $status)" test "$status" = 0
expect "it names the device and the API" grep -q '^pitchtrack: listening to "Monitor of Singer" through Pulse' "$work/tone.err"
expect "it tells how to choose another device" grep -q 'pactl set-default-source' "$work/tone.err"
expect "it notes that a monitor is no microphone" \
  grep -qx 'pitchtrack: Listening to "Monitor of Singer", the monitor of an output, not a microphone.' "$work/tone.err"
expect "no warning on a clean tone" test "$(grep -c 'no signal\|clipping' "$work/tone.err")" = 0
expect "3 s of 512-sample windows (got $(wc -l <"$work/tone.out") lines)" \
  test "$(wc -l <"$work/tone.out")" = $(((132300 - 512) / 512 + 1))
expect "every line has five fields" test "$(malformed "$work/tone.out")" = 0
# Past the first half second, nearly every window is at A#3 within 5 cents,
# at the level played.
read -r windows at_note level_ok < <(awk '$1 >= 0.5 {
    n++
    if ($3 == "A#3" && $4 >= -5 && $4 <= 5) a++
    if ($5 >= -13.5 && $5 <= -10.5) l++
  } END { print n, a + 0, l + 0 }' "$work/tone.out")
log "tone: $at_note of $windows windows at A#3 within 5 cents, $level_ok at its level"
expect "the tone is heard as A#3 ($at_note of $windows)" test "$at_note" -ge $((windows * 95 / 100))
expect "the tone's level is shown ($level_ok of $windows)" test "$level_ok" -ge $((windows * 95 / 100))

# --- silence: the warning, once ------------------------------------------------

timeout 30 "$pitchtrack" --live --seconds 4 >"$work/silence.out" 2>"$work/silence.err"
status=$?
expect "silence ends with status 0 (got $status)" test "$status" = 0
expect "silence gives one 'no signal' warning" \
  test "$(grep -c '^pitchtrack: no signal from the input device$' "$work/silence.err")" = 1
expect "every silent window has no pitch and no level" \
  test "$(grep -vc ' 0.000 - 0 -inf$' "$work/silence.out")" = 0

# --- clipping: full-scale samples ------------------------------------------------

sox -n -r 44100 -c 1 -b 16 -e signed -t raw "$work/loud.raw" synth 10 square 300 gain -n 0 2>/dev/null
sing "$work/loud.raw"
sleep 0.5
timeout 30 "$pitchtrack" --live --seconds 2 >"$work/loud.out" 2>"$work/loud.err"
stop "$player_pid"
player_pid=""
expect "full-scale samples give one clipping warning" \
  test "$(grep -c '^pitchtrack: the input is clipping' "$work/loud.err")" = 1

# --- Ctrl-C ends with status 0 ---------------------------------------------------

# The first blocks of an idle virtual device can take a second or two; the
# interrupt comes once lines flow.
"$pitchtrack" --live >"$work/interrupt.out" 2>"$work/interrupt.err" &
pid=$!
for _ in $(seq 100); do
  [ "$(wc -l <"$work/interrupt.out")" -gt 20 ] && break
  sleep 0.1
done
kill -INT "$pid"
status=timeout
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
if ! kill -0 "$pid" 2>/dev/null; then
  wait "$pid"
  status=$?
else
  kill -9 "$pid"
fi
expect "Ctrl-C ends with status 0 (got $status)" test "$status" = 0
expect "lines were written before Ctrl-C" test "$(wc -l <"$work/interrupt.out")" -gt 20
expect "nothing but the start-up lines on stderr" test "$(wc -l <"$work/interrupt.err")" = 3

# A long window with a hop of one sample: a backlog of thousands of windows
# builds up, and Ctrl-C must still be answered at once, not after it.
"$pitchtrack" --live --window 65536 --hop 1 >/dev/null 2>"$work/backlog.err" &
pid=$!
for _ in $(seq 100); do grep -q '^pitchtrack: listening' "$work/backlog.err" && break; sleep 0.1; done
sleep 3
kill -INT "$pid"
waited=0
while kill -0 "$pid" 2>/dev/null && [ "$waited" -lt 100 ]; do sleep 0.02; waited=$((waited + 1)); done
if kill -0 "$pid" 2>/dev/null; then kill -9 "$pid"; fi
wait "$pid" 2>/dev/null
expect "Ctrl-C during a backlog is answered within 2 s (waited $((waited * 20)) ms)" test "$waited" -lt 100

# --- on a terminal: one status line, redrawn ----------------------------------

sing "$work/tone.raw"
sleep 0.5
timeout 30 script -qec "'$pitchtrack' --live --seconds 2 2>/dev/null" /dev/null >"$work/tty.out"
status=$?
stop "$player_pid"
player_pid=""
expect "on a terminal the status is 0 (got $status)" test "$status" = 0
redraws=$(tr -cd '\r' <"$work/tty.out" | wc -c)
log "terminal: $redraws redraws in 2 s"
expect "the status line is redrawn about ten times a second ($redraws in 2 s)" \
  test "$redraws" -ge 10 -a "$redraws" -le 40
expect "the status line shows the note on its meter" \
  grep -aq 'A#3 .* cents \[-*o-*|*-*\] *-1[0-3]\.[0-9] dBFS \[#*\.*\]' "$work/tty.out"
expect "no plain lines on a terminal" test "$(grep -aEc '^[0-9]+\.[0-9]{6} ' "$work/tty.out")" = 0

if [ "$fails" -gt 0 ]; then
  log "$fails check(s) failed"
  exit 1
fi
log "passed"
