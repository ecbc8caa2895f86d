#!/usr/bin/env bash
# The core's fuzz harnesses with a plain driver (fuzz/driver.cpp),
# cross-built for ARCH (aarch64, or s390x, which is big-endian) and run under
# qemu-user over their seeds and RUNS generated inputs (100,000 unless given).
#   scripts/cross-fuzz.sh BUILD ARCH [RUNS]
. "$(dirname "$0")/common.sh"
build=$(from_caller "$1")
arch=$2
runs=${3:-100000}
apt_install qemu-user "g++-$arch-linux-gnu"

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_SYSTEM_NAME=Linux \
  -DCMAKE_SYSTEM_PROCESSOR="$arch" -DCMAKE_CXX_COMPILER="$arch-linux-gnu-g++" \
  -DPROVLINK_PYTHON=OFF -DPROVLINK_FUZZ_DRIVER=ON >/dev/null
cmake --build "$build"
for harness in discovery construction; do
  "qemu-$arch" -L "/usr/$arch-linux-gnu" "$build/drive_$harness" "$runs" fuzz/link.dict "fuzz/seeds/$harness"
done
