"""Every path of every function, a few times over, for a run under valgrind.

The paths are those that tests/test_leaks.py runs many times, with the
resumed panic besides.
"""

import io
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests"))

import provlink  # noqa: E402
from test_leaks import PATHS, Raising, raises  # noqa: E402

PANIC = next(cls for cls in BaseException.__subclasses__() if cls.__name__ == "PanicException")
CALLS = [*PATHS.values(), raises(PANIC, provlink.extract, Raising(lambda: PANIC("boom")))]

sys.stderr = io.StringIO()  # each resumed panic prints a traceback
for _ in range(20):
    for call in CALLS:
        call()
sys.stderr = sys.__stderr__
print(f"ran {len(CALLS)} paths")
