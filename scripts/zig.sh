#!/usr/bin/env bash
# What zig (from PyPI, among the project's tools) builds for machines this
# one is not, with LLVM's libc++ where the other scripts use libstdc++, and
# warnings as errors:
# - the core and the Python layer compiled for macOS on x86_64 (10.13) and
#   arm64 (11.0), against the headers of the CPython 3.9 that builds the
#   abi3 wheel (this machine's: its pyconfig.h is Linux's);
# - the core compiled for Windows on x86_64 with MinGW's headers (the
#   release builds it with MSVC);
# - both fuzz harnesses with the plain driver, linked statically for musl,
#   run here on x86_64 and under qemu on aarch64 over RUNS generated inputs
#   (20,000 unless given).
# Every source is compiled with the flags and definitions that CMake gives it
# (CMakeLists.txt): for macOS and Windows, CMake's compile commands for this
# machine, retargeted; for musl, a build that CMake drives with zig.
#   scripts/zig.sh BUILD [RUNS]
. "$(dirname "$0")/common.sh"
build=$(from_caller "$1")
runs=${2:-20000}
apt_install qemu-user
echo "zig $(python -m ziglang version)"

# The abi3 module's compile commands, as CMake makes them here.
python39=$(pyenv prefix "$(pyenv latest 3.9)")/bin/python
cmake -S . -B "$build/host" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE="$python39" \
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
# Compiles the sources, as CMake would, for the target instead: those of the
# core, or with the Python layer's too ("all").
retarget() {
  local target=$1 which=$2
  python - "$build/host/compile_commands.json" "$(zig_tools "$target" "$build/bin")/c++" "$build/$target" "$which" <<'PYTHON'
import json, os, shlex, subprocess, sys

commands, compiler, out, which = sys.argv[1:]
os.makedirs(out, exist_ok=True)
python_layer = os.path.join(os.getcwd(), "src", "python")
sources = [
    entry for entry in json.load(open(commands))
    if which == "all" or os.path.dirname(os.path.abspath(entry["file"])) != python_layer
]
for entry in sources:
    arguments = shlex.split(entry["command"])
    output = arguments.index("-o")
    arguments[output + 1] = os.path.join(out, os.path.basename(entry["file"]) + ".o")
    subprocess.run([compiler, *arguments[1:], "-Werror"], cwd=entry["directory"], check=True)
print(f"{os.path.basename(out)}: {len(sources)} files compiled")
PYTHON
}
retarget x86_64-macos.10.13 all
retarget aarch64-macos.11.0 all
retarget x86_64-windows-gnu core

for arch in x86_64 aarch64; do
  target=$arch-linux-musl
  tools=$(zig_tools "$target" "$build/bin")
  cmake -S . -B "$build/$target" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_SYSTEM_NAME=Linux \
    -DCMAKE_SYSTEM_PROCESSOR="$arch" -DCMAKE_CXX_COMPILER="$tools/c++" -DCMAKE_AR="$tools/ar" \
    -DCMAKE_RANLIB="$tools/ranlib" -DCMAKE_CXX_FLAGS=-Werror -DCMAKE_EXE_LINKER_FLAGS=-static \
    -DPROVLINK_PYTHON=OFF -DPROVLINK_FUZZ_DRIVER=ON >/dev/null
  cmake --build "$build/$target" >/dev/null
  for harness in discovery construction; do
    run=("$build/$target/drive_$harness")
    [ "$arch" = x86_64 ] || run=("qemu-$arch" "${run[@]}")
    echo "$target, $harness: $("${run[@]}" "$runs" fuzz/link.dict "fuzz/seeds/$harness")"
  done
done
