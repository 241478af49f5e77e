#!/usr/bin/env bash
# Starts the demo from a built tree: the simulated transceiver on the out port, and Corvane
# (with its window when a display is there, headless otherwise) making the client lines of
# ports A and B itself. Ctrl-C stops everything it started.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${CORVANE_BUILD:-build/default}
demo=${CORVANE_DEMO_DIR:-/tmp/corvane-demo}
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
PORTB=pty:$demo/client-b
PORTO=$demo/rig
TRACE=YES
INI

mode=--headless
[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && mode=""
bin=$(realpath "$build/app/corvane")
(cd "$demo" && exec "$bin" $mode) &
corvane=$!
for side in a b; do
  for _ in $(seq 100); do [ -e "$demo/client-$side" ] && break; sleep 0.05; done
  [ -e "$demo/client-$side" ] || { echo "demo: corvane made no $demo/client-$side" >&2; exit 1; }
done

cat <<TXT
Corvane is running (configuration and trace in $demo).
Client line of port A: $demo/client-a
Client line of port B: $demo/client-b   (sees VFO A and B exchanged)
Try, in another terminal:
  rigctl -m 1029 -r $demo/client-a -s 38400 f
  rigctl -m 1029 -r $demo/client-b -s 38400 f
Press Ctrl-C to stop.
TXT
wait "$corvane"
