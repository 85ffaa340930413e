# shellcheck shell=bash
# The headless harness's game: starting the program, finding its window,
# reading its lines, and driving it with keys, the mouse, sung signals and
# screenshots. Sourced by harness.sh.

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

