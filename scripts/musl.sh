#!/usr/bin/env bash
# The whole test suite on musl: the CPython 3.13 of scripts/cpython.sh musl,
# and the module built for it as the musllinux wheel's, by CMake, with zig's
# C++ compiler for x86_64-linux-musl (LLVM's libc++, linked into the
# module). Its exports and dynamic dependencies are checked as the
# manylinux wheel's are: PyInit_provlink, and musl's libc alone. That
# interpreter has no pip of its own (nor anything to fetch with): the host's
# installs the wheel and the test extra for it, from PyPI's musllinux wheels;
# a package that has none is left out, and its tests skip. pytest takes the
# further arguments.
#   scripts/musl.sh BUILD [pytest options]
. "$(dirname "$0")/common.sh"
build=$(from_caller "$1")
shift
interpreter=$(bash scripts/cpython.sh musl)
target=$(uname -m)-linux-musl
tools=$(zig_tools "$target" "$build/bin")
echo "$("$interpreter" -VV), on musl $(/lib/ld-musl-"$(uname -m)".so.1 2>&1 | sed -n "s/^Version //p")"

rm -rf "$build/dist" "$build/site"
python -m pip wheel --quiet --no-build-isolation --no-deps -w "$build/dist" . -C build-dir="$build/cmake" \
  -C cmake.define.CMAKE_CXX_COMPILER="$tools/c++" -C cmake.define.CMAKE_AR="$tools/ar" \
  -C cmake.define.CMAKE_RANLIB="$tools/ranlib" -C cmake.define.Python_EXECUTABLE="$interpreter" \
  -C cmake.define.Python_INCLUDE_DIR="$("$interpreter" -c "import sysconfig; print(sysconfig.get_paths()['include'])")"
platform=musllinux_1_2_$(uname -m)
python -m wheel tags --platform-tag "$platform" --remove "$build"/dist/*.whl >/dev/null
wheel=$(echo "$build"/dist/provlink-*.whl)
echo "built: $(basename "$wheel")"

python -m zipfile -e "$wheel" "$build/unpacked"
module=$build/unpacked/provlink.abi3.so
exports=$(nm -D --defined-only "$module" | awk '{print $NF}')
needed=$(readelf -d "$module" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
echo "exports: $exports; needs: $needed"
[ "$exports" = PyInit_provlink ] || { echo "the module exports more than PyInit_provlink" >&2; exit 1; }
[ "$needed" = libc.so ] || { echo "the module needs more than musl's libc" >&2; exit 1; }

target_options=(--target "$build/site" --platform "$platform" --platform "musllinux_1_1_$(uname -m)"
  --python-version 3.13 --implementation cp --quiet)
python -m pip install "${target_options[@]}" --only-binary=:all: --no-deps "$wheel"
PYTHONPATH="$build/site" python tests/install-test-wheels.py "${target_options[@]}"
PYTHONPATH="$build/site" "$interpreter" -m pytest -p no:cacheprovider -rs "$@"
