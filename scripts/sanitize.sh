#!/usr/bin/env bash
# The whole test suite against a build with AddressSanitizer and
# UndefinedBehaviorSanitizer, in a virtual environment of its own; pytest
# takes the further arguments.
#   scripts/sanitize.sh BUILD [pytest options]
. "$(dirname "$0")/common.sh"
build=$(from_caller "$1")
shift

python -m venv "$build/venv"
"$build/venv/bin/python" -m pip install --quiet ".[test]" \
  -C cmake.define.PROVLINK_SANITIZE=address,undefined -C cmake.build-type=RelWithDebInfo -C build-dir="$build/cmake"

# The interpreter is not instrumented: the ASan runtime must be loaded first,
# and libstdc++ with it, so that ASan finds the __cxa_throw it intercepts.
# PYTHONMALLOC=malloc lets ASan see every object allocation; leak detection
# stays off, since the interpreter keeps much of what it allocates until exit.
LD_PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so)" \
  PYTHONMALLOC=malloc \
  ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$build/venv/bin/python" -m pytest -p no:cacheprovider "$@"
