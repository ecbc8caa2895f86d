#!/usr/bin/env bash
# What can be checked here of the release workflow, which runs on GitHub's
# machines only: actionlint and zizmor find nothing in it, its YAML parses,
# and cibuildwheel (at the version the workflow pins) selects the expected
# builds for Linux, macOS and Windows.
set -euo pipefail
cd "$(dirname "$0")/.."
PATH="$(bash scripts/tools.sh):$PATH"
workflow=.github/workflows/wheels.yml
actionlint "$workflow"
zizmor --offline --no-progress .github/
version=$(grep -o "cibuildwheel==[0-9.]*" "$workflow" | cut -d= -f3)
venv=$(mktemp -d)
trap 'rm -rf "$venv"' EXIT
python -m venv "$venv"
"$venv/bin/python" -m pip install --quiet "cibuildwheel==$version" pyyaml
"$venv/bin/python" -c "import sys, yaml; jobs = yaml.safe_load(open(sys.argv[1]))['jobs']; print('workflow jobs:', *jobs)" "$workflow"

# The workflow runs one runner an architecture ("native"); name them here.
expect() {
  local found
  found=$("$venv/bin/cibuildwheel" --print-build-identifiers --platform "$1" --archs "$2" | sort | tr '\n' ' ')
  echo "$1: $found"
  if [ "$found" != "$(printf '%s\n' "${@:3}" | sort | tr '\n' ' ')" ]; then
    echo "cibuildwheel $version selects other builds for $1 than expected" >&2
    exit 1
  fi
}
# Each platform's identifiers for the abi3 wheel (cp39, tested again on
# cp314 and cp315) and the free-threaded ones (cp314t, cp315t).
each() {
  local platform
  for platform in "$@"; do
    printf '%s\n' "cp39-$platform" "cp314-$platform" "cp315-$platform" "cp314t-$platform" "cp315t-$platform"
  done
}
# shellcheck disable=SC2046
expect linux x86_64,aarch64 $(each manylinux_x86_64 manylinux_aarch64 musllinux_x86_64 musllinux_aarch64)
# shellcheck disable=SC2046
expect macos x86_64,arm64 $(each macosx_x86_64 macosx_arm64)
# shellcheck disable=SC2046
expect windows AMD64,ARM64 $(each win_amd64 win_arm64)
