#!/usr/bin/env bash
# Starts the demo from a built tree: the simulated transceiver on the out port, two virtual
# null-modem pairs for ports A and B, and Corvane (with its window when a display is there,
# headless otherwise). Ctrl-C stops everything it started.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${CORVANE_BUILD:-build/default}
demo=${CORVANE_DEMO_DIR:-/tmp/corvane-demo}
mkdir -p "$demo"
rm -f "$demo"/porta "$demo"/portb "$demo"/client-a "$demo"/client-b "$demo"/rig

pids=()
cleanup() {
  trap - INT TERM EXIT
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup INT TERM EXIT

"$build/tools/simrig/corvane-simrig" --link "$demo/rig" >/dev/null &
pids+=($!)
for side in a b; do
  socat "pty,raw,echo=0,link=$demo/port$side" "pty,raw,echo=0,link=$demo/client-$side" &
  pids+=($!)
done
for f in rig porta portb client-a client-b; do
  for _ in $(seq 100); do [ -e "$demo/$f" ] && break; sleep 0.05; done
  [ -e "$demo/$f" ] || { echo "demo: $demo/$f did not appear" >&2; exit 1; }
done

cat > "$demo/Corvane.INI" <<INI
[SETTINGS]
PORTA=$demo/porta
PORTB=$demo/portb
PORTO=$demo/rig
TRACE=YES
INI

mode=--headless
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && mode=""
bin=$(realpath "$build/app/corvane")
(cd "$demo" && exec "$bin" $mode) &
pids+=($!)

cat <<TXT
Corvane is running (configuration and trace in $demo).
Client side of port A: $demo/client-a
Client side of port B: $demo/client-b   (sees VFO A and B exchanged)
Try, in another terminal:
  rigctl -m 1029 -r $demo/client-a -s 38400 f
  rigctl -m 1029 -r $demo/client-b -s 38400 f
Press Ctrl-C to stop.
TXT
wait "${pids[-1]}"
