#!/usr/bin/env bash
# What can be checked here of the release workflow, which runs on GitHub's
# machines only: its YAML parses, and cibuildwheel (at the version the
# workflow pins) selects the expected builds for Linux, macOS and Windows.
set -euo pipefail
cd "$(dirname "$0")/.."
workflow=.github/workflows/wheels.yml
version=$(grep -o "pypa/cibuildwheel@v[0-9.]*" "$workflow" | cut -d@ -f2 | tr -d v)
venv=$(mktemp -d)
trap 'rm -rf "$venv"' EXIT
python -m venv "$venv"
"$venv/bin/python" -m pip install --quiet "cibuildwheel==$version" pyyaml
"$venv/bin/python" -c "import sys, yaml; jobs = yaml.safe_load(open(sys.argv[1]))['jobs']; print('workflow jobs:', *jobs)" "$workflow"

expect() {
  local found
  found=$("$venv/bin/cibuildwheel" --print-build-identifiers --platform "$1" | sort | tr '\n' ' ')
  echo "$1: $found"
  if [ "$found" != "$(printf '%s\n' "${@:2}" | sort | tr '\n' ' ')" ]; then
    echo "cibuildwheel $version selects other builds for $1 than expected" >&2
    exit 1
  fi
}
expect linux cp39-manylinux_x86_64 cp314-manylinux_x86_64 cp39-manylinux_aarch64 cp314-manylinux_aarch64 \
  cp39-musllinux_x86_64 cp314-musllinux_x86_64 cp39-musllinux_aarch64 cp314-musllinux_aarch64
expect macos cp39-macosx_x86_64 cp314-macosx_x86_64 cp39-macosx_arm64 cp314-macosx_arm64
expect windows cp39-win_amd64 cp314-win_amd64 cp39-win_arm64 cp314-win_arm64
