#!/usr/bin/env bash
# The module on a free-threaded CPython 3.13 (built by scripts/cpython.sh),
# from the sdist: it must build for that one version, and the whole suite
# must pass with the GIL held off. PYTHON_GIL=0 keeps a test dependency that
# does not declare itself from turning the GIL back on; whether importing
# provlink alone keeps it off, tests/test_threads.py asks a fresh interpreter
# without it. The wheel is left in the directory OUT, if one is named.
#   scripts/check-free-threaded.sh BUILD SDIST [OUT]
. "$(dirname "$0")/common.sh"
build=$(from_caller "$1")
sdist=$(from_caller "$2")
out=${3:+$(from_caller "$3")}
interpreter=$(bash scripts/cpython.sh free-threaded)
rm -rf "$build"
"$interpreter" -m venv "$build"
"$build/bin/python" -m pip wheel --quiet --no-deps -w "$build/dist" "$sdist"
wheel=$(echo "$build"/dist/provlink-*.whl)
[ -z "$out" ] || cp "$wheel" "$out/"
# Some test dependencies publish no free-threaded 3.13 wheel of their newest
# release, and building theirs needs Rust: take the newest that has wheels.
"$build/bin/python" -m pip install --quiet --only-binary=:all: "$wheel[test]"
module=$("$build/bin/python" -c "import provlink; print(provlink.__file__)")
echo "$("$build/bin/python" -VV): $(basename "$module")"
case $module in
  *.cpython-313t-*.so) ;;
  *) echo "not a module for the free-threaded CPython 3.13" >&2; exit 1 ;;
esac
# -rP shows what the many-thread test counted.
PYTHON_GIL=0 "$build/bin/python" -m pytest -p no:cacheprovider -rP
