"""Makes this interpreter lack what another runner's does: the modules below
cannot be found, as where they do not exist. A CPython from NuGet (the
release workflow's Windows runners) has none of CPython's test-only modules,
and Windows none of the POSIX-only ones. Every interpreter started with this
directory on PYTHONPATH runs it: child processes, and subinterpreters, which
import site too.
"""

import sys

TEST_ONLY = {
    "_ctypes_test",
    "_testbuffer",
    "_testcapi",
    "_testclinic",
    "_testclinic_limited",
    "_testconsole",
    "_testexternalinspection",
    "_testimportmultiple",
    "_testinternalcapi",
    "_testlimitedcapi",
    "_testmultiphase",
    "_testsinglephase",
    "_xxtestfuzz",
    "test",
    "xxlimited",
    "xxlimited_35",
    "xxsubtype",
}
POSIX_ONLY = {"fcntl", "grp", "pwd", "resource", "syslog", "termios"}
MISSING = TEST_ONLY | POSIX_ONLY


class Without:
    """A finder that finds what `finder` does, but for the missing modules."""

    def __init__(self, finder):
        self.finder = finder

    def find_spec(self, name, path=None, target=None):
        if name.partition(".")[0] in MISSING:
            return None
        return self.finder.find_spec(name, path, target)

    def __getattr__(self, name):
        return getattr(self.finder, name)


for name in MISSING & sys.modules.keys():
    del sys.modules[name]
sys.meta_path[:] = [Without(finder) for finder in sys.meta_path]
