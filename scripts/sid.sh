#!/usr/bin/env bash
# The newest CPython, g++ and CMake, from Debian sid: a chroot made once by
# debootstrap and kept in the cache, entered with /proc mounted in a mount
# namespace of its own. In it:
# - the whole test suite on CPython 3.14 and 3.15, against the given wheel;
# - the sdist built on 3.15 (g++ 16, CMake 4) without a warning, and the
#   module of the wheel it makes loaded by the host's CPython 3.9, the
#   interpreter named last (bound into the chroot: the module needs sid's
#   newer libstdc++, as any module g++ 16 builds);
# - the abi3t module built from the sdist on 3.15, and the suite against it;
#   its wheel is left in the directory OUT, if one is named.
# The chroot is made from the Debian archive that apt uses here.
#   scripts/sid.sh WHEEL SDIST PYTHON3.9 [OUT]
. "$(dirname "$0")/common.sh"
old_python=$(cd "$caller" && "$3" -c "import sys; print(sys.executable)")
old_prefix=$("$old_python" -c "import sys; print(sys.base_prefix)")
wheel=$(from_caller "$1")
sdist=$(from_caller "$2")
out=${4:+$(from_caller "$4")}
root=$cache/sid
packages=python3.14,python3.14-venv,python3.14-dev,python3.15,python3.15-venv,python3.15-dev,g++,cmake,binutils

if [ ! -e "$root/.made" ]; then
  apt_install debootstrap
  rm -rf "$root"
  mkdir -p "$cache"
  debootstrap --variant=minbase --include="$packages" sid "$root" "$(debian_mirror)" >"$cache/debootstrap.log" 2>&1 ||
    { tail -n 20 "$cache/debootstrap.log" >&2; exit 1; }
  touch "$root/.made"
fi

# The host's name service and certificate authorities, so that pip inside
# reaches PyPI as pip outside does.
cp /etc/resolv.conf "$root/etc/resolv.conf"
passed=(HOME=/root PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 OLD_PYTHON="$old_python")
for name in PIP_CERT SSL_CERT_FILE REQUESTS_CA_BUNDLE http_proxy https_proxy no_proxy HTTP_PROXY HTTPS_PROXY NO_PROXY; do
  value=${!name:-}
  [ -n "$value" ] || continue
  passed+=("$name=$value")
  if [ -f "$value" ]; then
    mkdir -p "$root$(dirname "$value")"
    cp "$value" "$root$value"
  fi
done

work=$root/provlink
rm -rf "$work"
mkdir -p "$work/dist"
cp "$wheel" "$sdist" "$work/dist/"
tar -xzf "$sdist" -C "$work"
mv "$work"/provlink-*/ "$work/src"

cat >"$work/run.sh" <<'EOF'
set -euo pipefail
cd /provlink
wheel=$(echo dist/*.whl)
sdist=$(echo dist/*.tar.gz)
install=(python -m pip install --quiet --only-binary=:all:)
echo "g++ $(g++ -dumpfullversion), $(cmake --version | head -n 1)"

for version in 3.14 3.15; do
  echo "== the wheel on CPython $version"
  python$version -m venv "venv-$version"
  (. "venv-$version/bin/activate" && "${install[@]}" "$wheel[test]" && cd src && python -m pytest -p no:cacheprovider)
done

# Builds a wheel of the sdist into the directory $1, with pip's further
# options, and fails on any warning of the compiler or of CMake.
build() {
  local log=$1.log
  python -m pip wheel --no-deps -v -w "$@" "$sdist" >"$log" 2>&1 || { tail -n 40 "$log"; exit 1; }
  if grep -iE "warning[: ]" "$log"; then
    echo "the build printed warnings" >&2
    exit 1
  fi
}

echo "== the sdist built on CPython 3.15"
. venv-3.15/bin/activate
build built
python -m zipfile -e built/provlink-*.whl built/unpacked
"$OLD_PYTHON" -c "import sys; sys.path.insert(0, 'built/unpacked'); import platform, provlink; print('built on 3.15 and loaded by', platform.python_version() + ':', provlink.__file__.split('/')[-1], provlink.format('/m.c2pa'))"

echo "== the abi3t module, built on CPython 3.15"
build abi3t -C cmake.define.PROVLINK_ABI3T=ON
# Built by a CPython with the GIL, it is tagged cp39-abi3; the tests read the
# module's kind from the tag, so it gets the free-threaded build's.
"${install[@]}" wheel
python -m wheel tags --python-tag cp315 --abi-tag abi3.abi3t --remove abi3t/*.whl >/dev/null
deactivate
python3.15 -m venv venv-abi3t
. venv-abi3t/bin/activate
"${install[@]}" "$(echo abi3t/*.whl)[test]"
module=$(python -c "import provlink; print(provlink.__file__)")
echo "$module exports: $(nm -D --defined-only "$module" | awk '{print $NF}' | tr '\n' ' ')"
[ "$(basename "$module")" = provlink.abi3t.so ]
[ "$(nm -D --defined-only "$module" | awk '{print $NF}')" = PyModExport_provlink ]
(cd src && python -m pytest -p no:cacheprovider)
EOF

mkdir -p "$root$old_prefix"
unshare --mount --propagation private bash -c \
  'mount -t proc proc "$1/proc" && mount --bind -o ro "$2" "$1$2" && exec chroot "$1" env -i "${@:3}" bash /provlink/run.sh' \
  bash "$root" "$old_prefix" "${passed[@]}"
[ -z "$out" ] || cp "$work"/abi3t/*.whl "$out/"
