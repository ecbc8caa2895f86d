#!/usr/bin/env bash
# The many-thread test under ThreadSanitizer: a free-threaded CPython 3.13
# built with it (scripts/cpython.sh tsan), the module built with it for that
# interpreter, and no report allowed. CPython's own suppressions cover the
# races it knows of in itself, and nothing else.
#   scripts/tsan.sh BUILD
. "$(dirname "$0")/common.sh"
build=$(from_caller "$1")
interpreter=$(bash scripts/cpython.sh tsan)
tree=$(dirname "$interpreter")
headers=$("$interpreter" -c "import sysconfig; print(sysconfig.get_config_var('INCLUDEPY'))")

cmake -S . -B "$build/cmake" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPROVLINK_SANITIZE=thread \
  -DPython_EXECUTABLE="$interpreter" -DPython_INCLUDE_DIR="$headers" >/dev/null
cmake --build "$build/cmake" --target provlink
# pytest is pure Python: the host's pip puts it where the interpreter finds it.
python -m pip install --quiet --target "$build/site" --only-binary=:all: --python-version 3.13 pytest

log=$build/tsan.log
status=0
PYTHONPATH="$build/cmake:$build/site" \
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$tree/Tools/tsan/suppressions_free_threading.txt" \
  "$interpreter" -m pytest -p no:cacheprovider -s tests/test_threads.py 2>&1 | tee "$log" || status=$?
if [ "$status" -ne 0 ] || grep -q "ThreadSanitizer" "$log"; then
  echo "ThreadSanitizer reported a race, or the test failed" >&2
  exit 1
fi
