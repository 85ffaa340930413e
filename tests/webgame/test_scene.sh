#!/usr/bin/env bash
# The page against the desktop program, on the same keys: space five times
# (three goals), then / and b (a shot at the centre).
#
# - The three goals are the desktop's: the browser's C library has another
#   random(), and the page must draw the same notes all the same.
# - The landed arrow's screenshots agree: the board's rings where the camera
#   puts them (e2e_scene board), each ring's lit colour at the same points
#   within a few levels, the corner disks' too, and the arrow's place within
#   0.01 of the board's units, the text's lines where the desktop's font puts
#   them, and at most 0.2 % of the pixels more than 10 % apart.
#
# The desktop runs under the headless harness (Xvfb and PulseAudio); the page
# in headless Chromium (scene.mjs). Needs ARROWSONG, E2E_TOOLS, WEB_SITE.
source "$(dirname "$0")/../../tools/headless/harness.sh"
e2e_begin web_scene
[ -n "${WEB_SITE:-}" ] && [ -f "$WEB_SITE/index.html" ] || e2e_abort "WEB_SITE is not the built site"

e2e_start_x
e2e_start_audio
e2e_start_game
for goal in 1 2 3; do
  [ "$goal" = 1 ] || e2e_key space
  e2e_next_goal
done
e2e_key slash
e2e_key b
e2e_landed_arrow desktop
e2e_quit

node "$(dirname "$0")/scene.mjs" "$WEB_SITE" "$E2E_DIR" >"$E2E_DIR/web.log" 2>&1 ||
  { cat "$E2E_DIR/web.log" >&2; e2e_abort "the page's run failed"; }
web_png=$E2E_DIR/web.png
desktop_png=$E2E_DIR/desktop.png

desktop_goals=$(grep -E '^MIDI: ' "$E2E_DIR/out" | tr '\n' ' ')
web_goals=$(grep -E '^MIDI: ' "$E2E_DIR/web.out" | tr '\n' ' ')
e2e_log "goals: desktop $desktop_goals, web $web_goals"
e2e_expect "three goals on the desktop ($desktop_goals)" test "$(echo "$desktop_goals" | wc -w)" = 6
e2e_expect "the page's goals are the desktop's ($web_goals / $desktop_goals)" \
  test "$web_goals" = "$desktop_goals"
e2e_expect "the page's frequencies are the desktop's" \
  test "$(grep -E '^Freq: ' "$E2E_DIR/web.out")" = "$(grep -E '^Freq: ' "$E2E_DIR/out")"

e2e_expect "the page's board: $(e2e_scene board "$web_png" | tail -n 1)" e2e_scene board "$web_png"

read -r _ web_x web_y _ < <(e2e_scene arrow "$web_png") || e2e_fail "no arrow on the page"
read -r _ desk_x desk_y _ < <(e2e_scene arrow "$desktop_png") || e2e_fail "no arrow on the desktop"
e2e_log "arrow: desktop ($desk_x, $desk_y), web ($web_x, $web_y)"
e2e_expect "the arrows agree: desktop ($desk_x, $desk_y), web ($web_x, $web_y)" \
  eval 'e2e_near "$web_x" "$desk_x" 0.01 && e2e_near "$web_y" "$desk_y" 0.01'

# Lit colours at the middle of each ring, on four radii, and on the corner
# disks: the same within 6 levels of 255 per channel, and the same class.
same_colour() { # x y z
  local at col row web desk
  at=$(e2e_scene project "$1" "$2" "$3")
  col=${at% *} row=${at#* }
  web=$(e2e_scene pixel "$web_png" "${col%.*}" "${row%.*}") || return 1
  desk=$(e2e_scene pixel "$desktop_png" "${col%.*}" "${row%.*}") || return 1
  e2e_log "($1, $2, $3) at pixel ${col%.*},${row%.*}: desktop $desk, web $web"
  awk -v a="$web" -v b="$desk" 'BEGIN {
    split(a, w, " "); split(b, d, " ")
    for (i = 1; i <= 3; i++) { e = w[i] - d[i]; if (e < -6 || e > 6) exit 1 }
    exit !(w[4] == d[4]) }'
}
for ring in "0.04 0" "0.095 -0.01" "0.185 -0.02" "0.305 -0.03" "0.435 -0.04"; do
  read -r radius z <<<"$ring"
  for dir in "1 0" "-1 0" "0 1" "0 -1"; do
    read -r dx dy <<<"$dir"
    x=$(awk -v r="$radius" -v d="$dx" 'BEGIN { print r * d }')
    y=$(awk -v r="$radius" -v d="$dy" 'BEGIN { print r * d }')
    e2e_expect "ring colour at ($x, $y)" same_colour "$x" "$y" "$z"
  done
done
for corner in "-0.5 0.3" "0.5 0.3" "-0.4 0.3" "0.4 0.3"; do
  read -r x y <<<"$corner"
  e2e_expect "corner disk colour at ($x, $y)" same_colour "$x" "$y" 0.5
done

# The text: each line where the desktop's font puts it, in its colour.
e2e_expect "the page's text: $(e2e_scene text "$web_png" | grep -c wrong) lines wrong" \
  e2e_scene text "$web_png"

# Everything else: edges of the disks and the arrow may round apart, a
# pixel here and there, and nothing more (at most 0.2 % of the window).
differ=$(compare -metric AE "$web_png" "$desktop_png" "$E2E_DIR/difference.png" 2>&1)
far=$(compare -metric AE -fuzz 10% "$web_png" "$desktop_png" null: 2>&1)
e2e_log "pixels that differ: $differ of 640000, by more than 10 %: $far (see difference.png)"
e2e_expect "at most 1280 pixels differ by more than 10 % (seen $far)" test "${far%%.*}" -le 1280
e2e_end
