"""Every path of every function, a few times over, for a run under valgrind."""

import ctypes
import io
import sys

import provlink

PANIC = next(cls for cls in BaseException.__subclasses__() if cls.__name__ == "PanicException")
HEADER = '<https://example.com/a.css>; rel="preload"; as=style, <m.c2pa#jumbf=c2pa/x>; rel="c2pa-manifest"'


class Raising:
    def __init__(self, make_error):
        self.make_error = make_error

    def __getitem__(self, index):
        if index == 2:
            raise self.make_error()
        return HEADER


def with_keywords(function, kwargs):
    call = ctypes.pythonapi.PyObject_Call
    call.argtypes = [ctypes.py_object, ctypes.py_object, ctypes.py_object]
    call.restype = ctypes.py_object
    return call(function, (), kwargs)


CALLS = [
    lambda: provlink.format("a b/é\r\n"),
    lambda: provlink.format_strict("https://example.com/m.c2pa"),
    lambda: provlink.encode_target(uri="é" * 100),
    lambda: provlink.extract([HEADER, HEADER]),
    lambda: provlink.extract(["<a>; rel=next"]),
    lambda: provlink.locate_all(values=(HEADER, "<x.c2pa>; rel=c2pa-manifest")),
    lambda: provlink.format(""),
    lambda: provlink.format_strict("a b"),
    lambda: provlink.extract([HEADER, "<x.c2pa>; rel=c2pa-manifest"]),
    lambda: provlink.format(),
    lambda: provlink.format("a", "b"),
    lambda: provlink.format("a", uri="b"),
    lambda: provlink.encode_target(target="a"),
    lambda: with_keywords(provlink.format, {1: "x"}),
    lambda: provlink.format(1),
    lambda: provlink.extract("x"),
    lambda: provlink.extract({"x"}),
    lambda: provlink.locate_all(["x", 2]),
    lambda: provlink.format("\ud800"),
    lambda: provlink.locate_all(["\ud800"]),
    lambda: provlink.extract(Raising(lambda: TypeError("x"))),
    lambda: provlink.extract(Raising(lambda: ValueError("x"))),
    lambda: provlink.extract(Raising(lambda: PANIC("boom"))),
]

sys.stderr = io.StringIO()  # each resumed panic prints a traceback
for _ in range(20):
    for call in CALLS:
        try:
            call()
        except BaseException:
            pass
sys.stderr = sys.__stderr__
print(f"ran {len(CALLS)} paths")
