#!/usr/bin/env bash
# corvaned.exe under Wine on three COM ports mapped to pseudo-terminals: it starts, writes
# its trace with the system's date and time formats and CR LF line ends, reports that the client line cannot
# be monitored there (Wine gives a pty no modem status: code 50), and on Ctrl-C ends
# cleanly and writes its configuration back.
# Usage: corvaned_start_stop.sh WINE CORVANED_EXE
set -euo pipefail
wine=$1 exe=$(realpath "$2")
devices="${WINEPREFIX:?a Wine prefix of its own}/dosdevices"
[ -d "$devices" ] || WINEDEBUG=-all wineboot -i >/dev/null 2>&1
work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -f "$devices"/com3[123]
  rm -rf "$work"
}
trap cleanup EXIT

for n in 31 32 33; do
  rm -f "$devices/com$n"
  socat "pty,raw,echo=0,link=$devices/com$n" "pty,raw,echo=0,link=$work/peer$n" &
  pids+=($!)
done
printf '[SETTINGS]\r\nPORTA=COM31\r\nPORTB=COM32\r\nPORTO=COM33\r\nTRACE=1\r\n' >"$work/CORVANE.INI"

# Waits up to 20 s for a condition, looking every 50 ms.
await() {
  for _ in $(seq 400); do
    if eval "$1"; then return 0; fi
    sleep 0.05
  done
  echo "not within 20 s: $1" >&2
  return 1
}
await '[ -e "$devices/com31" ] && [ -e "$devices/com32" ] && [ -e "$devices/com33" ]'

(cd "$work" && WINEDEBUG=-all exec "$wine" "$exe" >"$work/out" 2>"$work/err") &
bridge=$!
pids+=("$bridge")
await 'grep -aq "(Error: 50)" "$work/err" 2>/dev/null'
await 'grep -aq "PORTO=COM33" "$work/Corvane.Log" 2>/dev/null'
kill -INT "$bridge"
await '! kill -0 "$bridge" 2>/dev/null'
wait "$bridge" && code=0 || code=$?

ini="$work/CORVANE.INI" trace="$work/Corvane.Log"
fail=0
check() {
  local what=$1
  shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what" >&2; fail=1; fi
}
check "ends with code 0 on Ctrl-C" [ "$code" -eq 0 ]
check "the error names the port and the Windows code" grep -aqF \
  'Serial port "COM31" (PORTA): GetCommModemStatus function failed (Error: 50)' "$work/err"
check "trace lines are date, time (system formats), text, CR LF" grep -aEq \
  $'^[0-9]{1,2}/[0-9]{1,2}/[0-9]{4} [0-9]{1,2}:[0-9]{2}:[0-9]{2} (AM|PM) PORTA=COM31\r$' "$trace"
check "every trace line ends in CR LF" [ "$(grep -ac $'\r$' "$trace")" -eq "$(grep -ac '' "$trace")" ]
check "the configuration file is named with a Windows path" grep -aEq \
  $'Configuration File [A-Z]:\\\\.*\\\\Corvane\\.INI\r$' "$trace"
# TRACE=1 reads as off and is written back as NOT, in place, with the file's CRLF line ends.
check "the configuration is written back" grep -aq $'^TRACE=NOT\r$' "$ini"
check "no replacement file is left behind" [ ! -e "$ini.new" ]
if [ "$fail" -ne 0 ]; then
  echo "--- stderr"; cat "$work/err"; echo "--- trace"; cat "$trace"; echo "--- ini"; cat -A "$ini"
fi
exit "$fail"
