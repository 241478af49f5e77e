#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Corvane and runs every test:
# the default build, the AddressSanitizer+UndefinedBehaviorSanitizer build, and the
# ThreadSanitizer build of the threaded tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1"
export QT_QPA_PLATFORM=offscreen

for preset in default asan tsan; do
  echo "== $preset build =="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  ctest --preset "$preset"
done
echo "== all tests passed =="
