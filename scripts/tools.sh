#!/usr/bin/env bash
# The project's own tools (scripts/tools.txt), in a virtual environment kept
# in the cache and made anew when the list changes. Prints its bin directory:
# a script that puts it first on PATH gets these `python`, `cmake` and
# `ninja`, whatever the machine has, and installs nothing into the
# machine's own interpreters.
#   PATH="$(bash scripts/tools.sh):$PATH"
set -euo pipefail
cd "$(dirname "$0")/.."
cache=${PROVLINK_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/provlink}
venv=$cache/tools-$(sha256sum scripts/tools.txt | cut -c1-12)
if [ ! -e "$venv/.made" ]; then
  # The scripts read pyproject.toml with tomllib: Python 3.11 or later.
  base=${PROVLINK_TOOLS_PYTHON:-$(pyenv prefix "$(pyenv latest 3.13)")/bin/python3}
  rm -rf "$venv"
  mkdir -p "$cache"
  "$base" -m venv "$venv"
  "$venv/bin/python" -m pip install --quiet --upgrade pip >&2
  "$venv/bin/python" -m pip install --quiet -r scripts/tools.txt >&2
  touch "$venv/.made"
fi
echo "$venv/bin"
