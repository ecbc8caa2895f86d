#!/usr/bin/env bash
# Runs every path of every function under valgrind's memcheck, with the
# interpreter's own allocator off so that memcheck sees each object, and fails
# on any error or definite leak whose stack passes through the module. (The
# interpreter itself shows some uninitialised-value reports under memcheck.)
#   scripts/valgrind.sh PYTHON LOG     PYTHON: an interpreter that imports provlink
. "$(dirname "$0")/common.sh"
python=$(cd "$caller" && "$1" -c "import sys; print(sys.executable)")
log=$(from_caller "$2")
mkdir -p "$(dirname "$log")"
PYTHONMALLOC=malloc valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite \
  --num-callers=40 --log-file="$log" "$python" scripts/valgrind-paths.py
grep -E "ERROR SUMMARY|definitely lost:" "$log"
"$python" - "$log" <<'PY'
import re, sys
text = open(sys.argv[1]).read()
records = re.split(r"^==\d+== \n", text, flags=re.M)
ours = [r for r in records if "provlink" in r and ("Invalid" in r or "uninitialised" in r or "definitely lost in" in r)]
print(f"reports passing through provlink: {len(ours)}")
for record in ours:
    print(record)
sys.exit(1 if ours else 0)
PY
