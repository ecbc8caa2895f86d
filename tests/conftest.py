import importlib
import importlib.util
import os
import subprocess
import sys
import textwrap

import pytest

import provlink

# What only CPython offers to the tests (ctypes.pythonapi, _testcapi,
# sys.getallocatedblocks), or what only its own C API does to a module object.
cpython_only = pytest.mark.skipif(sys.implementation.name != "cpython", reason="CPython only")

# Memory figures come from Linux's /proc, which a chroot may not have mounted.
needs_proc = pytest.mark.skipif(
    not os.path.exists("/proc/self/statm"), reason="reads memory figures from /proc/self/statm, which is not there"
)


# The release workflow installs each test dependency from a wheel only, and
# a platform may have no wheel of one; the tests that need it skip there.
def not_installed(names):
    return f"not installed: {', '.join(names)} (a platform may have no wheel of it)"


def needs(*names):
    missing = [name for name in names if importlib.util.find_spec(name) is None]
    return pytest.mark.skipif(bool(missing), reason=not_installed(missing))


def import_if_installed(name):
    return importlib.import_module(name) if importlib.util.find_spec(name) else None


def hypothesis_or_skip():
    """hypothesis's `given` and `strategies`; without hypothesis, the calling module skips."""
    pytest.importorskip("hypothesis", reason=not_installed(["hypothesis"]))
    from hypothesis import given, strategies

    return given, strategies


@pytest.fixture(scope="session")
def panic_exception():
    """The internal-fault exception type; it is not importable, so find it among BaseException's subclasses."""
    provlink.format("x")  # the module exists, and with it the type
    found = [
        cls
        for cls in BaseException.__subclasses__()
        if cls.__module__ == "bindery_runtime" and cls.__name__ == "PanicException"
    ]
    assert len(found) == 1
    return found[0]


def run_python(code, **kwargs):
    """Runs `code` in a fresh interpreter, so that a crash fails one test instead of the run."""
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        timeout=120,
        **kwargs,
    )
