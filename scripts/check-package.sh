#!/usr/bin/env bash
# Builds the Debian package from a built tree, installs it with dpkg, runs the programs from
# their installed paths (the window program's version and manual page; the program without a
# window against the simulated transceiver, with two virtual client lines and hamlib's
# rigctl on each) and removes the package again. Run as root or with sudo available; it
# replaces and then purges an installed corvane package.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${CORVANE_BUILD:-build/default}
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

fail() {
  echo "package: $*" >&2
  exit 1
}

rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(echo "$build"/packages/corvane_*.deb)
[ -f "$deb" ] || fail "cpack made no package"
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "no dependencies computed from the binaries"

work=$(mktemp -d)
pids=()
finish() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
  $SUDO dpkg --purge corvane >/dev/null 2>&1 || true
}
trap finish EXIT
# Minimal images tell dpkg to leave manual pages out; ours are part of what is checked.
$SUDO dpkg --path-include='/usr/share/man/man1/corvane*' -i "$deb" >/dev/null

[ "$(/usr/bin/corvane --version)" = "Corvane Ver.2.0 Build 000-0010" ] || fail "corvane --version"
/usr/bin/corvaned --help | grep -q '^usage: corvaned' || fail "corvaned --help"
man corvane 2>/dev/null | grep -q 'VIRTUAL CLIENT LINES' || fail "man corvane"
if ldd /usr/bin/corvaned | grep -qi 'libqt'; then fail "corvaned links Qt"; fi

await() {  # a file appears, or the line shows in it, within 5 s
  for _ in $(seq 100); do
    if [ -z "${2:-}" ]; then [ -e "$1" ] && return 0; else grep -qs "$2" "$1" && return 0; fi
    sleep 0.05
  done
  fail "waited in vain for ${2:-$1}"
}

/usr/bin/corvane-simrig --link "$work/rig" >/dev/null &
pids+=($!)
await "$work/rig"
printf '[SETTINGS]\nPORTA=pty:%s\nPORTB=pty:%s\nPORTO=%s\nTRACE=YES\n' \
  "$work/client-a" "$work/client-b" "$work/rig" >"$work/Corvane.INI"
(cd "$work" && exec /usr/bin/corvaned 2>"$work/stderr") &
corvaned=$!
pids+=($corvaned)
await "$work/Corvane.Log" "System Menu initialization"
[ "$(rigctl -m 1029 -r "$work/client-a" -s 38400 f)" = 14070000 ] || fail "rigctl on port A"
[ "$(rigctl -m 1029 -r "$work/client-b" -s 38400 f)" = 7000000 ] || fail "rigctl on port B"
kill -TERM "$corvaned"
wait "$corvaned" || fail "corvaned ended with $?: $(cat "$work/stderr")"
[ ! -L "$work/client-a" ] && [ ! -L "$work/client-b" ] || fail "links left after SIGTERM"
echo "package: $(basename "$deb") installed, ran from /usr/bin and removed"
