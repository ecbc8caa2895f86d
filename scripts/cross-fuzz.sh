#!/usr/bin/env bash
# Cross-builds the core's fuzz harnesses with a plain driver for another
# machine (aarch64, or s390x, which is big-endian) and runs them under
# qemu-user over their seeds and a fixed number of generated inputs.
#   scripts/cross-fuzz.sh ARCH [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
PATH="$(bash scripts/tools.sh):$PATH"
arch=$1
runs=${2:-100000}
build=${BUILD_DIR:-build/cross-fuzz-$arch}
bash scripts/apt-install.sh qemu-user "g++-$arch-linux-gnu"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_SYSTEM_NAME=Linux \
  -DCMAKE_SYSTEM_PROCESSOR="$arch" -DCMAKE_CXX_COMPILER="$arch-linux-gnu-g++" \
  -DPROVLINK_PYTHON=OFF -DPROVLINK_FUZZ_DRIVER=ON >/dev/null
cmake --build "$build"
for harness in discovery construction; do
  "qemu-$arch" -L "/usr/$arch-linux-gnu" "$build/drive_$harness" "$runs" fuzz/link.dict "fuzz/seeds/$harness"
done
