#!/usr/bin/env bash
# Stages `cmake --install` of a build tree into a temporary root and checks
# what a desktop and a developer would find there.
#   check_staged_install.sh <build dir> <work dir> <game built: 0|1>
set -euo pipefail
build=$1 work=$2 game=$3
prefix=/opt/arrowsong-staged
root=$work/root
stage=$root$prefix

fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$work"
mkdir -p "$work"
DESTDIR=$root cmake --install "$build" --prefix "$prefix" >"$work/install.log"
[ ! -e "$prefix" ] || fail "files went to $prefix itself instead of under DESTDIR"

expected=(bin/pitchtrack include/wavepitch.h share/man/man1/pitchtrack.1.gz
  share/man/man3/wavepitch.3.gz)
if [ "$game" = 1 ]; then
  expected+=(bin/arrowsong share/applications/arrowsong.desktop
    share/metainfo/arrowsong.metainfo.xml
    share/icons/hicolor/scalable/apps/arrowsong.svg share/man/man6/arrowsong.6.gz)
fi
for f in "${expected[@]}"; do
  [ -f "$stage/$f" ] || fail "not installed: $prefix/$f"
done
[ ! -e "$stage/bin/Arrowsong" ] || fail "the game is installed under its build name"
find "$stage" -name libwavepitch.a | grep -q . || fail "libwavepitch.a not installed"
find "$stage" -name wavepitch.pc | grep -q . || fail "wavepitch.pc not installed"

echo "--- manual pages"
pages=0
while read -r page; do
  name=$(basename "$page" .gz)
  warnings=$(zcat "$page" | groff -t -man -ww -z 2>&1) || fail "$name: groff failed"
  [ -z "$warnings" ] || fail "$name: groff warns:"$'\n'"$warnings"
  lines=$(MANWIDTH=80 man -l "$page" 2>/dev/null | grep -c '[[:alnum:]]')
  [ "$lines" -ge 60 ] || fail "$name: only $lines lines of text"
  echo "$name: $lines lines"
  pages=$((pages + 1))
done < <(find "$stage/share/man" -name '*.gz' | sort)
[ "$pages" -eq $((game ? 3 : 2)) ] || fail "$pages manual pages found"

echo "--- the manual's example program against the staged library"
pc_dir=$(dirname "$(find "$stage" -name wavepitch.pc)")
# From its first #include to the brace that closes main, without the indent.
MANWIDTH=200 man -l "$stage/share/man/man3/wavepitch.3.gz" 2>/dev/null | awk '
  /#include <math.h>/ && !on { on = 1; match($0, /^ */); indent = RLENGTH }
  on { line = substr($0, indent + 1); print line; if (line == "}") exit }' >"$work/example.c"
grep -q dywapitch_computepitch "$work/example.c" || fail "no example found in wavepitch(3)"
# shellcheck disable=SC2046 # pkg-config's output is a list of words
cc -std=c99 -Wall -Wextra -Werror -o "$work/example" "$work/example.c" \
  $(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs wavepitch) -lm
"$work/example" >"$work/example.out"
awk '{ hz = $3 } END { if (hz < 219 || hz > 221) exit 1 }' "$work/example.out" \
  || fail "the example does not find its 220 Hz tone: $(tail -n 1 "$work/example.out")"
tail -n 1 "$work/example.out"

if [ "$game" = 1 ]; then
  echo "--- desktop entry"
  desktop=$stage/share/applications/arrowsong.desktop
  # One hint is by design: the game belongs under both Games and Education.
  report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $report"
  report=$(grep -v 'contains more than one main category' <<<"$report" || true)
  [ -z "$report" ] || fail "desktop-file-validate reports:"$'\n'"$report"
  exec_line=$(sed -n 's/^Exec=//p' "$desktop")
  [ "$exec_line" = "$prefix/bin/arrowsong" ] || fail "Exec=$exec_line, not the installed game"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [ -f "$stage/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon named $icon"
  grep -qx 'Terminal=false' "$desktop" || fail "the entry would open a terminal"

  echo "--- AppStream metadata"
  metainfo=$stage/share/metainfo/arrowsong.metainfo.xml
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects the metadata"
  grep -q '<launchable type="desktop-id">arrowsong.desktop</launchable>' "$metainfo" \
    || fail "the metadata does not launch arrowsong.desktop"
  grep -q '<project_license>MIT</project_license>' "$metainfo" || fail "no MIT licence"
fi
echo "staged install under $prefix: valid"
