#!/usr/bin/env bash
# Runs every libFuzzer target for a while from its seed corpus.
# Usage: scripts/fuzz.sh [seconds per target, default 60]
# Builds the targets with the fuzz preset, copies each seed corpus to a scratch directory
# (the checked-in seeds stay as they are), and exits non-zero when a target crashes; the
# crashing input is kept in the scratch directory and its path printed.
set -euo pipefail

seconds="${1:-60}"
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

targets=()
for source in tests/fuzz/*_fuzz.cpp; do
  targets+=("$(basename "$source" .cpp)")
done

cmake --preset fuzz >/dev/null
cmake --build build/fuzz -j2 --target "${targets[@]}"

scratch="$(mktemp -d "${TMPDIR:-/tmp}/corvane-fuzz-XXXXXX")"
echo "scratch: $scratch"
status=0
for target in "${targets[@]}"; do
  seeds="tests/fuzz/corpus/${target%_fuzz}"
  corpus="$scratch/$target/corpus"
  mkdir -p "$corpus"
  if [ -d "$seeds" ]; then cp -r "$seeds"/. "$corpus"/; fi
  echo "== $target for ${seconds}s"
  if ! "build/fuzz/tests/fuzz/$target" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$scratch/$target/" "$corpus" >"$scratch/$target/log" 2>&1; then
    echo "!! $target crashed; see $scratch/$target/log and:"
    ls "$scratch/$target"/crash-* "$scratch/$target"/leak-* "$scratch/$target"/timeout-* \
      "$scratch/$target"/oom-* 2>/dev/null || true
    status=1
  fi
  grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added|stat::peak_rss_mb)' \
    "$scratch/$target/log" || true
  grep -E 'cov: ' "$scratch/$target/log" | tail -1 || true
done
exit "$status"
