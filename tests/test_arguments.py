import collections
import ctypes
import signal

import pytest

import provlink
from conftest import cpython_only, run_python

URI_FUNCTIONS = ["format", "format_strict", "encode_target"]
VALUES_FUNCTIONS = ["extract", "locate_all"]
PARAMETER = {**dict.fromkeys(URI_FUNCTIONS, "uri"), **dict.fromkeys(VALUES_FUNCTIONS, "values")}


class Outer:
    class Inner:
        pass


class Text(str):
    pass


# Keyword names are written with {p} for the function's parameter name.
BINDING_ERRORS = [
    ((), {}, "{f}() missing 1 required positional argument: '{p}'"),
    ((), {**{}}, "{f}() missing 1 required positional argument: '{p}'"),
    (("a", "b"), {}, "{f}() takes 1 positional arguments but 2 were given"),
    (("a", "b", "c"), {}, "{f}() takes 1 positional arguments but 3 were given"),
    # the positional count is checked before any keyword
    (("a", "b"), {"bogus": 1}, "{f}() takes 1 positional arguments but 2 were given"),
    # an unknown keyword is reported before a missing argument
    ((), {"bogus": 1}, "{f}() got an unexpected keyword argument 'bogus'"),
    ((), {"target": "x"}, "{f}() got an unexpected keyword argument 'target'"),
    ((), {"{P}": "x"}, "{f}() got an unexpected keyword argument '{P}'"),
    (("a",), {"{p}": "b"}, "{f}() got multiple values for argument '{p}'"),
    # the first offending keyword in call order decides
    (("a",), {"{p}": "b", "bogus": 1}, "{f}() got multiple values for argument '{p}'"),
    (("a",), {"bogus": 1, "{p}": "b"}, "{f}() got an unexpected keyword argument 'bogus'"),
    # a keyword that cannot be encoded never matches, and shows as U+FFFD
    ((), {"\ud800": "x"}, "{f}() got an unexpected keyword argument '\ufffd\ufffd\ufffd'"),
]

CONVERSION_ERRORS = [
    (1, "'int' object cannot be converted to 'PyString'"),
    (b"x", "'bytes' object cannot be converted to 'PyString'"),
    (None, "'NoneType' object cannot be converted to 'PyString'"),
    (["x"], "'list' object cannot be converted to 'PyString'"),
    (Outer.Inner(), "'Outer.Inner' object cannot be converted to 'PyString'"),
]


def raised(call):
    with pytest.raises(BaseException) as info:
        call()
    return info.value


@pytest.mark.parametrize("name", URI_FUNCTIONS + VALUES_FUNCTIONS)
@pytest.mark.parametrize("args, kwargs, message", BINDING_ERRORS)
def test_binding_errors(name, args, kwargs, message):
    names = {"f": name, "p": PARAMETER[name], "P": PARAMETER[name].upper()}
    kwargs = {key.format(**names): value for key, value in kwargs.items()}
    error = raised(lambda: getattr(provlink, name)(*args, **kwargs))
    assert type(error) is TypeError
    assert error.args == (message.format(**names),)


@pytest.mark.parametrize("name", URI_FUNCTIONS)
@pytest.mark.parametrize("value, message", CONVERSION_ERRORS)
def test_conversion_errors(name, value, message):
    error = raised(lambda: getattr(provlink, name)(value))
    assert type(error) is TypeError
    assert error.args == ("argument 'uri': " + message,)
    assert error.__cause__ is None and error.__suppress_context__
    # the keyword form converts the same way
    assert raised(lambda: getattr(provlink, name)(uri=value)).args == error.args


@pytest.mark.parametrize("name", URI_FUNCTIONS)
def test_keyword_and_position_agree(name):
    function = getattr(provlink, name)
    assert function(uri="a/b%20c") == function("a/b%20c") == function(Text("a/b%20c"))
    assert type(function(Text("ab"))) is str


@pytest.mark.parametrize("name", URI_FUNCTIONS)
def test_lone_surrogate_is_the_interpreters_error(name):
    error = raised(lambda: getattr(provlink, name)("a\ud800"))
    assert type(error) is UnicodeEncodeError
    assert error.reason == "surrogates not allowed"
    assert "argument" not in str(error)


def call_with_keywords(function, kwargs):
    """A call whose keyword dict Python syntax could not build."""
    call = ctypes.pythonapi.PyObject_Call
    call.argtypes = [ctypes.py_object, ctypes.py_object, ctypes.py_object]
    call.restype = ctypes.py_object
    return call(function, (), kwargs)


class Unprintable:
    def __str__(self):
        raise RuntimeError("no text")


@cpython_only
def test_keyword_names_that_are_not_str():
    error = raised(lambda: call_with_keywords(provlink.format, {1: "x"}))
    assert type(error) is TypeError
    assert error.args == ("format() got an unexpected keyword argument '1'",)
    assert call_with_keywords(provlink.format, {"uri": "x"}) == provlink.format("x")


@cpython_only
def test_unprintable_keyword_name(monkeypatch):
    seen = []
    monkeypatch.setattr("sys.unraisablehook", seen.append)
    key = Unprintable()
    error = raised(lambda: call_with_keywords(provlink.encode_target, {key: "x"}))
    assert error.args == ("encode_target() got an unexpected keyword argument '<unprintable Unprintable object>'",)
    assert len(seen) == 1 and seen[0].object is key and type(seen[0].exc_value) is RuntimeError


class Items:
    """A sequence by item access only; records which indexes were asked for."""

    def __init__(self, items):
        self.items = items
        self.asked = []

    def __getitem__(self, index):
        self.asked.append(index)
        return self.items[index]


class LenRaises(Items):
    def __len__(self):
        raise RuntimeError("no length")


class Raising:
    """A sequence whose iteration raises `error` at the item `at`."""

    def __init__(self, error, at=0):
        self.error = error
        self.at = at

    def __len__(self):
        return self.at + 1

    def __getitem__(self, index):
        if index == self.at:
            raise self.error
        return "<x>; rel=next"


class TypeErrorSubclass(TypeError):
    pass


class Keyed(list):
    """A list that dict() would take for a mapping, as it has `keys`."""

    def keys(self):
        return range(len(self))


VALUES_CONVERSION_ERRORS = [
    ("x", "Can't extract `str` to `Vec`"),
    (Text("x"), "Can't extract `str` to `Vec`"),
    (1, "'int' object cannot be converted to 'Sequence'"),
    (None, "'NoneType' object cannot be converted to 'Sequence'"),
    ({"a": 1}, "'dict' object cannot be converted to 'Sequence'"),
    ({"a"}, "'set' object cannot be converted to 'Sequence'"),
    ((v for v in ["a"]), "'generator' object cannot be converted to 'Sequence'"),
    # a mapping written in Python takes an index as a key, and iterates over
    # its keys: the names of the fields, not their values
    (collections.UserDict({"Link": "<m.c2pa>; rel=c2pa-manifest"}), "'UserDict' object cannot be converted to 'Sequence'"),
    (Keyed(["<m.c2pa>; rel=c2pa-manifest"]), "'Keyed' object cannot be converted to 'Sequence'"),
    (["a", 2], "'int' object cannot be converted to 'PyString'"),
    (["a", b"b"], "'bytes' object cannot be converted to 'PyString'"),
    (b"x", "'int' object cannot be converted to 'PyString'"),
]


@pytest.mark.parametrize("name", VALUES_FUNCTIONS)
@pytest.mark.parametrize("values, message", VALUES_CONVERSION_ERRORS)
def test_values_conversion_errors(name, values, message):
    error = raised(lambda: getattr(provlink, name)(values))
    assert type(error) is TypeError
    assert error.args == ("argument 'values': " + message,)


MANIFEST = {"uri": "m.c2pa", "jumbf": None, "is_embedded": False}


@pytest.mark.parametrize(
    "values, expected",
    [
        ([], []),
        ((), []),
        (b"", []),
        (range(0), []),
        (["<x>; rel=next", "<m.c2pa>; rel=c2pa-manifest"], [MANIFEST]),
        (("<x>; rel=next", Text("<m.c2pa>; rel=c2pa-manifest")), [MANIFEST]),
        (Items(["<m.c2pa>; rel=c2pa-manifest", "<m.c2pa>; rel=c2pa-manifest"]), [MANIFEST, MANIFEST]),
        (LenRaises(["<x>; rel=next", "<m.c2pa>; rel=c2pa-manifest"]), [MANIFEST]),
    ],
)
def test_accepted_sequences(values, expected):
    assert provlink.locate_all(values) == expected
    assert provlink.locate_all(values=values) == expected


class KeysRaises(Items):
    """A sequence whose `keys` lookup raises what `error` is."""

    def __init__(self, items, error):
        super().__init__(items)
        self.error = error

    def __getattr__(self, name):
        if name == "keys":
            raise self.error
        raise AttributeError(name)


@pytest.mark.parametrize("error", [ValueError("x"), KeyboardInterrupt()], ids=type)
def test_error_from_keys_lookup_reaches_the_caller(error):
    values = KeysRaises(["<m.c2pa>; rel=c2pa-manifest"], error)
    assert raised(lambda: provlink.extract(values)) is error
    assert values.asked == []


class LenFails(Items):
    """A sequence by item access whose __len__ raises what `fail` raises."""

    def __init__(self, items, fail):
        super().__init__(items)
        self.fail = fail

    def __len__(self):
        self.fail()
        return len(self.items)


class DirectBaseException(BaseException):
    pass


def raise_(error):
    def fail():
        raise error

    return fail


@pytest.mark.parametrize("name", VALUES_FUNCTIONS)
@pytest.mark.parametrize(
    "error", [RuntimeError("x"), TypeError("x"), ValueError("x"), OverflowError("x"), MemoryError()]
)
def test_ordinary_error_from_len_is_dropped(name, error):
    values = LenFails(["<x>; rel=next", "<m.c2pa>; rel=c2pa-manifest"], raise_(error))
    result = getattr(provlink, name)(values)
    assert result == (MANIFEST if name == "extract" else [MANIFEST])
    assert values.asked == [0, 1, 2]


@pytest.mark.parametrize("name", VALUES_FUNCTIONS)
@pytest.mark.parametrize(
    "error", [KeyboardInterrupt(), SystemExit(3), GeneratorExit(), DirectBaseException("x")], ids=type
)
def test_interrupt_from_len_reaches_the_caller(name, error):
    values = LenFails(["<m.c2pa>; rel=c2pa-manifest"], raise_(error))
    assert raised(lambda: getattr(provlink, name)(values)) is error
    assert values.asked == []


@pytest.mark.parametrize("name", VALUES_FUNCTIONS)
def test_sigint_during_len_reaches_the_caller(name):
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    try:
        values = LenFails(["<m.c2pa>; rel=c2pa-manifest"], lambda: signal.raise_signal(signal.SIGINT))
        assert type(raised(lambda: getattr(provlink, name)(values))) is KeyboardInterrupt
        assert values.asked == []
    finally:
        signal.signal(signal.SIGINT, previous)


def test_first_bad_item_ends_the_conversion():
    values = Items(["<m.c2pa>; rel=c2pa-manifest", 2, "<n.c2pa>; rel=c2pa-manifest"])
    error = raised(lambda: provlink.locate_all(values))
    assert error.args == ("argument 'values': 'int' object cannot be converted to 'PyString'",)
    assert values.asked == [0, 1]


@pytest.mark.parametrize("name", VALUES_FUNCTIONS)
def test_lone_surrogate_in_an_item(name):
    error = raised(lambda: getattr(provlink, name)(["<m.c2pa>; rel=c2pa-manifest", "\udc00"]))
    assert type(error) is UnicodeEncodeError


@pytest.mark.parametrize("at", [0, 1000])
def test_iteration_type_error_gets_the_prefix(at):
    cause = KeyError("k")
    original = TypeError("x")
    original.__cause__ = cause
    error = raised(lambda: provlink.extract(Raising(original, at)))
    assert type(error) is TypeError and error is not original
    assert error.args == ("argument 'values': x",)
    assert error.__cause__ is cause and error.__suppress_context__


@pytest.mark.parametrize("original", [TypeErrorSubclass("x"), ValueError("x"), KeyboardInterrupt()])
def test_other_iteration_errors_pass_unchanged(original):
    assert raised(lambda: provlink.locate_all(Raising(original))) is original


def test_panic_from_iteration_is_resumed(panic_exception, capsys):
    original = panic_exception("boom")
    error = raised(lambda: provlink.extract(Raising(original, at=2)))
    assert type(error) is panic_exception and error is not original
    assert error.args == ("boom",)
    try:
        provlink.extract(Raising(original))
    except Exception:
        caught_by = "Exception"
    except BaseException:
        caught_by = "BaseException"
    assert caught_by == "BaseException"
    err = capsys.readouterr().err.splitlines()
    assert err[1] == "Python stack trace below:"
    assert "PanicException" in err[0]
    assert err[-1] == "bindery_runtime.PanicException: boom"


@pytest.mark.parametrize("length", ["2**62", "sys.maxsize", "sys.maxsize + 1", "-1"])
def test_reported_length_is_only_a_hint(length):
    result = run_python(
        f"""
        import sys, provlink

        class Lying:
            def __len__(self):
                return {length}
            def __getitem__(self, index):
                return ["<a>; rel=next", "<m.c2pa>; rel=c2pa-manifest", "<m.c2pa>; rel=c2pa-manifest"][index]

        print(provlink.extract(Lying())["uri"], len(provlink.locate_all(Lying())))
        """
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout == "m.c2pa 2\n"
