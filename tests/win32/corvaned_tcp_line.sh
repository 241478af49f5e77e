#!/usr/bin/env bash
# corvaned.exe under Wine with port A as a TCP line on loopback, reached from this side over
# real sockets: each connection gets its own answers (its own auto-information setting, which
# Corvane answers itself: under Wine the transceiver's COM line cannot route), the connection
# beyond MAXCLIENTS is closed at once, one that closes leaves the other served, and after
# Ctrl-C the port no longer accepts.
# Usage: corvaned_tcp_line.sh WINE CORVANED_EXE
set -euo pipefail
wine=$1 exe=$(realpath "$2")
[ -d "${WINEPREFIX:?a Wine prefix of its own}/dosdevices" ] || WINEDEBUG=-all wineboot -i >/dev/null 2>&1
work=$(mktemp -d)
bridge=
cleanup() {
  [ -n "$bridge" ] && kill "$bridge" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
# The transceiver's and port B's lines are missing: the watchdog keeps trying them.
printf '[SETTINGS]\r\nPORTA=tcp:127.0.0.1:%s\r\nPORTB=COM48\r\nPORTO=COM49\r\nMAXCLIENTS=2\r\nTRACE=YES\r\n' \
  "$port" >"$work/CORVANE.INI"
trace="$work/Corvane.Log"

# Waits up to 20 s for a condition, looking every 50 ms.
await() {
  for _ in $(seq 400); do
    if eval "$1"; then return 0; fi
    sleep 0.05
  done
  echo "not within 20 s: $1" >&2
  return 1
}
# The next answer (up to its ";") on a connection; "(closed)" when the other side closed it,
# "(none)" when nothing came within 10 s.
answer() {
  local got code=0
  read -r -t 10 -d ';' -u "$1" got || code=$?
  if [ "$code" -eq 0 ]; then echo "$got;"; elif [ "$code" -gt 128 ]; then echo "(none)"; else echo "(closed)"; fi
}
refuses_connections() {
  ! bash -c "exec 8<>/dev/tcp/127.0.0.1/$port" 2>/dev/null
}

(cd "$work" && WINEDEBUG=-all exec "$wine" "$exe" >"$work/out" 2>"$work/err") &
bridge=$!
await 'grep -aqF "Port A listening on tcp:127.0.0.1:$port" "$trace" 2>/dev/null'

fail=0
check() {
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; fail=1; fi
}

exec 5<>"/dev/tcp/127.0.0.1/$port" 6<>"/dev/tcp/127.0.0.1/$port"
printf 'AI2;AI;' >&5
printf 'AI;' >&6
check "the first connection gets its own answer" [ "$(answer 5)" = "AI2;" ]
check "the second connection gets its own answer" [ "$(answer 6)" = "AI0;" ]
check "arrivals are traced with the peer's address" grep -aqE \
  "Port A#2 connected from 127\.0\.0\.1:[0-9]+, \(2\) clients" "$trace"

exec 7<>"/dev/tcp/127.0.0.1/$port"
check "the connection beyond MAXCLIENTS is closed at once" [ "$(answer 7)" = "(closed)" ]
check "and the refusal is traced" grep -aqE "Port A refused a connection from 127\.0\.0\.1:" "$trace"
exec 7>&-

exec 5>&-
check "a closed connection is traced as gone" \
  await 'grep -aqF "Port A#1 disconnected (closed by the peer), (1) clients" "$trace"'
printf 'AI1;AI;' >&6
check "the other connection is still served" [ "$(answer 6)" = "AI1;" ]
exec 6>&-

kill -INT "$bridge"
await '! kill -0 "$bridge" 2>/dev/null'
wait "$bridge" && code=0 || code=$?
bridge=
check "ends with code 0 on Ctrl-C" [ "$code" -eq 0 ]
check "the port no longer accepts" refuses_connections

if [ "$fail" -ne 0 ]; then
  echo "--- stderr"; cat "$work/err"; echo "--- trace"; cat "$trace"
fi
exit "$fail"
