#!/usr/bin/env bash
# Cross-builds the wheel for aarch64 and runs the whole test suite under
# qemu-aarch64 with Debian's arm64 CPython, unpacked into a sysroot of its own
# (the machine's own apt state is left alone). The tests' dependencies are
# PyPI's aarch64 wheels; pytest takes the further arguments.
#   scripts/qemu-tests.sh BUILD [pytest options]
. "$(dirname "$0")/common.sh"
build=$(from_caller "$1")
shift
sysroot=$build/sysroot
apt_install qemu-user g++-aarch64-linux-gnu

# Debian's arm64 packages, fetched with a private apt state.
apt=(-o APT::Architecture=arm64 -o APT::Architectures::=arm64 -o Dir::State="$build/apt"
  -o Dir::State::status="$build/apt/status" -o Dir::Cache="$build/apt/cache" -o Debug::NoLocking=1)
packages=(python3.11 python3.11-minimal libpython3.11 libpython3.11-dev libpython3.11-minimal libpython3.11-stdlib
  libpython3.11-testsuite libc6 libgcc-s1 libstdc++6 libbz2-1.0 libcrypt1 libdb5.3 libexpat1 libffi8 libgdbm6
  libgdbm-compat4 liblzma5 libncursesw6 libnsl2 libreadline8 libsqlite3-0 libssl3 libtinfo6 libtirpc3 libuuid1
  zlib1g libgssapi-krb5-2 libk5crypto3 libkeyutils1 libkrb5-3 libkrb5support0 libcom-err2)
if [ ! -x "$sysroot/usr/bin/python3.11" ]; then
  mkdir -p "$build/apt/lists/partial" "$build/apt/cache/archives/partial" "$build/debs"
  touch "$build/apt/status"
  apt-get "${apt[@]}" update -qq
  (cd "$build/debs" && apt-get "${apt[@]}" download -qq "${packages[@]}" 2>/dev/null)
  for deb in "$build"/debs/*.deb; do dpkg-deb -x "$deb" "$sysroot"; done
fi

# The interpreter as a command, so that tests that start a fresh interpreter
# through sys.executable start this one, under qemu too.
mkdir -p "$build/bin"
cat >"$build/bin/python3" <<EOF
#!/bin/sh
PYTHONHOME="$sysroot/usr" exec qemu-aarch64 -L "$sysroot" -0 "\$0" "$sysroot/usr/bin/python3.11" "\$@"
EOF
chmod +x "$build/bin/python3"

# The wheel, cross-built by the host's scikit-build-core; CMake asks the arm64
# interpreter what it needs to know.
rm -rf "$build/dist"
_PYTHON_HOST_PLATFORM=linux-aarch64 python -m pip wheel --quiet --no-build-isolation --no-deps -w "$build/dist" . \
  -C build-dir="$build/cmake" \
  -C cmake.define.CMAKE_SYSTEM_NAME=Linux -C cmake.define.CMAKE_SYSTEM_PROCESSOR=aarch64 \
  -C cmake.define.CMAKE_CXX_COMPILER=aarch64-linux-gnu-g++ \
  -C cmake.define.Python_EXECUTABLE="$build/bin/python3" \
  -C cmake.define.Python_INCLUDE_DIR="$sysroot/usr/include/python3.11" \
  -C cmake.define.CMAKE_CXX_FLAGS="-idirafter $sysroot/usr/include"
wheel=$(echo "$build"/dist/provlink-*-cp39-abi3-linux_aarch64.whl)
auditwheel show "$wheel" | grep -A1 "consistent with"

rm -rf "$build/site"
target=(--target "$build/site" --python-version 3.11 --implementation cp --only-binary=:all: --quiet)
mapfile -t test_requirements < <(python -c "import tomllib; print(*tomllib.load(open('pyproject.toml', 'rb'))['project']['optional-dependencies']['test'], sep='\n')")
python -m pip install "${target[@]}" --platform manylinux_2_28_aarch64 --platform manylinux2014_aarch64 "${test_requirements[@]}"
python -m pip install "${target[@]}" --platform linux_aarch64 --no-deps "$wheel"

PYTHONPATH="$build/site" "$build/bin/python3" -c "import platform, provlink; print('provlink', provlink.__version__, 'on', platform.machine(), platform.python_version())"
PYTHONPATH="$build/site" "$build/bin/python3" -m pytest -p no:cacheprovider "$@"
