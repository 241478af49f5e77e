#!/usr/bin/env bash
# Starts the demo from a built tree: the simulated transceiver on the out port, and Corvane
# (with its window when a display is there, headless otherwise) making port A's client line
# itself and listening for port B's clients on a TCP port of the loopback address. Ctrl-C
# stops everything it started.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${CORVANE_BUILD:-build/default}
demo=${CORVANE_DEMO_DIR:-/tmp/corvane-demo}
tcp_port=${CORVANE_DEMO_TCP_PORT:-4532}
mkdir -p "$demo"
rm -f "$demo"/rig

pids=()
corvane=""
cleanup() {
  trap - INT TERM EXIT
  # Corvane first, while its transceiver is still there: on SIGTERM it writes its
  # configuration back and removes the links of its client lines.
  if [ -n "$corvane" ]; then
    kill "$corvane" 2>/dev/null || true
    wait "$corvane" 2>/dev/null || true
  fi
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup INT TERM EXIT

"$build/tools/simrig/corvane-simrig" --link "$demo/rig" >/dev/null &
pids+=($!)
for _ in $(seq 100); do [ -e "$demo/rig" ] && break; sleep 0.05; done
[ -e "$demo/rig" ] || { echo "demo: $demo/rig did not appear" >&2; exit 1; }

cat > "$demo/Corvane.INI" <<INI
[SETTINGS]
PORTA=pty:$demo/client-a
PORTB=tcp:127.0.0.1:$tcp_port
PORTO=$demo/rig
TRACE=YES
INI

mode=--headless
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && mode=""
bin=$(realpath "$build/app/corvane")
(cd "$demo" && exec "$bin" $mode) &
corvane=$!
for _ in $(seq 100); do [ -e "$demo/client-a" ] && break; sleep 0.05; done
[ -e "$demo/client-a" ] || { echo "demo: corvane made no $demo/client-a" >&2; exit 1; }

cat <<TXT
Corvane is running (configuration and trace in $demo).
Client line of port A: $demo/client-a
TCP line of port B:    127.0.0.1:$tcp_port   (any number of clients; they see VFO A and B exchanged)
Try, in another terminal:
  rigctl -m 1029 -r $demo/client-a -s 38400 f
  rigctl -m 1029 -r 127.0.0.1:$tcp_port f
Press Ctrl-C to stop.
TXT
wait "$corvane"
