#!/usr/bin/env bash
# Builds the bridge, the simulated transceiver and the bridge benchmark in build/bench and
# runs the soak: two clients polling through corvane, failing on any misrouted answer.
# Usage: scripts/soak.sh [SECONDS] [more corvane-bench-bridge soak options]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
shift || true
cmake -S . -B build/bench -G Ninja -DCORVANE_GUI=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/bench -j2 --target corvane corvane-simrig corvane-bench-bridge
exec build/bench/tools/bench_bridge/corvane-bench-bridge soak --seconds "$seconds" "$@"
