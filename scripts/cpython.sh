#!/usr/bin/env bash
# A free-threaded CPython 3.13.5, built from Debian's source package and kept
# in the cache, so that only the first run on a machine builds it (about
# 3 minutes; 4 with ThreadSanitizer). Prints the interpreter's path.
#   scripts/cpython.sh free-threaded   installed under the cache
#   scripts/cpython.sh tsan            ThreadSanitizer on, run from its build
#                                      tree, with only its headers installed
#                                      (installing it all takes 12 minutes)
set -euo pipefail
kind=$1
cache=${PROVLINK_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/provlink}
version=3.13.5
source=python3.13_$version.orig.tar.xz
sha256=93e583f243454e6e9e4588ca2c2662206ad961659863277afcdb96801647d640
configure=(--disable-gil --without-ensurepip --prefix="$cache/cpython-$version-$kind")
case $kind in
  free-threaded) install=install ;;
  tsan) configure+=(--with-thread-sanitizer) install=inclinstall ;;
  *) echo "unknown kind: $kind" >&2; exit 2 ;;
esac
tree=$cache/cpython-$version-$kind-build
interpreter=$tree/python
[ "$kind" = free-threaded ] && interpreter=$cache/cpython-$version-$kind/bin/python${version%.*}t

if [ ! -e "$tree/.made" ]; then
  mkdir -p "$cache"
  if ! echo "$sha256  $cache/$source" | sha256sum --check --status 2>/dev/null; then
    curl -sSfL -o "$cache/$source" "http://deb.debian.org/debian/pool/main/p/python3.13/$source"
    echo "$sha256  $cache/$source" | sha256sum --check --quiet
  fi
  # pip needs ssl and zlib; the tests need ctypes.
  bash "$(dirname "$0")/apt-install.sh" libssl-dev zlib1g-dev libffi-dev >&2
  rm -rf "$tree"
  mkdir -p "$tree"
  tar -xJf "$cache/$source" -C "$tree" --strip-components=1
  (
    cd "$tree"
    ./configure "${configure[@]}" >configure.log 2>&1 || { tail -n 30 configure.log; exit 1; }
    make -j"$(nproc)" >make.log 2>&1 || { tail -n 30 make.log; exit 1; }
    make "$install" >install.log 2>&1 || { tail -n 30 install.log; exit 1; }
  ) >&2
  touch "$tree/.made"
fi
echo "$interpreter"
