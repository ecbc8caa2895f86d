#!/usr/bin/env bash
# bench/compare.py on CPython 3.9, 3.11 and 3.13 (from pyenv), each in a
# virtual environment of its own with provlink and the peers installed; the
# chart is drawn from the 3.11 run.
#   bench/interpreters.sh [compare.py options]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath -m "${BUILD_DIR:-build/bench}")
for version in 3.9 3.11 3.13; do
  venv="$build/venv-$version"
  [ -x "$venv/bin/python" ] || "$(pyenv prefix "$(pyenv latest "$version")")/bin/python" -m venv "$venv"
  "$venv/bin/python" -m pip install --quiet ".[bench]"
  chart=()
  [ "$version" = 3.11 ] && chart=(--chart)
  "$venv/bin/python" bench/compare.py "${chart[@]}" "$@"
done
