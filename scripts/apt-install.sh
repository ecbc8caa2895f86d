#!/usr/bin/env bash
# Installs the given Debian packages, unless they all are already.
#   scripts/apt-install.sh PACKAGE...
set -euo pipefail
installed=$(dpkg-query -W -f='${Status}\n' "$@" 2>/dev/null | grep -c "ok installed" || true)
[ "$installed" -eq "$#" ] && exit 0
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "$@" >/dev/null
