# shellcheck shell=bash
# The headless harness's servers: the private X server and the private audio
# server (PulseAudio, or PipeWire with its PulseAudio server, and JACK), the
# virtual microphone and recordings of the speaker. Sourced by harness.sh,
# whose state variables these functions set.
# shellcheck disable=SC2034

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

