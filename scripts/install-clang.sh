#!/usr/bin/env bash
# clang, clang-tidy and clang's sanitizer and fuzzer runtimes, from Debian's packages.
set -euo pipefail
packages=(clang clang-tidy libclang-rt-14-dev)
installed=$(dpkg-query -W -f='${Status}\n' "${packages[@]}" 2>/dev/null | grep -c "ok installed" || true)
[ "$installed" -eq "${#packages[@]}" ] && exit 0
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${packages[@]}" >/dev/null
