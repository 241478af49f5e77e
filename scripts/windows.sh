#!/usr/bin/env bash
# Cross-builds the Windows programs and their tests, runs the tests under Wine in a fresh
# prefix of their own, and packs the programs into build/corvane-windows.zip.
set -euo pipefail
cd "$(dirname "$0")/.."

prefix_dir=$(mktemp -d)
export WINEPREFIX="$prefix_dir/wine" WINEDEBUG=-all
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$prefix_dir"
}
trap cleanup EXIT
# The prefix is made while the build runs.
wineboot -i >/dev/null 2>&1 &
boot_pid=$!

cmake --preset windows >/dev/null
cmake --build --preset windows --target corvane corvaned win32_device_tests win32_window_tests \
  win32_tcp_line_tests router_tests rt_file_tests cport_value_tests
wait "$boot_pid"
ctest --preset windows

dist=build/windows/dist
rm -rf "$dist" build/corvane-windows.zip
mkdir -p "$dist"
for program in corvane corvaned; do
  x86_64-w64-mingw32-strip -o "$dist/$program.exe" "build/windows/app/$program.exe"
done
# Text files in Windows form: CR LF line ends.
sed 's/$/\r/' packaging/windows/CORVANE.INI >"$dist/CORVANE.INI"
sed 's/$/\r/' packaging/windows/COM0COM.TXT >"$dist/COM0COM.TXT"
cp README.md "$dist/README.md"
(cd "$dist" && cmake -E tar cf ../../corvane-windows.zip --format=zip corvane.exe corvaned.exe \
  CORVANE.INI COM0COM.TXT README.md)
echo "build/corvane-windows.zip: $(unzip -l build/corvane-windows.zip 2>/dev/null | tail -1 || true)"
