#!/usr/bin/env bash
# Proves the Debian packages on a clean machine: a fresh, minimal Debian 12
# root (debootstrap --variant=minbase bookworm) in which apt installs the two
# packages with their dependencies and nothing they only recommend. There:
#   - arrowsong, without any audio server, prints "no audio devices found!"
#     and ends with status 1;
#   - pitchtrack --help works, and pitchtrack finds the pitch of a tone;
#   - a small C program builds against the installed library with pkg-config
#     and runs.
#
#   scripts/check-packages-clean.sh [DEB...]
#
# Without arguments it builds the packages first (scripts/package.sh). Needs
# root. Packages come from the Debian mirror this machine's apt uses (or
# MIRROR=...). The untouched minimal root is kept in build/debian12-minbase
# and copied afresh for every run; KEEP=1 keeps the used copy for a look.
set -euo pipefail
cd "$(dirname "$0")/.."
root_dir=$PWD

[ "$(id -u)" -eq 0 ] || { echo "check-packages-clean: run as root (debootstrap, chroot)" >&2; exit 2; }
scripts/install-deps.sh --package

if [ $# -eq 0 ]; then
  packages=$(scripts/package.sh)
  mapfile -t debs <<<"$packages"
else
  debs=("$@")
fi
[ ${#debs[@]} -gt 0 ] || { echo "check-packages-clean: no packages" >&2; exit 2; }

# The machine's Debian sources for bookworm, one "URI SUITE" per line, from
# the one-line and the deb822 formats alike.
debian_sources() {
  local files=(/etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources)
  for f in "${files[@]}"; do
    [ -f "$f" ] || continue
    case "$f" in
      *.sources)
        awk '
          function flush() {
            if (types ~ /(^| )deb( |$)/) {
              n = split(uris, u, " "); m = split(suites, s, " ")
              for (i = 1; i <= n; i++) for (j = 1; j <= m; j++)
                if (s[j] ~ /^bookworm/) print u[i], s[j]
            }
            types = uris = suites = ""
          }
          /^[[:space:]]*$/ { flush(); next }
          /^Types:/ { sub(/^Types:[[:space:]]*/, ""); types = $0 }
          /^URIs:/ { sub(/^URIs:[[:space:]]*/, ""); uris = $0 }
          /^Suites:/ { sub(/^Suites:[[:space:]]*/, ""); suites = $0 }
          END { flush() }' "$f" ;;
      *) awk '$1 == "deb" && $0 !~ /^#/ {
               for (i = 2; i <= NF; i++) if ($i !~ /^\[/) break
               if ($(i + 1) ~ /^bookworm/) print $i, $(i + 1) }' "$f" ;;
    esac
  done
}
mapfile -t sources < <(debian_sources | sort -u)
mirror=${MIRROR:-}
if [ -z "$mirror" ]; then
  for line in "${sources[@]}"; do
    read -r uri suite <<<"$line"
    [ "$suite" = bookworm ] && { mirror=$uri; break; }
  done
fi
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian
echo "check-packages-clean: Debian 12 from $mirror"

base=$root_dir/build/debian12-minbase
if [ ! -f "$base/.complete" ]; then
  rm -rf "$base"
  mkdir -p "$root_dir/build"
  echo "check-packages-clean: debootstrap --variant=minbase bookworm (a few minutes, once)"
  debootstrap --variant=minbase bookworm "$base" "$mirror" >"$root_dir/build/debootstrap.log" 2>&1 \
    || { tail -n 30 "$root_dir/build/debootstrap.log"; exit 1; }
  touch "$base/.complete"
fi

chroot_dir=$root_dir/build/clean-machine
mounted=()
cleanup() {
  local m
  for m in "${mounted[@]}"; do umount -l "$m" 2>/dev/null || true; done
  [ "${KEEP:-0}" = 1 ] || rm -rf "$chroot_dir"
}
trap cleanup EXIT
rm -rf "$chroot_dir"
cp -a "$base" "$chroot_dir"
rm -f "$chroot_dir/.complete"
mount -t proc proc "$chroot_dir/proc" && mounted+=("$chroot_dir/proc")
mount --bind /dev "$chroot_dir/dev" && mounted+=("$chroot_dir/dev")
cp /etc/resolv.conf "$chroot_dir/etc/resolv.conf"

# The same Debian suites as this machine (updates and security included), so
# that the libraries the packages were built against are all there.
{
  echo "deb $mirror bookworm main"
  for line in "${sources[@]}"; do
    read -r uri suite <<<"$line"
    [ "$suite" = bookworm ] || echo "deb $uri $suite main"
  done
} >"$chroot_dir/etc/apt/sources.list"

in_root() { chroot "$chroot_dir" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin \
  DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 "$@"; }
# A user's login, with the PATH Debian gives users (games included).
as_user() { chroot --userspec=singer:singer "$chroot_dir" /usr/bin/env -i HOME=/home/singer \
  PATH=/usr/local/bin:/usr/bin:/bin:/usr/games LC_ALL=C.UTF-8 "$@"; }

mkdir -p "$chroot_dir/tmp/debs"
cp "${debs[@]}" "$chroot_dir/tmp/debs/"
echo "check-packages-clean: apt install ${debs[*]##*/}"
in_root apt-get update -q >"$root_dir/build/clean-machine.apt.log"
in_root sh -c 'apt-get install -y -q --no-install-recommends /tmp/debs/*.deb' \
  >>"$root_dir/build/clean-machine.apt.log" 2>&1 \
  || { tail -n 30 "$root_dir/build/clean-machine.apt.log"; exit 1; }
in_root useradd --create-home singer

failures=0
check() { # description, then a command that must succeed
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; failures=$((failures + 1)); fi
}

game_without_audio() {
  local status=0
  as_user arrowsong >"$chroot_dir/tmp/game.out" 2>"$chroot_dir/tmp/game.err" || status=$?
  echo "  status $status; stdout: $(cat "$chroot_dir/tmp/game.out")"
  [ "$status" -eq 1 ] && grep -qx 'no audio devices found!' "$chroot_dir/tmp/game.out"
}
check "arrowsong without an audio server: \"no audio devices found!\", status 1" game_without_audio

pitchtrack_help() {
  as_user pitchtrack --help >"$chroot_dir/tmp/help.out" && head -n 1 "$chroot_dir/tmp/help.out" \
    && grep -q '^Usage: pitchtrack' "$chroot_dir/tmp/help.out"
}
check "pitchtrack --help" pitchtrack_help

# Half a second of a 220 Hz tone as 16-bit mono WAV at 22050 Hz: pitchtrack
# must read it through libsndfile and resample it.
perl -e '
  my ($rate, $n) = (22050, 11025);
  print "RIFF", pack("V", 36 + 2 * $n), "WAVEfmt ", pack("VvvVVvv", 16, 1, 1, $rate, 2 * $rate, 2, 16),
        "data", pack("V", 2 * $n);
  print pack("s<", int(12000 * sin(2 * 3.141592653589793 * 220 * $_ / $rate))) for 0 .. $n - 1;
' >"$chroot_dir/tmp/tone.wav"
chmod 644 "$chroot_dir/tmp/tone.wav"
pitchtrack_tone() {
  as_user pitchtrack /tmp/tone.wav >"$chroot_dir/tmp/tone.out" || return 1
  awk '$2 > 0 { print $2 }' "$chroot_dir/tmp/tone.out" | sort -n \
    | awk '{ v[NR] = $1 } END { m = v[int((NR + 1) / 2)]; print "  median " m " Hz over " NR " windows"
                                exit !(NR > 0 && m > 218 && m < 222) }'
}
check "pitchtrack finds a 220 Hz tone in a 22050 Hz WAV file" pitchtrack_tone

in_root apt-get install -y -q --no-install-recommends gcc libc6-dev pkg-config \
  >>"$root_dir/build/clean-machine.apt.log" 2>&1
cp examples/wavepitch-consumer/main.c "$chroot_dir/tmp/consumer.c"
chmod 644 "$chroot_dir/tmp/consumer.c"
library_consumer() {
  as_user sh -c 'cd /tmp && cc -std=c99 -Wall -Wextra -Werror -o consumer consumer.c \
      $(pkg-config --cflags --libs wavepitch) -lm && ./consumer 440 | tail -n 1'
}
check "a C program builds with pkg-config against libwavepitch-dev and tracks 440 Hz" library_consumer

if [ "$failures" -gt 0 ]; then
  echo "check-packages-clean: $failures check(s) failed" >&2
  exit 1
fi
echo "check-packages-clean: all checks passed on a fresh Debian 12"
