#!/usr/bin/env bash
# The module on a free-threaded CPython 3.13 (built by scripts/cpython.sh),
# from the sdist: it must build for that one version, and the whole suite
# must pass with the GIL held off. PYTHON_GIL=0 keeps a test dependency that
# does not declare itself from turning the GIL back on; whether importing
# provlink alone keeps it off, tests/test_threads.py asks a fresh interpreter
# without it. The wheel is left in the directory OUT, if one is named.
#   scripts/check-free-threaded.sh SDIST [OUT]
set -euo pipefail
sdist=$(realpath "$1")
cd "$(dirname "$0")/.."
PATH="$(bash scripts/tools.sh):$PATH"
interpreter=$(bash scripts/cpython.sh free-threaded)
venv=$(mktemp -d)
trap 'rm -rf "$venv"' EXIT
"$interpreter" -m venv "$venv"
"$venv/bin/python" -m pip wheel --quiet --no-deps -w "$venv/dist" "$sdist"
wheel=$(echo "$venv"/dist/provlink-*.whl)
[ -z "${2:-}" ] || cp "$wheel" "$2/"
# Some test dependencies publish no free-threaded 3.13 wheel of their newest
# release, and building theirs needs Rust: take the newest that has wheels.
"$venv/bin/python" -m pip install --quiet --only-binary=:all: "$wheel[test]"
module=$("$venv/bin/python" -c "import provlink; print(provlink.__file__)")
echo "$("$venv/bin/python" -VV): $(basename "$module")"
case $module in
  *.cpython-313t-*.so) ;;
  *) echo "not a module for the free-threaded CPython 3.13" >&2; exit 1 ;;
esac
# -rP shows what the many-thread test counted.
PYTHON_GIL=0 "$venv/bin/python" -m pytest -p no:cacheprovider -rP
