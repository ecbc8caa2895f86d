#!/usr/bin/env bash
# What zig (from PyPI, among the project's tools) builds for machines this
# one is not, with LLVM's libc++ where the other scripts use libstdc++:
# - the core and the Python layer compiled for macOS on x86_64 (10.13) and
#   arm64 (11.0), warnings as errors, against the headers of the CPython 3.9
#   that builds the abi3 wheel (this machine's: its pyconfig.h is Linux's);
# - the core compiled for Windows on x86_64 with MinGW's headers (the
#   release builds it with MSVC);
# - both fuzz harnesses with the plain driver, linked statically for musl,
#   run here on x86_64 and under qemu on aarch64.
#   scripts/zig.sh [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
PATH="$(bash scripts/tools.sh):$PATH"
runs=${1:-20000}
build=${BUILD_DIR:-build/zig}
cache=${PROVLINK_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/provlink}
# zig builds libc++ and musl once a target, into its cache.
export ZIG_GLOBAL_CACHE_DIR=$cache/zig
bash scripts/apt-install.sh qemu-user
echo "zig $(python -m ziglang version)"

flags=(-std=c++20 -O2 -Wall -Wextra -Werror -fno-sized-deallocation -fvisibility=hidden -Isrc)
python39=$(pyenv prefix "$(pyenv latest 3.9)")/bin/python
include=$("$python39" -c "import sysconfig; print(sysconfig.get_paths()['include'])")
version=$(sed -n 's/^version = "\(.*\)"$/\1/p' pyproject.toml)
# Compiles each source for a target into its own directory.
compile() {
  local target=$1 source
  shift
  mkdir -p "$build/$target"
  for source in "$@"; do
    python -m ziglang c++ -target "$target" "${flags[@]}" -fPIC -isystem "$include" \
      -DPy_LIMITED_API=0x03090000 -DPROVLINK_VERSION="\"$version\"" \
      -c "$source" -o "$build/$target/$(basename "$source" .cpp).o"
  done
  echo "$target: $# files compiled"
}
compile x86_64-macos.10.13 src/*.cpp src/python/*.cpp
compile aarch64-macos.11.0 src/*.cpp src/python/*.cpp
compile x86_64-windows-gnu src/*.cpp

for arch in x86_64 aarch64; do
  target=$arch-linux-musl
  mkdir -p "$build/$target"
  for harness in discovery construction; do
    python -m ziglang c++ -target "$target" "${flags[@]}" -static -DPROVLINK_ASSERTIONS \
      src/*.cpp "fuzz/$harness.cpp" fuzz/driver.cpp -o "$build/$target/drive_$harness"
    run=("$build/$target/drive_$harness")
    [ "$arch" = x86_64 ] || run=("qemu-$arch" "${run[@]}")
    echo "$target, $harness: $("${run[@]}" "$runs" fuzz/link.dict "fuzz/seeds/$harness")"
  done
done
