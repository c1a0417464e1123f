#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz") and runs each on its seed corpus for SECONDS
# (default 20), one after the other. New inputs the fuzzer finds go to build/fuzz/corpus/NAME,
# not into the repository; a finding stops the run with the input saved as build/fuzz/crash-*.
#   scripts/fuzz.sh            # CI: 20 s per target
#   scripts/fuzz.sh 1800       # a longer run: 30 minutes per target
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in session obj stored_forms; do
  corpus="build/fuzz/corpus/${target}"
  mkdir -p "${corpus}"
  echo "== ${target}_fuzzer: ${seconds} s"
  ASAN_OPTIONS=abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "build/fuzz/bin/${target}_fuzzer" -max_total_time="${seconds}" -timeout=10 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix=build/fuzz/ "${corpus}" "fuzz/corpus/${target}"
done
