#!/usr/bin/env bash
# The first frames: the window "Arrowsong", 800 by 800 at (100, 100); the
# board's blue centre and alternating rings spanning about two thirds of the
# width; the corner disks; the seven instruction lines; the arrow resting in
# the centre before any shot; the stream's console lines.
source "$(dirname "$0")/../../tools/headless/harness.sh"
e2e_begin first_frame
e2e_start_x
e2e_start_audio
e2e_start_game

geometry=$(xwininfo -id "$E2E_WID")
field() { echo "$geometry" | awk -F: -v k="$1" '$1 ~ k { gsub(/ /, "", $2); print $2 }'; }
e2e_expect "window title" test "$(xdotool getwindowname "$E2E_WID")" = Arrowsong
e2e_expect "window width $(field Width)" test "$(field Width)" = 800
e2e_expect "window height $(field Height)" test "$(field Height)" = 800
e2e_expect "window at x 100 ($(field 'Absolute upper-left X'))" test "$(field 'Absolute upper-left X')" = 100
e2e_expect "window at y 100 ($(field 'Absolute upper-left Y'))" test "$(field 'Absolute upper-left Y')" = 100

png=$(e2e_shot first)
e2e_scene board "$png" >"$E2E_DIR/board.txt" || e2e_fail "board: $(cat "$E2E_DIR/board.txt")"
# Two thirds of 800 is 533; the outer disk, 0.04 behind the board's plane,
# spans 539 pixels under the doubled camera.
span=$(awk '/board span/ { print $3 }' "$E2E_DIR/board.txt")
e2e_expect "board spans about two thirds of the width ($span pixels)" e2e_between "$span" 500 580
e2e_scene text "$png" >"$E2E_DIR/text.txt" || e2e_fail "instruction text: $(cat "$E2E_DIR/text.txt")"

# The corner disks: pale yellow around their centres near the upper corners,
# black between them and the board.
for x in -0.5 0.5; do
  at=$(e2e_scene project "$x" 0.42 0.5)
  cls=$(e2e_scene pixel "$png" $at | awk '{ print $4 }')
  e2e_expect "corner disk at x $x is pale yellow (seen $cls)" test "$cls" = yellow
done
cls=$(e2e_scene pixel "$png" 400 60 | awk '{ print $4 }')
e2e_expect "black between the corner disks (seen $cls)" test "$cls" = dark

found=$(e2e_scene arrow "$png") || e2e_fail "no resting arrow"
# shellcheck disable=SC2034 # read by e2e_expect_arrow_centre
E2E_ARROW_X=$(echo "$found" | awk '{ print $2 }')
# shellcheck disable=SC2034
E2E_ARROW_Y=$(echo "$found" | awk '{ print $3 }')
e2e_expect_arrow_centre "before any shot"

# Frames follow one another: a later frame shows the same still scene.
sleep 0.5
png2=$(e2e_shot second)
e2e_expect "the scene is still while nothing happens" \
  e2e_same_scene "$png" "$png2"

e2e_expect "granted block size on stderr" e2e_wait_line err '^Buffer size defined by RtAudio: [0-9]+$' 1
e2e_expect "stream latency on stdout" e2e_wait_line out '^stream latency: -?[0-9]+ frames$' 1
e2e_expect "nothing else printed before a key" test "$(wc -l <"$E2E_DIR/out")" = 1

e2e_quit
e2e_end
