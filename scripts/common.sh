# What every script of the project begins with, sourced as
#   . "$(dirname "$0")/common.sh"       (from scripts/; bench/ and .ci/ name
#                                        ../scripts/common.sh)
# Strict mode; the repository's root as the working directory, with the
# caller's in `caller` (`from_caller` resolves a path argument against it);
# the cache, `cache`; the project's version, `version`; and the project's own
# tools (scripts/tools.txt) first on PATH, in a virtual environment in the
# cache, made anew when the list changes, so that `python`, `cmake`, `ninja`
# and the rest are the project's, whatever the machine has, and nothing is
# installed into the machine's interpreters.
#
# Every script takes its inputs as arguments, the directory it builds in
# first where it builds; its first lines say which.

set -euo pipefail
caller=$PWD
cd "$(dirname "${BASH_SOURCE[0]}")/.."
cache=${PROVLINK_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/provlink}
version=$(sed -n 's/^version = "\(.*\)"$/\1/p' pyproject.toml)

# A path given on the command line, as an absolute path.
from_caller() {
  (cd "$caller" && realpath -m -- "$1")
}

# Installs the given Debian packages, unless they all are already; one
# script at a time, as CI builds CPythons beside its other steps.
apt_install() {
  local installed
  installed=$(dpkg-query -W -f='${Status}\n' "$@" 2>/dev/null | grep -c "ok installed" || true)
  [ "$installed" -eq "$#" ] && return 0
  mkdir -p "$cache"
  (
    flock 9
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null
  ) 9>"$cache/apt.lock"
}

# The Debian archive this machine's apt uses, as its sources name it: the
# URI of the entry for the release the machine runs (not its -security or
# -updates suites), in deb822 (.sources) or one-line (sources.list) form.
debian_mirror() {
  local release
  release=$(. /etc/os-release && echo "$VERSION_CODENAME")
  python3 - "$release" /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list <<'PYTHON'
import pathlib, re, sys

release, *files = sys.argv[1:]
for path in map(pathlib.Path, files):
    if not path.is_file():
        continue
    text = path.read_text()
    if path.suffix == ".sources":
        for stanza in text.split("\n\n"):
            fields = {}
            for line in stanza.splitlines():
                if ":" in line and not line.startswith(("#", " ")):
                    name, value = line.split(":", 1)
                    fields[name.strip().lower()] = value.split()
            enabled = fields.get("enabled", ["yes"]) != ["no"]
            if enabled and "deb" in fields.get("types", []) and release in fields.get("suites", []) and fields.get("uris"):
                print(fields["uris"][0].rstrip("/"))
                sys.exit()
    else:
        for line in text.splitlines():
            words = re.sub(r"\[[^]]*\]", " ", line.split("#", 1)[0]).split()
            if len(words) >= 3 and words[0] == "deb" and words[2] == release:
                print(words[1].rstrip("/"))
                sys.exit()
sys.exit("no Debian archive for " + release + " in apt's sources")
PYTHON
}

# Commands that run zig's compiler, archiver and indexer for TARGET, in the
# form CMake wants (one executable each), made in DIR/TARGET, which it prints.
# zig builds libc++ and the C library once a target, into the cache.
zig_tools() {
  local target=$1 tool
  mkdir -p "$2/$target"
  for tool in c++ ar ranlib; do
    printf '#!/bin/sh\nZIG_GLOBAL_CACHE_DIR="%s" exec "%s" -m ziglang %s %s "$@"\n' "$cache/zig" "$(command -v python)" "$tool" \
      "$([ "$tool" = c++ ] && echo "-target $target")" >"$2/$target/$tool"
    chmod +x "$2/$target/$tool"
  done
  echo "$2/$target"
}

tools=$cache/tools-$(sha256sum scripts/tools.txt | cut -c1-12)
if [ ! -e "$tools/.made" ]; then
  # The scripts read pyproject.toml with tomllib: Python 3.11 or later.
  rm -rf "$tools"
  mkdir -p "$cache"
  "${PROVLINK_TOOLS_PYTHON:-$(pyenv prefix "$(pyenv latest 3.13)")/bin/python3}" -m venv "$tools"
  "$tools/bin/python" -m pip install --quiet --upgrade pip >&2
  "$tools/bin/python" -m pip install --quiet -r scripts/tools.txt >&2
  touch "$tools/.made"
fi
PATH=$tools/bin:$PATH
export PATH
