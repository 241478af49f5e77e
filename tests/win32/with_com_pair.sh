#!/usr/bin/env bash
# Runs a command with two COM ports of the Wine prefix joined like a null-modem cable:
# each port is a link in the prefix's dosdevices folder to one end of a socat pty pair.
# Usage: with_com_pair.sh COMa COMb command...   (the command sees CORVANE_TEST_COM_A/_B)
set -euo pipefail
a=$1 b=$2
shift 2
devices="${WINEPREFIX:?a Wine prefix of its own}/dosdevices"
[ -d "$devices" ] || WINEDEBUG=-all wineboot -i >/dev/null 2>&1
link_a="$devices/${a,,}" link_b="$devices/${b,,}"
rm -f "$link_a" "$link_b"
socat "pty,raw,echo=0,link=$link_a" "pty,raw,echo=0,link=$link_b" &
socat_pid=$!
trap 'kill "$socat_pid" 2>/dev/null || true; wait "$socat_pid" 2>/dev/null || true; rm -f "$link_a" "$link_b"' EXIT
for _ in $(seq 200); do
  [ -e "$link_a" ] && [ -e "$link_b" ] && break
  sleep 0.05
done
[ -e "$link_a" ] && [ -e "$link_b" ] || { echo "socat made no pty pair" >&2; exit 1; }
# Held open here, so socat never sees its ends hang up while the tests close and reopen.
exec 3<>"$link_a" 4<>"$link_b"
CORVANE_TEST_COM_A=$a CORVANE_TEST_COM_B=$b WINEDEBUG=${WINEDEBUG:--all} "$@"
