#!/usr/bin/env bash
# Sets up, builds and starts a working Corvane demo on a built-in default.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --demo
# The two programs the demo runs, without the tests and their tools.
cmake --preset default -B build/demo -DCORVANE_TESTS=OFF >/dev/null
cmake --build build/demo --target corvane corvane-simrig
CORVANE_BUILD=build/demo exec bash scripts/run-demo.sh
