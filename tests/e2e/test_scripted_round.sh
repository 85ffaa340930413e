#!/usr/bin/env bash
# The run command's headless round (play_round.sh, as scripts/run.sh starts
# it): it plays, ends cleanly, and leaves what it says it leaves.
source "$(dirname "$0")/../../tools/headless/harness.sh"
e2e_begin scripted_round
out=$E2E_DIR/played
bash "$(dirname "$0")/../../tools/headless/play_round.sh" "$ARROWSONG" "$E2E_TOOLS" "$out" >"$E2E_DIR/said.txt" 2>"$E2E_DIR/said.err"
status=$?
e2e_expect "the round ends with status 0 (got $status): $(tail -n 5 "$E2E_DIR/said.err")" test "$status" = 0
transcript=$(awk -F': *' '/^Console transcript:/ { print $2 }' "$E2E_DIR/said.txt")
png=$(awk -F': *' '/^Screenshot of the landed arrow:/ { print $2 }' "$E2E_DIR/said.txt")
e2e_expect "it names the transcript it left ($transcript)" test -s "$transcript"
e2e_expect "it names the screenshot it left ($png)" test -s "$png"
for line in '^MIDI: ' '^Freq: ' '^Goal frequency: ' '^Your frequency average: ' \
  '^Buffer size defined by RtAudio: ' '^stream latency: '; do
  e2e_expect "the transcript holds \"$line\"" grep -q -- "$line" "$transcript"
done
e2e_expect "the screenshot is a PNG of the 800 by 800 window" \
  test "$(identify -format '%m %wx%h' "$png" 2>/dev/null)" = "PNG 800x800"
e2e_scene arrow "$png" >/dev/null || e2e_fail "no arrow in the screenshot"
e2e_scene board "$png" >/dev/null || e2e_fail "no board in the screenshot"
e2e_expect "the round's own servers are gone" \
  test -z "$(grep -ho 'PulseAudio pid [0-9]*' "$E2E_DIR/said.err" | awk '{ print $3 }' | xargs -r ps -o pid= -p)"
e2e_end
