#!/usr/bin/env bash
# Building from the sdist for a free-threaded CPython stops at configure time
# with one sentence. No such interpreter is installed here, so this one says
# it is free-threaded (sysconfig's Py_GIL_DISABLED is 1) and is otherwise the
# usual one.
#   scripts/check-free-threaded.sh SDIST
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/sitecustomize.py" <<'PY'
import sysconfig

_config_var = sysconfig.get_config_var
sysconfig.get_config_var = lambda name: 1 if name == "Py_GIL_DISABLED" else _config_var(name)
PY
python -m pip install --quiet "scikit-build-core>=0.11"
status=0
PYTHONPATH=$work python -m pip wheel --no-build-isolation --no-deps -w "$work" "$1" >"$work/log" 2>&1 || status=$?
if [ "$status" -eq 0 ] || ! tr -s ' \n' ' ' <"$work/log" | grep -q "provlink needs a CPython with the global interpreter lock"; then
  cat "$work/log" >&2
  echo "a free-threaded build did not stop with its sentence" >&2
  exit 1
fi
echo "a free-threaded CPython stops at configure time: provlink needs a CPython with the global interpreter lock"
