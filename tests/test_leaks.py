"""Every path of every function, run many times, leaves memory where it was."""

import ctypes
import gc
import os
import sys

import pytest

import provlink
from conftest import cpython_only, needs_proc

resource = pytest.importorskip("resource")

pytestmark = [
    pytest.mark.skipif(
        "asan" in os.environ.get("LD_PRELOAD", ""), reason="AddressSanitizer holds freed memory in quarantine"
    ),
    cpython_only,
    needs_proc,
]

RUNS = 100_000

# Long enough that a leaked copy of it shows in the resident memory.
HEADER = '<https://example.com/assets/2026/12/photo-with-a-long-name.css>; rel="preload"; as=style, ' * 4
MANIFEST = '<https://example.com/m.c2pa#jumbf=c2pa/urn:uuid:1>; rel="c2pa-manifest"'
OTHER = '<https://example.com/other.c2pa>; rel="c2pa-manifest"'
TARGET = "https://example.com/manifests/a photo with spaces and é.c2pa" * 4


def rss():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * resource.getpagesize()


def raises(error, function, *args, **kwargs):
    def call():
        try:
            function(*args, **kwargs)
        except error:
            return
        raise AssertionError(f"{function.__name__} did not raise {error.__name__}")

    return call


class Raising:
    """Raises a new exception made by `make_error` at its fourth item."""

    def __init__(self, make_error):
        self.make_error = make_error

    def __getitem__(self, index):
        if index == 3:
            raise self.make_error()
        return HEADER


def type_error_with_cause():
    error = TypeError("bad item")
    error.__cause__ = KeyError("k")
    return error


def call_with_keywords(function, kwargs):
    call = ctypes.pythonapi.PyObject_Call
    call.argtypes = [ctypes.py_object, ctypes.py_object, ctypes.py_object]
    call.restype = ctypes.py_object
    return call(function, (), kwargs)


PATHS = {
    "format": lambda: provlink.format(TARGET),
    "format_strict": lambda: provlink.format_strict("https://example.com/m.c2pa"),
    "encode_target": lambda: provlink.encode_target(TARGET),
    "extract found": lambda: provlink.extract([HEADER + MANIFEST, HEADER]),
    "extract none": lambda: provlink.extract([HEADER, HEADER]),
    "locate_all": lambda: provlink.locate_all([HEADER + MANIFEST, OTHER]),
    "keyword argument": lambda: provlink.extract(values=[MANIFEST]),
    "ValueError empty": raises(ValueError, provlink.format, ""),
    "ValueError strict": raises(ValueError, provlink.format_strict, TARGET),
    "ValueError ambiguous": raises(ValueError, provlink.extract, [HEADER + MANIFEST, OTHER]),
    "missing argument": raises(TypeError, provlink.format),
    "too many arguments": raises(TypeError, provlink.locate_all, [HEADER], [HEADER]),
    "unexpected keyword": raises(TypeError, provlink.encode_target, target=TARGET),
    "multiple values": raises(TypeError, provlink.format, TARGET, uri=TARGET),
    "non-str keyword": raises(TypeError, call_with_keywords, provlink.format, {1: TARGET}),
    "uri not a str": raises(TypeError, provlink.format, b"x"),
    "values a str": raises(TypeError, provlink.extract, HEADER),
    "values not a sequence": raises(TypeError, provlink.extract, {HEADER}),
    "item not a str": raises(TypeError, provlink.locate_all, [HEADER, HEADER, 3]),
    "lone surrogate uri": raises(UnicodeEncodeError, provlink.format, TARGET + "\ud800"),
    "lone surrogate item": raises(UnicodeEncodeError, provlink.extract, [HEADER, "\ud800"]),
    "iteration TypeError": raises(TypeError, provlink.extract, Raising(type_error_with_cause)),
    "iteration ValueError": raises(ValueError, provlink.locate_all, Raising(lambda: ValueError("x"))),
}


class Discard:
    def write(self, text):
        return len(text)

    def flush(self):
        pass


def assert_flat(call, runs):
    for _ in range(1000):
        call()
    # A leak grows the heap in every round; the interpreter's own caches
    # fill now and then, and may grow it in one.
    for _ in range(2):
        gc.collect()
        blocks, resident = sys.getallocatedblocks(), rss()
        for _ in range(runs):
            call()
        gc.collect()
        grown = sys.getallocatedblocks() - blocks, rss() - resident
        if grown[0] < 100 and grown[1] < 4 << 20:
            return
    pytest.fail(f"{runs} calls grew the heap by {grown[0]} blocks and {grown[1]} bytes in each of two rounds")


@pytest.mark.parametrize("path", PATHS)
def test_no_leak(path):
    assert_flat(PATHS[path], RUNS)


def test_no_leak_when_a_panic_is_resumed(panic_exception, monkeypatch):
    # Each resumed panic prints a notice and a traceback.
    monkeypatch.setattr(sys, "stderr", Discard())
    assert_flat(raises(panic_exception, provlink.extract, Raising(lambda: panic_exception("boom"))), RUNS // 10)
