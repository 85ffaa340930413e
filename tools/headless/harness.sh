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
#   ARROWSONG=build/dev/app/Arrowsong E2E_TOOLS=build/dev/tools/headless \
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
#
# This file holds the run's state, its folder and its clean-up; the functions
# live in files by job, sourced at its end: harness-servers.sh (X and audio
# servers, the microphone), harness-game.sh (the program, its window, keys,
# mouse and screenshots) and harness-checks.sh (checks and the end of a case).
# Cases source this file only.

set -uo pipefail

# The run's state, read and set by the functions of the files sourced below.
# shellcheck disable=SC2034
{
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
}

e2e_log() { printf '[e2e %s] %s\n' "$E2E_NAME" "$*" >&2; }

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

E2E_HARNESS_DIR=$(dirname "${BASH_SOURCE[0]}")
# shellcheck source=harness-servers.sh
source "$E2E_HARNESS_DIR/harness-servers.sh"
# shellcheck source=harness-game.sh
source "$E2E_HARNESS_DIR/harness-game.sh"
# shellcheck source=harness-checks.sh
source "$E2E_HARNESS_DIR/harness-checks.sh"
