#!/usr/bin/env bash
# A CPython 3.13.5 of a kind this machine has none of, built from Debian's
# source package and kept in the cache, so that only the first run on a
# machine builds it. Every source comes from the Debian archive that apt uses
# here, checked against its checksum. Prints the interpreter's path.
#   scripts/cpython.sh free-threaded   free-threaded, installed under the
#                                      cache (about 3 minutes)
#   scripts/cpython.sh tsan            free-threaded with ThreadSanitizer, run
#                                      from its build tree, with only its
#                                      headers installed (about 4 minutes;
#                                      installing it all takes 12)
#   scripts/cpython.sh musl            with the GIL, for musl: built by
#                                      Debian's musl-gcc, linked dynamically
#                                      so that it loads extension modules as
#                                      a musllinux CPython does, with zlib,
#                                      libffi and OpenSSL of Debian's sources
#                                      built for it (about 5 minutes). It has
#                                      no bz2, lzma, sqlite3, readline,
#                                      curses, dbm, uuid or tkinter.
. "$(dirname "$0")/common.sh"
kind=$1
cpython_version=3.13.5
prefix=$cache/cpython-$cpython_version-$kind
tree=$prefix-build
configure=(--without-ensurepip --prefix="$prefix")
case $kind in
  free-threaded)
    configure+=(--disable-gil) install=install interpreter=$prefix/bin/python3.13t ;;
  tsan)
    configure+=(--disable-gil --with-thread-sanitizer) install=inclinstall interpreter=$tree/python ;;
  musl)
    install=install interpreter=$prefix/bin/python3.13 ;;
  *) echo "unknown kind: $kind" >&2; exit 2 ;;
esac

# A source of Debian's archive, by its path in the pool, checked against its
# checksum and kept in the cache. Prints its path.
debian_source() {
  local file
  file=$cache/sources/$(basename "$1")
  if ! echo "$2  $file" | sha256sum --check --status 2>/dev/null; then
    mkdir -p "$cache/sources"
    curl -sSfL -o "$file" "$(debian_mirror)/pool/main/$1"
    echo "$2  $file" | sha256sum --check --quiet >&2
  fi
  echo "$file"
}

# Unpacks a source into a directory, and prints that directory.
unpack() {
  mkdir -p "$1"
  tar -xf "$2" -C "$1" --strip-components=1
  echo "$1"
}

# Runs a build's command with its log; shows the log's end if it fails.
logged() {
  local log=$1
  shift
  "$@" >"$log" 2>&1 || { tail -n 30 "$log"; exit 1; }
}

# What a musl CPython links that musl has not: zlib, libffi, OpenSSL, built by
# musl-gcc under the build tree. musl-gcc has no kernel headers of its own;
# Debian's are added, and nothing else of glibc's.
musl_dependencies() {
  local musl=$tree/musl
  local deps=$musl/prefix kernel=$musl/kernel source
  apt_install musl-tools linux-libc-dev
  mkdir -p "$kernel"
  ln -sfn /usr/include/linux "$kernel/linux"
  ln -sfn "/usr/include/$(gcc -print-multiarch)/asm" "$kernel/asm"
  ln -sfn /usr/include/asm-generic "$kernel/asm-generic"
  # CPython's configure takes the compiler's multiarch for its platform's:
  # musl's, not Debian's.
  cat >"$musl/cc" <<EOF
#!/bin/sh
[ "\$1" = --print-multiarch ] && { echo $(uname -m)-linux-musl; exit 0; }
exec musl-gcc -isystem "$kernel" "\$@"
EOF
  chmod +x "$musl/cc"
  export CC=$musl/cc PKG_CONFIG_LIBDIR=$deps/lib/pkgconfig CPPFLAGS=-I$deps/include LDFLAGS=-L$deps/lib

  source=$(unpack "$musl/zlib" "$(debian_source z/zlib/zlib_1.2.13.dfsg.orig.tar.bz2 71feb7947e3c00ef125f83b79a4e529bde31171e5babe48b391f06758d1ab0a1)")
  (cd "$source" && CFLAGS="-O2 -fPIC" logged configure.log ./configure --prefix="$deps" --static &&
    logged make.log make -j"$(nproc)" install)
  source=$(unpack "$musl/libffi" "$(debian_source libf/libffi/libffi_3.4.4.orig.tar.gz d66c56ad259a82cf2a9dfc408b32bf5da52371500b84745f7fb8b645712df676)")
  (cd "$source" && logged configure.log ./configure --prefix="$deps" --disable-shared --with-pic --disable-docs &&
    logged make.log make -j"$(nproc)" install)
  source=$(unpack "$musl/openssl" "$(debian_source o/openssl/openssl_3.0.20.orig.tar.gz c80a01dfc70ece4dc21168932c37739042d404d46ccc81a5986dd75314ecda6f)")
  (cd "$source" && logged configure.log ./Configure "linux-$(uname -m)" no-shared no-tests no-module no-engine \
    --prefix="$deps" --libdir=lib && logged make.log make -j"$(nproc)" build_libs && logged install.log make install_dev)
  configure+=(--with-openssl="$deps")
}

if [ ! -e "$tree/.made" ]; then
  rm -rf "$tree"
  mkdir -p "$tree"
  if [ "$kind" = musl ]; then
    mkdir -p "$tree/musl"
    musl_dependencies >&2
  else
    # pip needs ssl and zlib; the tests need ctypes.
    apt_install libssl-dev zlib1g-dev libffi-dev >&2
  fi
  unpack "$tree" "$(debian_source p/python3.13/python3.13_$cpython_version.orig.tar.xz 93e583f243454e6e9e4588ca2c2662206ad961659863277afcdb96801647d640)" >/dev/null
  (
    cd "$tree"
    logged configure.log ./configure "${configure[@]}"
    logged make.log make -j"$(nproc)"
    logged install.log make "$install"
  ) >&2
  touch "$tree/.made"
fi
echo "$interpreter"
