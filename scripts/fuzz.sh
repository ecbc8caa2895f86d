#!/usr/bin/env bash
# The libFuzzer harnesses fuzz/discovery.cpp and fuzz/construction.cpp, with
# AddressSanitizer and UndefinedBehaviorSanitizer, each run for SECONDS
# (60 unless given) from the seeds and the corpus that earlier runs in BUILD
# grew. They abort on any broken property, not only on crashes: among them,
# that every fast reader gives the general reader's links, and that every
# scan gives the same answer with the block of the build, with the plain
# block and byte by byte.
#   scripts/fuzz.sh BUILD [SECONDS [HARNESS...]]
. "$(dirname "$0")/common.sh"
build=$(from_caller "$1")
seconds=${2:-60}
harnesses=("${@:3}")
[ "${#harnesses[@]}" -gt 0 ] || harnesses=(discovery construction)
apt_install clang libclang-rt-14-dev

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
