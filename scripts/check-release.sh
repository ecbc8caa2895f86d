#!/usr/bin/env bash
# What can be checked here of the release workflow, which runs on GitHub's
# machines only: actionlint and zizmor find nothing in it, its YAML parses,
# and cibuildwheel (at the version the workflow pins) selects the expected
# builds for Linux, macOS and Windows, tests them from wheels only and
# audits the abi3t wheel with abi3t-doctor. Given a directory of the
# release's files as this machine builds them, it checks them as the
# workflow's upload and PyPI would: twine, abi3t-doctor, ft-readiness.
#   scripts/check-release.sh [DIST]
. "$(dirname "$0")/common.sh"
dist=${1:+$(from_caller "$1")}
workflow=.github/workflows/wheels.yml
actionlint "$workflow"
zizmor --offline --no-progress --persona pedantic .github/
cibuildwheel=$(grep -o "cibuildwheel==[0-9.]*" "$workflow" | cut -d= -f3)
venv=$(mktemp -d)
trap 'rm -rf "$venv"' EXIT
python -m venv "$venv"
"$venv/bin/python" -m pip install --quiet "cibuildwheel==$cibuildwheel" pyyaml

# Each runner of the workflow, with the architectures it names: the wheels
# cibuildwheel builds there must be those the release lists, each under the
# name its tags give it (a GIL CPython 3.14 or 3.15 tests the abi3 wheel of
# 3.9 and builds nothing).
"$venv/bin/python" - "$workflow" "$venv/bin/cibuildwheel" <<'PYTHON'
import subprocess, sys, yaml

workflow, cibuildwheel = sys.argv[1:]
platform_of = {"ubuntu": "linux", "macos": "macos", "windows": "windows"}
# The platform tag each build's wheel gets: the images that cibuildwheel
# uses, the repair command and macOS deployment target of pyproject.toml, and
# cibuildwheel's floor of macOS 10.15 for CPython 3.14 and later on x86_64.
PLATFORM_TAGS = {
    "manylinux_x86_64": "manylinux_2_28_x86_64",
    "manylinux_aarch64": "manylinux_2_28_aarch64",
    "musllinux_x86_64": "musllinux_1_2_x86_64",
    "musllinux_aarch64": "musllinux_1_2_aarch64",
    "macosx_arm64": "macosx_11_0_arm64",
    "win_amd64": "win_amd64",
    "win_arm64": "win_arm64",
}
WHEELS = {"cp39": "cp39-abi3", "cp314t": "cp314-cp314t", "cp315t": "cp315-abi3.abi3t"}
TESTS_ONLY = {"cp314", "cp315"}


def wheel(identifier):
    python, platform = identifier.split("-", 1)
    if python in TESTS_ONLY:
        return None
    tag = PLATFORM_TAGS.get(platform) or ("macosx_10_13_x86_64" if python == "cp39" else "macosx_10_15_x86_64")
    return f"provlink-{{version}}-{WHEELS[python]}-{tag}.whl"


built = set()
for entry in yaml.safe_load(open(workflow))["jobs"]["wheels"]["strategy"]["matrix"]["include"]:
    platform = platform_of[entry["runner"].split("-")[0]]
    identifiers = subprocess.run(
        [cibuildwheel, "--print-build-identifiers", "--platform", platform, "--archs", entry["archs"]],
        check=True, capture_output=True, text=True,
    ).stdout.split()
    print(f"{entry['runner']} ({entry['archs']}): {' '.join(identifiers)}")
    built |= {wheel(identifier) for identifier in identifiers} - {None}
listed = {line for line in open(".github/release-files.txt").read().splitlines() if line.endswith(".whl")}
if built != listed:
    sys.exit(f"the workflow builds other wheels than .github/release-files.txt lists:\n"
             f"  built, not listed: {sorted(built - listed)}\n  listed, not built: {sorted(listed - built)}")
print(f"the workflow builds the {len(listed)} wheels that .github/release-files.txt lists")
PYTHON

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
# The Linux wheels get the one tag of their image, the name that
# .github/release-files.txt lists, and not the older tags that auditwheel
# would add when their symbols allow.
arguments.platform = "linux"
for identifier in ["cp39-manylinux_aarch64", "cp314t-musllinux_x86_64"]:
    repair = compute_options("linux", arguments, env={}).build_options(identifier).repair_command
    print(f"{identifier}: repaired by {repair}")
    assert "--only-plat" in repair, repair
PYTHON

if [ -n "$dist" ]; then
  echo "the release's files: $(cd "$dist" && echo *)"
  # The sdist and the manylinux wheel are built here as the workflow builds
  # them, and named so.
  listed=$(grep -v '^#' .github/release-files.txt | sed "s/{version}/$version/")
  for file in "$dist"/*.tar.gz "$dist"/*manylinux*.whl; do
    grep -qxF "$(basename "$file")" <<<"$listed" || { echo "not a file of the release: $file" >&2; exit 1; }
  done
  # The workflow builds and tests each wheel from the sdist: what the tests
  # run must be in it.
  sdist_files=$(tar -tzf "$dist"/*.tar.gz)
  for path in $(grep -o '{project}/[^ "]*' pyproject.toml | cut -d/ -f2-); do
    grep -q "^provlink-$version/$path\(/\|\$\)" <<<"$sdist_files" || { echo "the sdist lacks $path, which the tests run" >&2; exit 1; }
  done
  twine check --strict "$dist"/*
  python scripts/check-long-description.py "$dist"/*
  abi3t-doctor wheel "$dist"/*abi3t*.whl
  ft-readiness --strict --dist "$dist" .
fi
