#!/usr/bin/env bash
# What can be checked here of the release workflow, which runs on GitHub's
# machines only: actionlint and zizmor find nothing in it, its YAML parses,
# and cibuildwheel (at the version the workflow pins) selects the expected
# builds for Linux, macOS and Windows, tests them from wheels only and
# audits the abi3t wheel with abi3t-doctor. Given a directory of the
# release's files as this machine builds them, it checks them as the
# workflow's upload and PyPI would: twine, abi3t-doctor, ft-readiness.
#   scripts/check-release.sh [DIST]
set -euo pipefail
dist=${1:+$(realpath "$1")}
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

# What each kind of build audits with and tests under.
"$venv/bin/python" - <<'PYTHON'
from pathlib import Path

from cibuildwheel.options import CommandLineArguments, compute_options

arguments = CommandLineArguments.defaults()
arguments.package_dir = Path(".")
for platform, identifier, audit in [
    ("linux", "cp39-manylinux_x86_64", "abi3audit --strict --report {abi3_wheel}"),
    ("windows", "cp315-win_arm64", "abi3audit --strict --report {abi3_wheel}"),
    ("macos", "cp315t-macosx_arm64", "abi3t-doctor wheel {wheel}"),
    ("windows", "cp315t-win_amd64", "abi3t-doctor wheel {wheel}"),
]:
    arguments.platform = platform
    options = compute_options(platform, arguments, env={}).build_options(identifier)
    environment = options.test_environment.as_dictionary({})
    print(f"{identifier}: audit {options.audit_command}, tests with {environment}")
    assert options.audit_command == [audit], options.audit_command
    assert environment["PIP_ONLY_BINARY"] == ":all:", environment
PYTHON

if [ -n "$dist" ]; then
  echo "the release's files: $(cd "$dist" && echo *)"
  twine check --strict "$dist"/*
  abi3t-doctor wheel "$dist"/*abi3t*.whl
  ft-readiness --strict --dist "$dist" .
fi
