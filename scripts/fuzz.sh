#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz") and runs each on its seed corpus for SECONDS
# (default 20), one after the other, or only the TARGETS named. New inputs the fuzzer finds go
# to build/fuzz/corpus/NAME, not into the repository; a finding stops the run with the input
# saved as build/fuzz/crash-* (or oom-*, timeout-*).
#   scripts/fuzz.sh            # CI: 20 s per target
#   scripts/fuzz.sh 1800       # a longer run: 30 minutes per target
#   scripts/fuzz.sh 1800 ply   # one target
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-20}"
shift || true
targets=("$@")
[[ ${#targets[@]} -gt 0 ]] || targets=(session obj ply stl gltf fbx stored_forms)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
for target in "${targets[@]}"; do
  corpus="build/fuzz/corpus/${target}"
  mkdir -p "${corpus}"
  # Sessions nest deep enough to exhaust a stack only past 100 kB; mesh files get room for
  # headers whose counts outrun their data.
  case "${target}" in
    session) max_len=262144 ;;
    stored_forms) max_len=4096 ;;
    *) max_len=65536 ;;
  esac
  echo "== ${target}_fuzzer: ${seconds} s"
  ASAN_OPTIONS=abort_on_error=1:intercept_tls_get_addr=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "build/fuzz/bin/${target}_fuzzer" -max_total_time="${seconds}" -timeout=10 -rss_limit_mb=4096 \
    -max_len="${max_len}" -print_final_stats=1 -artifact_prefix=build/fuzz/ "${corpus}" "fuzz/corpus/${target}"
done
