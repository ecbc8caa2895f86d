#!/usr/bin/env bash
# Fails unless the directory DIST holds exactly the files of a release of
# the project's version, as .github/release-files.txt lists them. The
# release workflow runs it before it uploads anything, on a runner that has
# none of the project's tools: the one script that needs none.
#   scripts/release-files.sh DIST
set -euo pipefail
dist=$(realpath "$1")
cd "$(dirname "$0")/.."
version=$(python3 -c "import tomllib; print(tomllib.load(open('pyproject.toml', 'rb'))['project']['version'])")
expected=$(grep -v '^#' .github/release-files.txt | sed "s/{version}/$version/" | sort)
held=$(cd "$dist" && ls | sort)
if [ "$expected" != "$held" ]; then
  echo "the files are not those of release $version (< expected, > held):" >&2
  diff <(echo "$expected") <(echo "$held") >&2 || true
  exit 1
fi
echo "the $(wc -l <<<"$held") files of release $version, no more and no fewer"
