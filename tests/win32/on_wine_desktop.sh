#!/usr/bin/env bash
# Runs a Windows program under Wine on a display of its own (Xvfb), inside Wine's own
# desktop window: Wine then draws the frames itself, and hiding a box does not wait for a
# window manager that Xvfb does not have.
# Usage: on_wine_desktop.sh WINE PROGRAM [ARGS...]
set -euo pipefail
wine=$1
shift
: "${WINEPREFIX:?a Wine prefix of its own}"
export WINEDEBUG=${WINEDEBUG:--all}
[ -d "$WINEPREFIX/dosdevices" ] || wineboot -i >/dev/null 2>&1
# Wine's desktop outlives the program for a while, tied to the display it was started on:
# one left from an earlier run would draw on a display that is gone. The prefix is the
# tests' own, so its processes are ended before and after.
wineserver -k 2>/dev/null || true
"$wine" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Corvane /f >/dev/null 2>&1
"$wine" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Corvane /d 1280x1024 /f >/dev/null 2>&1
wineserver -k 2>/dev/null || true
code=0
# A display number of its own, away from the 99 other programs' xvfb-run starts at.
xvfb-run -a -n $((200 + $$ % 500)) -s "-screen 0 1280x1024x24" "$wine" "$@" || code=$?
wineserver -k 2>/dev/null || true
exit "$code"
