#!/usr/bin/env bash
# Takes the pictures of the Windows front end for the README: the window, the port settings
# dialog and the about box, as Wine draws them on its own desktop under Xvfb. Needs a built
# windows preset (scripts/windows.sh); writes docs/windows-*.png.
set -euo pipefail
cd "$(dirname "$0")/.."
tests=build/windows/tests/win32/win32_window_tests.exe
[ -f "$tests" ] || { echo "build the windows preset first (scripts/windows.sh)" >&2; exit 1; }
work=$(mktemp -d)
export WINEPREFIX="$work/wine"
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/shots"
# Wine's drive Z: is the root of the Linux file system.
CORVANE_SHOT_DIR="Z:${work//\//\\}\\shots" \
  bash tests/win32/on_wine_desktop.sh wine "$tests" --gtest_filter='NativeWindow.*' >/dev/null
for name in window setup about; do
  bmptopnm "$work/shots/$name.bmp" 2>/dev/null | pnmtopng >"docs/windows-$name.png"
  echo "docs/windows-$name.png"
done
