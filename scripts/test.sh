#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Corvane and runs every test:
# the default build, the AddressSanitizer+UndefinedBehaviorSanitizer build, the
# ThreadSanitizer build of the threaded tests, the Debian package installed and run, a
# 30 s two-client soak that fails on any lost or misrouted answer, a 20 s run under faults
# that fails on any misrouted answer, short runs of the benchmarks, the Windows build
# (mingw-w64) with its tests under Wine, and a short run of every fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
export QT_QPA_PLATFORM=offscreen

# The sanitizer runs leave out the default run's long soaks (the asan test preset names
# them): they repeat in bulk what shorter cases already take through the same code. The
# ThreadSanitizer build makes only the executables its run takes.
for preset in default asan tsan; do
  echo "== $preset build =="
  cmake --preset "$preset" >/dev/null
  if [ "$preset" = tsan ]; then
    cmake --build --preset "$preset" --target threaded_tests
  else
    cmake --build --preset "$preset"
  fi
  ctest --preset "$preset"
done

echo "== package: built, installed with dpkg, run from the installed paths, removed =="
bash scripts/check-package.sh

echo "== soak: two clients through corvane for 30 s =="
build/default/tools/bench_bridge/corvane-bench-bridge soak --seconds 30 --max-lost 0

echo "== chaos: corvane under faults for 20 s, failing on any answer to the wrong client =="
build/default/tools/bench_bridge/corvane-bench-bridge chaos --seconds 20

echo "== benchmarks, short runs =="
build/default/tools/bench_port/corvane-bench-port --seconds 1 --samples 500
build/default/tools/bench_bridge/corvane-bench-bridge latency --samples 300 \
  --idle-seconds 1 --load-seconds 1

echo "== windows: cross-built with mingw-w64, tested under Wine, zipped =="
bash scripts/windows.sh

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzzers, ${CORVANE_FUZZ_SECONDS:-30} s each =="
  bash scripts/fuzz.sh "${CORVANE_FUZZ_SECONDS:-30}"
fi
echo "== all tests passed =="
