#!/usr/bin/env bash
# bench/compare.py on CPython 3.9, 3.11 and 3.13 (from pyenv), each in a
# virtual environment of its own in BUILD with provlink and the peers
# installed; the chart is drawn from the 3.11 run.
#   bench/interpreters.sh BUILD [compare.py options]
. "$(dirname "$0")/../scripts/common.sh"
build=$(from_caller "$1")
shift
for python_version in 3.9 3.11 3.13; do
  venv="$build/venv-$python_version"
  [ -x "$venv/bin/python" ] || "$(pyenv prefix "$(pyenv latest "$python_version")")/bin/python" -m venv "$venv"
  "$venv/bin/python" -m pip install --quiet ".[bench]"
  chart=()
  [ "$python_version" = 3.11 ] && chart=(--chart)
  "$venv/bin/python" bench/compare.py "${chart[@]}" "$@"
done
