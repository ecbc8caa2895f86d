#!/usr/bin/env bash
# A free-threaded CPython 3.13.5, built from Debian's source package, fetched
# from the Debian archive that apt uses here and checked against its
# checksum, and kept in the cache, so that only the first run on a machine
# builds it (about 3 minutes; 4 with ThreadSanitizer). Prints the
# interpreter's path.
#   scripts/cpython.sh free-threaded   installed under the cache
#   scripts/cpython.sh tsan            ThreadSanitizer on, run from its build
#                                      tree, with only its headers installed
#                                      (installing it all takes 12 minutes)
. "$(dirname "$0")/common.sh"
kind=$1
cpython_version=3.13.5
configure=(--disable-gil --without-ensurepip --prefix="$cache/cpython-$cpython_version-$kind")
case $kind in
  free-threaded) install=install ;;
  tsan) configure+=(--with-thread-sanitizer) install=inclinstall ;;
  *) echo "unknown kind: $kind" >&2; exit 2 ;;
esac
tree=$cache/cpython-$cpython_version-$kind-build
interpreter=$tree/python
[ "$kind" = free-threaded ] && interpreter=$cache/cpython-$cpython_version-$kind/bin/python${cpython_version%.*}t

# Debian's source, from the Debian archive that apt uses here, checked
# against its checksum and kept in the cache.
fetch_source() {
  local source=python3.13_$cpython_version.orig.tar.xz
  local sha256=93e583f243454e6e9e4588ca2c2662206ad961659863277afcdb96801647d640
  if ! echo "$sha256  $cache/$source" | sha256sum --check --status 2>/dev/null; then
    mkdir -p "$cache"
    curl -sSfL -o "$cache/$source" "$(debian_mirror)/pool/main/p/python3.13/$source"
    echo "$sha256  $cache/$source" | sha256sum --check --quiet >&2
  fi
  echo "$cache/$source"
}

if [ ! -e "$tree/.made" ]; then
  source=$(fetch_source)
  # pip needs ssl and zlib; the tests need ctypes.
  apt_install libssl-dev zlib1g-dev libffi-dev >&2
  rm -rf "$tree"
  mkdir -p "$tree"
  tar -xJf "$source" -C "$tree" --strip-components=1
  (
    cd "$tree"
    ./configure "${configure[@]}" >configure.log 2>&1 || { tail -n 30 configure.log; exit 1; }
    make -j"$(nproc)" >make.log 2>&1 || { tail -n 30 make.log; exit 1; }
    make "$install" >install.log 2>&1 || { tail -n 30 install.log; exit 1; }
  ) >&2
  touch "$tree/.made"
fi
echo "$interpreter"
