# shellcheck shell=bash
# Headless harness: a private X server and a private audio server
# (PulseAudio, or PipeWire with its PulseAudio server), a virtual microphone
# played in real time, the game, real key and mouse events and screenshots.
# The end-to-end cases (tests/e2e), the scripted round (play_round.sh) and
# the figures' latency runs source it (bash):
#
#   source tools/headless/harness.sh
#   e2e_begin first_frame          # run folder, cleanup trap
#   e2e_start_x; e2e_start_audio; e2e_start_game
#   e2e_key space; e2e_wait_line out 'Freq: ' 5
#   ...
#   e2e_end                        # passes unless a check failed
#
# An end-to-end case runs by hand as well, against any build:
#   ARROWSONG=build/release/app/Arrowsong E2E_TOOLS=build/release/tools/headless \
#     E2E_KEEP=1 bash tests/e2e/test_keys.sh
#
# Settings, from the environment:
#   ARROWSONG   the program under test (required by e2e_start_game)
#   E2E_TOOLS   folder of the helpers e2e_feeder, e2e_freqmeter, e2e_scene
#   E2E_OUT     folder for run folders (default: a fresh one under /tmp)
#   E2E_KEEP=1  keep the run folder even when every check passed
#   E2E_SERVER  the audio server: pulseaudio (default) or pipewire, which runs
#               PipeWire, WirePlumber and pipewire-pulse on a private D-Bus
#
# Everything started here is stopped by the EXIT trap, by pid, even when a
# test fails or is interrupted. Every wait is bounded, and so is every X and
# PulseAudio client the harness runs (import, for one, waits for a mouse
# click when its window has gone).

set -uo pipefail

E2E_NAME=""
E2E_DIR=""
E2E_FAILS=0
E2E_PIDS_X=""
E2E_PID_PULSE=""
E2E_PID_FEEDER=""
E2E_PID_PLAYER=""
E2E_PID_GAME=""
E2E_PIDS_PIPEWIRE="" # newest first
E2E_PID_JACK=""
E2E_WID=""
E2E_SERVER=${E2E_SERVER:-pulseaudio}
# The speaker the game plays on, recorded through its monitor.
E2E_SPEAKER=e2e_out

e2e_log() { printf '[e2e %s] %s\n' "$E2E_NAME" "$*" >&2; }

# A failed check: reported at once, counted, and the test goes on so that one
# run shows every broken expectation.
e2e_fail() {
  E2E_FAILS=$((E2E_FAILS + 1))
  printf '[e2e %s] FAIL: %s\n' "$E2E_NAME" "$*" >&2
}

# A failure that makes the rest of the test meaningless.
e2e_abort() {
  e2e_fail "$*"
  e2e_dump
  exit 1
}

e2e_begin() {
  E2E_NAME=$1
  case "$E2E_SERVER" in
    pulseaudio) ;;
    pipewire) E2E_NAME=$1-pipewire ;;
    *) E2E_NAME=$1; e2e_abort "E2E_SERVER is pulseaudio or pipewire, not $E2E_SERVER" ;;
  esac
  local base=${E2E_OUT:-}
  if [ -z "$base" ]; then
    base=$(mktemp -d /tmp/arrowsong-e2e.XXXXXX)
  fi
  E2E_DIR=$base/$E2E_NAME
  rm -rf "$E2E_DIR"
  mkdir -p "$E2E_DIR/xdg" "$E2E_DIR/home"
  chmod 700 "$E2E_DIR/xdg"
  : >"$E2E_DIR/out"
  : >"$E2E_DIR/err"
  trap e2e_cleanup EXIT
  trap 'exit 130' INT TERM
  e2e_log "run folder: $E2E_DIR"
}

e2e_tool() {
  local tool=${E2E_TOOLS:-}/$1
  [ -x "$tool" ] || e2e_abort "helper $1 not found (set E2E_TOOLS)"
  printf '%s\n' "$tool"
}

# Waits until a command succeeds, for at most the given seconds.
e2e_wait_for() { # seconds, command...
  local deadline=$((SECONDS + $1)); shift
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.02
  done
}

# --- X server -------------------------------------------------------------

e2e_start_x() {
  # -displayfd lets the server pick a display number nobody uses.
  local fifo=$E2E_DIR/displayfd
  mkfifo "$fifo"
  Xvfb -displayfd 7 -screen 0 1024x1024x24 -nolisten tcp -noreset \
    7>"$fifo" >"$E2E_DIR/xvfb.log" 2>&1 &
  E2E_PIDS_X=$!
  local number=""
  read -r -t 15 number <"$fifo" || true
  [ -n "$number" ] || e2e_abort "Xvfb did not start (see $E2E_DIR/xvfb.log)"
  export DISPLAY=:$number
  e2e_wait_for 10 timeout 5 xdpyinfo || e2e_abort "display $DISPLAY does not answer"
  e2e_log "X server on $DISPLAY"
}

# --- audio server ---------------------------------------------------------

e2e_pulse_env() {
  export XDG_RUNTIME_DIR=$E2E_DIR/xdg
  export HOME=$E2E_DIR/home
  export XDG_CONFIG_HOME=$E2E_DIR/home/.config
  export XDG_STATE_HOME=$E2E_DIR/home/.local/state
  export PULSE_RUNTIME_PATH=$E2E_DIR/xdg/pulse
  export PULSE_STATE_PATH=$E2E_DIR/home/pulse-state
  export PULSE_SERVER=unix:$E2E_DIR/xdg/pulse/native
  # A JACK server only where a case starts one (e2e_start_jack), and never
  # one started on demand by a client.
  export JACK_DEFAULT_SERVER=arrowsong-e2e-$$
  export JACK_NO_START_SERVER=1
  unset PULSE_SINK PULSE_SOURCE PIPEWIRE_RUNTIME_DIR PIPEWIRE_REMOTE DBUS_SESSION_BUS_ADDRESS
}

# A null sink as the default output (its monitor records what the game
# plays), and a second null sink whose monitor is the default input: the
# virtual microphone. e2e_feeder writes the sung signal in real time and pacat
# plays it into that sink, so the microphone is timer-driven like real
# hardware and the game hears a change within milliseconds. The speaker is
# loaded first, so that it is device 0, and all devices get distinct
# descriptions (on PipeWire a sink's monitor shares its sink's).
E2E_SINK_ARGS="rate=44100 channels=1 sink_properties=device.description"
e2e_start_audio() {
  e2e_pulse_env
  local fifo=$E2E_DIR/mic.fifo
  if [ "$E2E_SERVER" = pipewire ]; then
    e2e_start_pipewire
  else
    timeout 20 pulseaudio -n --daemonize=yes --exit-idle-time=-1 --disallow-exit --disable-shm=yes \
      --log-target="file:$E2E_DIR/pulse.log" \
      --load="module-native-protocol-unix" \
      --load="module-null-sink sink_name=e2e_out $E2E_SINK_ARGS=E2E-Speaker" \
      --load="module-null-sink sink_name=e2e_voice $E2E_SINK_ARGS=E2E-Voice" \
      || e2e_abort "pulseaudio did not start (see $E2E_DIR/pulse.log)"
    e2e_wait_for 10 test -s "$E2E_DIR/xdg/pulse/pid" || e2e_abort "no pulseaudio pid file"
    E2E_PID_PULSE=$(cat "$E2E_DIR/xdg/pulse/pid")
    e2e_wait_for 10 timeout 5 pactl info || e2e_abort "pulseaudio does not answer"
  fi
  e2e_set_defaults e2e_out e2e_voice.monitor
  e2e_signal silence
  mkfifo "$fifo"
  pacat --playback -d e2e_voice --raw --format=s16le --rate=44100 --channels=1 \
    --latency-msec=100 "$fifo" 2>"$E2E_DIR/pacat.log" &
  E2E_PID_PLAYER=$!
  "$(e2e_tool e2e_feeder)" "$fifo" "$E2E_DIR/signal" 2>"$E2E_DIR/feeder.log" &
  E2E_PID_FEEDER=$!
  e2e_log "$E2E_SERVER: PulseAudio pid $E2E_PID_PULSE, microphone played by pid $E2E_PID_PLAYER, fed by pid $E2E_PID_FEEDER"
}

e2e_set_defaults() { # sink, source
  timeout 10 pactl set-default-sink "$1" && timeout 10 pactl set-default-source "$2" \
    || e2e_abort "cannot set the default devices"
  e2e_wait_for 10 e2e_defaults_are "$1" "$2" || e2e_abort "the server did not take $1 and $2 as its defaults"
  E2E_SPEAKER=$1
}
e2e_defaults_are() {
  local info
  info=$(timeout 5 pactl info) || return 1
  grep -qx "Default Sink: $1" <<<"$info" && grep -qx "Default Source: $2" <<<"$info"
}

# Loads a server module through the PulseAudio protocol, as a user would.
e2e_load() { # module args...
  timeout 10 pactl load-module "$@" >/dev/null || e2e_abort "cannot load $*"
}

# PipeWire as desktops run it: the daemon, the WirePlumber session manager
# and pipewire-pulse, on a D-Bus session bus of their own, with the harness's
# null sinks created through the PulseAudio protocol. E2E_PID_PULSE is the
# PulseAudio server, as elsewhere.
e2e_start_pipewire() {
  local tool
  for tool in dbus-daemon pipewire wireplumber pipewire-pulse; do
    command -v "$tool" >/dev/null || e2e_abort "$tool not found (scripts/install-deps.sh --test installs it)"
  done
  # The graph runs at the game's rate. At PipeWire's usual 48000 Hz the
  # rounds are judged just as well, but what a null sink's monitor records
  # comes out up to 3% sharp (pacat into the sink and parec from its monitor
  # show it without the game), which would blur every check of a played tone.
  mkdir -p "$XDG_CONFIG_HOME/pipewire/pipewire.conf.d"
  printf 'context.properties = {\n  default.clock.rate = 44100\n}\n' \
    >"$XDG_CONFIG_HOME/pipewire/pipewire.conf.d/rate.conf"
  local bus=$E2E_DIR/xdg/bus
  dbus-daemon --session --nofork --nopidfile --address="unix:path=$bus" >"$E2E_DIR/dbus.log" 2>&1 &
  E2E_PIDS_PIPEWIRE=$!
  export DBUS_SESSION_BUS_ADDRESS=unix:path=$bus
  e2e_wait_for 10 test -S "$bus" || e2e_abort "no D-Bus session bus (see $E2E_DIR/dbus.log)"
  pipewire >"$E2E_DIR/pipewire.log" 2>&1 &
  E2E_PIDS_PIPEWIRE="$! $E2E_PIDS_PIPEWIRE"
  e2e_wait_for 10 test -S "$XDG_RUNTIME_DIR/pipewire-0" || e2e_abort "pipewire did not start (see $E2E_DIR/pipewire.log)"
  wireplumber >"$E2E_DIR/wireplumber.log" 2>&1 &
  E2E_PIDS_PIPEWIRE="$! $E2E_PIDS_PIPEWIRE"
  mkdir -p "$PULSE_RUNTIME_PATH"
  pipewire-pulse >"$E2E_DIR/pipewire-pulse.log" 2>&1 &
  E2E_PID_PULSE=$!
  e2e_wait_for 10 timeout 5 pactl info || e2e_abort "pipewire-pulse does not answer"
  e2e_load module-null-sink sink_name=e2e_out "$E2E_SINK_ARGS=E2E-Speaker"
  e2e_load module-null-sink sink_name=e2e_voice "$E2E_SINK_ARGS=E2E-Voice"
  e2e_wait_for 10 bash -c "timeout 5 pactl list short sources | grep -q e2e_voice.monitor" \
    || e2e_abort "the null sinks did not appear"
}

# The set-up that laptops and PipeWire give: a microphone described
# "Built-in" (a remap of the virtual microphone) and an output described
# "Built-in" whose monitor carries the same description (PipeWire does that
# by itself; on PulseAudio a remap of the monitor stands in for it). Both are
# made the defaults, in the order that hides the microphone from a device
# list of one entry per description.
e2e_shared_description() {
  e2e_load module-remap-source source_name=e2e_builtin_mic master=e2e_voice.monitor \
    channels=1 source_properties=device.description=Built-in
  e2e_load module-null-sink sink_name=e2e_builtin_out "$E2E_SINK_ARGS=Built-in"
  if [ "$E2E_SERVER" = pulseaudio ]; then
    e2e_load module-remap-source source_name=e2e_builtin_out_monitor master=e2e_builtin_out.monitor \
      channels=1 source_properties=device.description=Built-in
  fi
  e2e_set_defaults e2e_builtin_out e2e_builtin_mic
}

# A JACK server with its dummy driver beside the audio server, at the given
# rate and period, under the harness's private server name.
e2e_start_jack() { # rate, period
  command -v jackd >/dev/null || e2e_abort "jackd not found (scripts/install-deps.sh --test installs jackd2)"
  jackd --no-realtime --name "$JACK_DEFAULT_SERVER" -d dummy -r "$1" -p "$2" \
    >"$E2E_DIR/jackd.log" 2>&1 &
  E2E_PID_JACK=$!
  e2e_wait_for 10 grep -q 'JACK server starting' "$E2E_DIR/jackd.log" || e2e_abort "jackd did not start (see $E2E_DIR/jackd.log)"
  e2e_wait_for 10 bash -c "JACK_NO_START_SERVER=1 timeout 5 jack_lsp -s '$JACK_DEFAULT_SERVER' | grep -q system:playback_1" \
    || e2e_abort "jackd does not answer (see $E2E_DIR/jackd.log)"
  e2e_log "jackd pid $E2E_PID_JACK at $1 Hz, $2-frame periods"
}

e2e_stop_jack() {
  e2e_reap "$E2E_PID_JACK" TERM
  E2E_PID_JACK=""
}

# True when a fifth of a second recorded from the default input is loud (a
# peak above 0.05) or quiet (below 0.01), as asked.
e2e_mic_is() { # loud|quiet
  local raw=$E2E_DIR/mic-check.raw peak
  timeout -s INT 0.2 parec -d @DEFAULT_SOURCE@ --raw --format=s16le --channels=1 --rate=44100 \
    --latency-msec=10 >"$raw" 2>>"$E2E_DIR/parec.log"
  [ -s "$raw" ] || return 1
  peak=$("$(e2e_tool e2e_freqmeter)" "$raw" | awk '{ print $6 }')
  if [ "$1" = loud ]; then
    e2e_between "$peak" 0.05 1
  else
    e2e_between "$peak" 0 0.01
  fi
}

# Waits until the microphone carries what e2e_signal last set: silence is
# quiet, any other signal loud. Load can slow the path, so this polls
# instead of trusting a fixed sleep.
e2e_wait_mic() { # signal kind
  local want=loud
  [ "$1" = silence ] && want=quiet
  e2e_wait_for 15 e2e_mic_is "$want" || e2e_abort "the microphone did not become $want"
}

e2e_stop_audio() {
  local pid
  if [ -n "$E2E_PID_PULSE" ]; then
    kill "$E2E_PID_PULSE" 2>/dev/null
    e2e_wait_for 5 bash -c "! kill -0 $E2E_PID_PULSE" || kill -9 "$E2E_PID_PULSE" 2>/dev/null
    E2E_PID_PULSE=""
  fi
  for pid in $E2E_PIDS_PIPEWIRE; do
    e2e_reap "$pid" TERM
  done
  E2E_PIDS_PIPEWIRE=""
}

# What the virtual microphone hears from now on: silence | tone HZ [AMP] |
# voice HZ | file RAW (s16le mono 44100 Hz). Reaches the microphone within
# a few tenths of a second; e2e_wait_mic tells when it has.
e2e_signal() {
  printf '%s\n' "$*" >"$E2E_DIR/signal.new" && mv -f "$E2E_DIR/signal.new" "$E2E_DIR/signal"
}

# Records the null sink's monitor for the given seconds into a raw file.
e2e_record_start() { # file
  parec -d "$E2E_SPEAKER.monitor" --raw --format=s16le --channels=1 --rate=44100 \
    --latency-msec=20 >"$1" 2>"$E2E_DIR/parec.log" &
  E2E_PID_PAREC=$!
}
e2e_record_stop() {
  kill "$E2E_PID_PAREC" 2>/dev/null
  wait "$E2E_PID_PAREC" 2>/dev/null
  E2E_PID_PAREC=""
}
E2E_PID_PAREC=""

# Prints the frequency of the loud part of a raw recording, or 0.
e2e_freq_of() { # file
  "$(e2e_tool e2e_freqmeter)" "$1" | awk '{print $2}'
}

# --- the game ---------------------------------------------------------------

# Starts the program with its output captured; waits for its window and, when
# audio is up, for the stream (the "stream latency" line) and for the duplex
# stream to reach its real-time rate.
e2e_start_game() {
  [ -n "${ARROWSONG:-}" ] && [ -x "$ARROWSONG" ] || e2e_abort "ARROWSONG not set to the program"
  # Mesa, freeglut and libpulse keep allocations until exit (q ends the
  # process at once), which LeakSanitizer would report from a sanitizer
  # build; every other sanitizer report still shows on stderr and fails the
  # test (e2e_check_stderr).
  ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0 "$ARROWSONG" >"$E2E_DIR/out" 2>"$E2E_DIR/err" &
  E2E_PID_GAME=$!
  E2E_T_START=$(date +%s.%N)
  e2e_wait_for 30 e2e_find_window || e2e_abort "no window named Arrowsong"
  e2e_wait_for 30 e2e_board_drawn || e2e_abort "the first frame was not drawn"
  E2E_FIRST_FRAME=$(awk -v a="$E2E_T_START" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }')
  echo "$E2E_FIRST_FRAME" >"$E2E_DIR/first_frame_seconds"
  e2e_log "game pid $E2E_PID_GAME, window $E2E_WID, first frame after $E2E_FIRST_FRAME s"
  if [ -n "$E2E_PID_PULSE" ]; then
    e2e_wait_line out 'stream latency: ' 20 || e2e_abort "the stream did not start"
    e2e_wait_for 30 e2e_game_stream_flows || e2e_abort "the game's stream did not start to flow"
    e2e_log "the stream flows $(awk -v a="$E2E_T_START" -v b="$(date +%s.%N)" 'BEGIN { printf "%.2f", b - a }') s after launch"
  fi
}

# A fresh stream on PulseAudio pauses after its first block, for up to two
# seconds and longer under load; until then the game neither plays nor
# hears. The game's playback buffer then holds that one block, and several
# once the stream flows. PipeWire's streams flow at once (and it reports no
# buffer); a game on JACK has no stream on the server at all.
e2e_game_stream_flows() {
  [ "$E2E_SERVER" = pipewire ] && return 0
  local usec
  usec=$(timeout 5 pactl list sink-inputs 2>/dev/null | awk -v pid="$E2E_PID_GAME" '
    /^Sink Input #/ { latency = ""; mine = 0 }
    /Buffer Latency:/ { latency = $3 }
    $0 ~ "application.process.id = \"" pid "\"" { mine = 1 }
    mine && latency != "" { print latency; found = 1; exit }
    END { if (!found) print "none" }') || return 1
  [ "$usec" = none ] || [ "$usec" -gt 30000 ]
}

# The window of the game started last, by its process: an earlier run's
# window must never take the keys meant for this one.
e2e_find_window() {
  E2E_WID=$(timeout 5 xdotool search --pid "$E2E_PID_GAME" --name '^Arrowsong$' 2>/dev/null | head -n 1)
  [ -n "$E2E_WID" ] && timeout 5 xwininfo -id "$E2E_WID" 2>/dev/null | grep -q 'IsViewable'
}

# True once the window shows the board: a pixel in its blue ring at 0.305.
e2e_board_drawn() {
  local at
  at=$(e2e_scene project -0.305 0 -0.03 | awk '{ printf "1x1+%d+%d", $1, $2 }')
  timeout 10 import -window "$E2E_WID" -crop "$at" -depth 8 txt:- 2>/dev/null \
    | awk 'NR == 2 { gsub(/[()]/, "", $2); split($2, c, ","); exit !(c[3] > 2 * c[1] && c[3] > 100) }'
}

e2e_game_running() { [ -n "$E2E_PID_GAME" ] && kill -0 "$E2E_PID_GAME" 2>/dev/null; }

# Waits for the game to end and sets E2E_EXIT to its exit status, or to
# "timeout". Not in a subshell: only this shell can reap the game.
e2e_wait_exit() { # seconds
  local deadline=$((SECONDS + $1))
  E2E_EXIT=timeout
  while kill -0 "$E2E_PID_GAME" 2>/dev/null; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
  E2E_EXIT=0
  wait "$E2E_PID_GAME" 2>/dev/null || E2E_EXIT=$?
  E2E_PID_GAME=""
}

# q ends the program at once with status 0.
e2e_quit() {
  e2e_key q
  e2e_wait_exit 10
  e2e_expect "q ends the program with status 0 (got $E2E_EXIT)" test "$E2E_EXIT" = 0
}

# Waits until the captured stream (out or err) has a line matching the regex.
e2e_wait_line() { # out|err, regex, seconds
  e2e_wait_for "$3" grep -Eq -- "$2" "$E2E_DIR/$1"
}

# Number of lines of the captured stream matching the regex.
e2e_count_lines() { grep -Ec -- "$2" "$E2E_DIR/$1"; }

# True when the captured stream has more matching lines than the given count.
e2e_more_lines() { [ "$(e2e_count_lines "$1" "$2")" -gt "$3" ]; }

# The value after the label on the last matching line, e.g. "Freq: ".
e2e_value() { # out|err, label
  grep -E -- "^$2" "$E2E_DIR/$1" | tail -n 1 | sed -e "s/^$2//" -e 's/ frames$//'
}

# --- input and screenshots ----------------------------------------------------

# xdotool warns about the focus on a server without a window manager; its
# messages go to the run folder.
e2e_key() { timeout 10 xdotool key --window "$E2E_WID" "$@" 2>>"$E2E_DIR/xdotool.log"; }

e2e_mouse() { # down|up, button 1 (left), 2 (middle) or 3 (right)
  timeout 10 xdotool mousemove --window "$E2E_WID" 400 400 "mouse$1" "$2" 2>>"$E2E_DIR/xdotool.log"
}

# Space for the next goal: waits for its Freq line, and sets E2E_NEXT_FREQ
# and E2E_NEXT_MIDI from it and its MIDI line.
e2e_next_goal() {
  local before
  before=$(e2e_count_lines out '^Freq: ')
  e2e_key space
  e2e_wait_for 5 e2e_more_lines out '^Freq: ' "$before" || e2e_abort "no Freq line after space"
  # shellcheck disable=SC2034 # read by the cases that source this file
  E2E_NEXT_FREQ=$(e2e_value out 'Freq: ')
  # shellcheck disable=SC2034
  E2E_NEXT_MIDI=$(e2e_value out 'MIDI: ')
}

# A sung round: the microphone gets the signal, the button is held for the
# given seconds and released, and the judgement's two lines are awaited.
# Sets E2E_GOAL and E2E_AVERAGE from the printed lines.
e2e_sing() { # button, seconds, signal...
  local button=$1 hold=$2; shift 2
  local before
  before=$(e2e_count_lines out '^Your frequency average: ')
  e2e_signal "$@"
  e2e_wait_mic "$1"
  e2e_mouse down "$button"
  sleep "$hold"
  e2e_mouse up "$button"
  e2e_wait_for 10 e2e_more_lines out '^Your frequency average: ' "$before" \
    || e2e_abort "no judgement printed after the button was released"
  e2e_signal silence
  E2E_GOAL=$(e2e_value out 'Goal frequency: ')
  E2E_AVERAGE=$(e2e_value out 'Your frequency average: ')
  e2e_log "goal $E2E_GOAL Hz, sung average $E2E_AVERAGE Hz"
}

# The last judged round was sung in tune: a clean tone, tracked over whole
# blocks, averages to within a few cents; 15 cents is still far inside the
# two steps (40 cents) of a centre shot.
e2e_expect_in_tune() { # what
  local cents
  cents=$(e2e_cents "$E2E_GOAL" "$E2E_AVERAGE")
  e2e_expect "$1: average $E2E_AVERAGE Hz within 15 cents of the goal $E2E_GOAL Hz ($cents)" \
    e2e_between "$cents" -15 15
}

# The landing height that the judgement gives an average against a goal:
# steps of a fifth of a semitone; within two steps the shot keeps its place.
e2e_band() { # goal, average
  awk -v g="$1" -v a="$2" 'BEGIN {
    b = (2 ^ (1 / 12)) ^ 0.2
    if (a > g * b^5) print 0.5; else if (a > g * b^4) print 0.35
    else if (a > g * b^3) print 0.25; else if (a > g * b^2) print 0.1
    else if (a < g / b^5) print -0.5; else if (a < g / b^4) print -0.35
    else if (a < g / b^3) print -0.25; else if (a < g / b^2) print -0.1
    else print "keep"
  }'
}

# Cents from a goal to a frequency.
e2e_cents() { awk -v g="$1" -v f="$2" 'BEGIN { printf "%.1f", 1200 * log(f / g) / log(2) }'; }

# Waits for the arrow to come to rest, takes a screenshot and sets E2E_ARROW_X
# and E2E_ARROW_Y from it (board units). At 6 per second the flight is within
# a thousandth of its distance after 1.2 s of frames.
e2e_landed_arrow() { # screenshot name
  sleep "${E2E_FLIGHT:-1.5}"
  local png found
  png=$(e2e_shot "$1")
  found=$(e2e_scene arrow "$png") || { e2e_fail "no arrow in $png"; E2E_ARROW_X=9; E2E_ARROW_Y=9; return 1; }
  E2E_ARROW_X=$(echo "$found" | awk '{ print $2 }')
  E2E_ARROW_Y=$(echo "$found" | awk '{ print $3 }')
  e2e_log "arrow rests at ($E2E_ARROW_X, $E2E_ARROW_Y) in $png"
}

# The arrow rests at the given height, anywhere across the board's width.
# 0.03 covers the read-off error (under 0.01) and leaves the neighbouring
# heights, at least 0.1 away, well apart.
e2e_expect_arrow_at_height() { # y, what
  e2e_expect "$2: arrow at height $1 (seen $E2E_ARROW_Y)" e2e_near "$E2E_ARROW_Y" "$1" 0.03
  e2e_expect "$2: arrow across the board (x $E2E_ARROW_X)" e2e_between "$E2E_ARROW_X" -0.53 0.53
}

e2e_expect_arrow_centre() { # what
  e2e_expect "$1: arrow in the centre (seen $E2E_ARROW_X, $E2E_ARROW_Y)" \
    e2e_near "$E2E_ARROW_X" 0 0.02
  e2e_expect "$1: arrow in the centre (seen $E2E_ARROW_X, $E2E_ARROW_Y)" \
    e2e_near "$E2E_ARROW_Y" 0 0.02
}

# Records what the game plays for the given seconds and sets E2E_PLAYED_FREQ
# and E2E_PLAYED_PEAK.
e2e_listen() { # seconds, name
  local raw=$E2E_DIR/$2.raw result
  e2e_record_start "$raw"
  sleep "$1"
  e2e_record_stop
  result=$("$(e2e_tool e2e_freqmeter)" "$raw")
  # shellcheck disable=SC2034 # read by the cases that source this file
  E2E_PLAYED_FREQ=$(echo "$result" | awk '{ print $2 }')
  # shellcheck disable=SC2034
  E2E_PLAYED_PEAK=$(echo "$result" | awk '{ print $6 }')
}

e2e_shot() { # name: writes NAME.png in the run folder and prints its path
  local png=$E2E_DIR/$1.png
  timeout 20 import -window "$E2E_WID" "$png" 2>>"$E2E_DIR/import.log" || e2e_abort "screenshot failed"
  printf '%s\n' "$png"
}

e2e_scene() { "$(e2e_tool e2e_scene)" "$@"; }

# --- checks -------------------------------------------------------------------

e2e_expect() { # description, command...
  local what=$1; shift
  "$@" || e2e_fail "$what"
}

# Two screenshots show the same scene: a resting arrow still glides by a
# vanishing fraction of its last distance, which can flip a few pixels on
# its edges, and nothing else may differ.
e2e_same_scene() { # png, png
  local differ
  differ=$(compare -metric AE "$1" "$2" null: 2>&1)
  e2e_log "$differ pixels differ between $(basename "$1") and $(basename "$2")"
  [ "${differ%%.*}" -le 20 ] 2>/dev/null
}

# Fails when the program's standard error holds a sanitizer report.
e2e_check_stderr() {
  if grep -Eq 'ERROR: (Address|Leak|Thread)Sanitizer|runtime error:|SUMMARY: UndefinedBehaviorSanitizer' \
    "$E2E_DIR/err"; then
    e2e_fail "sanitizer report on the program's stderr"
  fi
}

# Floating-point comparisons for the shell.
e2e_near() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= t) }'; }
e2e_between() { awk -v a="$1" -v lo="$2" -v hi="$3" 'BEGIN { exit !(a >= lo && a <= hi) }'; }

e2e_dump() {
  [ -n "$E2E_DIR" ] || return 0
  local f
  for f in out err; do
    [ -s "$E2E_DIR/$f" ] && { echo "--- program std$f:"; tail -n 40 "$E2E_DIR/$f"; } >&2
  done
  return 0
}

e2e_end() {
  e2e_check_stderr
  if [ "$E2E_FAILS" -gt 0 ]; then
    e2e_dump
    e2e_log "$E2E_FAILS check(s) failed; files in $E2E_DIR"
    exit 1
  fi
  e2e_log "passed"
  exit 0
}

# Stops one process of ours: the signal, then SIGKILL after 5 s.
e2e_reap() { # pid, signal
  [ -n "$1" ] || return 0
  kill -"$2" "$1" 2>/dev/null || return 0
  local deadline=$((SECONDS + 5))
  while kill -0 "$1" 2>/dev/null && [ "$SECONDS" -lt "$deadline" ]; do sleep 0.1; done
  kill -9 "$1" 2>/dev/null
  wait "$1" 2>/dev/null
  return 0
}

e2e_cleanup() {
  local status=$?
  e2e_reap "$E2E_PID_GAME" KILL
  e2e_reap "$E2E_PID_PAREC" TERM
  e2e_reap "$E2E_PID_FEEDER" TERM
  e2e_reap "$E2E_PID_PLAYER" TERM
  e2e_stop_jack
  e2e_stop_audio
  e2e_reap "$E2E_PIDS_X" TERM
  if [ "$status" -eq 0 ] && [ "${E2E_KEEP:-0}" != 1 ] && [ -z "${E2E_OUT:-}" ]; then
    rm -rf "$(dirname "$E2E_DIR")"
  fi
  return "$status"
}
