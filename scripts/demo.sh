#!/usr/bin/env bash
# Sets up, builds and starts a working Corvane demo on a built-in default.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
if [ ! -x build/default/app/corvane ]; then
  echo "corvane: the bridge program is not built yet in this version" >&2
  exit 1
fi
exec bash scripts/run-demo.sh
