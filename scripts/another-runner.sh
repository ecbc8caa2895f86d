#!/usr/bin/env bash
# The whole suite as a runner of the release workflow would run it where this
# machine's interpreter differs: without CPython's test-only modules and the
# POSIX-only ones (another-runner/sitecustomize.py), and without /proc (a
# mount namespace of its own, with an empty /proc). Nothing may fail.
#   scripts/another-runner.sh PYTHON [pytest options]
. "$(dirname "$0")/common.sh"
python=$(cd "$caller" && "$1" -c "import sys; print(sys.executable)")
shift
export PYTHONPATH="$PWD/scripts/another-runner${PYTHONPATH:+:$PYTHONPATH}"
# shellcheck disable=SC2016
unshare --mount --propagation private sh -c 'mount -t tmpfs none /proc && exec "$@"' sh \
  "$python" - "$@" <<'PY'
import os, subprocess, sys

for name in ("_testcapi", "resource"):
    try:
        __import__(name)
    except ModuleNotFoundError:
        continue
    sys.exit(f"{name} can still be imported: this is not another runner's interpreter")
assert not os.path.exists("/proc/self"), "/proc is still there"
sys.exit(subprocess.call([sys.executable, "-m", "pytest", "-p", "no:cacheprovider", "-rs", *sys.argv[1:]]))
PY
