#!/usr/bin/env bash
# Builds the libFuzzer harnesses and runs each for the given number of seconds
# (default 60), starting from the seeds and the corpus earlier runs grew.
#   scripts/fuzz.sh [seconds] [harness...]
set -euo pipefail
cd "$(dirname "$0")/.."
PATH="$(bash scripts/tools.sh):$PATH"
seconds=${1:-60}
shift || true
harnesses=("$@")
[ "${#harnesses[@]}" -gt 0 ] || harnesses=(discovery construction)
build=${BUILD_DIR:-build/fuzz}

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPROVLINK_PYTHON=OFF -DPROVLINK_FUZZ=ON >/dev/null
cmake --build "$build"

for harness in "${harnesses[@]}"; do
  corpus="$build/corpus/$harness"
  mkdir -p "$corpus"
  log="$build/fuzz_$harness.log"
  echo "== fuzz_$harness for ${seconds}s"
  status=0
  "$build/fuzz_$harness" "$corpus" "fuzz/seeds/$harness" -dict=fuzz/link.dict \
    -max_total_time="$seconds" -max_len=4096 -timeout=10 -print_final_stats=1 -artifact_prefix="$build/" >"$log" 2>&1 || status=$?
  grep -E "DONE|stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)" "$log" || true
  if [ "$status" -ne 0 ]; then
    tail -n 60 "$log" >&2
    echo "fuzz_$harness failed; the input that failed is named in the log above" >&2
    exit 1
  fi
done
