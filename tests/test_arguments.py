import ctypes

import pytest

import provlink

URI_FUNCTIONS = ["format", "format_strict", "encode_target"]


class Outer:
    class Inner:
        pass


class Text(str):
    pass


BINDING_ERRORS = [
    ((), {}, "{f}() missing 1 required positional argument: 'uri'"),
    ((), {**{}}, "{f}() missing 1 required positional argument: 'uri'"),
    (("a", "b"), {}, "{f}() takes 1 positional arguments but 2 were given"),
    (("a", "b", "c"), {}, "{f}() takes 1 positional arguments but 3 were given"),
    # the positional count is checked before any keyword
    (("a", "b"), {"bogus": 1}, "{f}() takes 1 positional arguments but 2 were given"),
    # an unknown keyword is reported before a missing argument
    ((), {"bogus": 1}, "{f}() got an unexpected keyword argument 'bogus'"),
    ((), {"URI": "x"}, "{f}() got an unexpected keyword argument 'URI'"),
    (("a",), {"uri": "b"}, "{f}() got multiple values for argument 'uri'"),
    # the first offending keyword in call order decides
    (("a",), {"uri": "b", "bogus": 1}, "{f}() got multiple values for argument 'uri'"),
    (("a",), {"bogus": 1, "uri": "b"}, "{f}() got an unexpected keyword argument 'bogus'"),
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


@pytest.mark.parametrize("name", URI_FUNCTIONS)
@pytest.mark.parametrize("args, kwargs, message", BINDING_ERRORS)
def test_binding_errors(name, args, kwargs, message):
    error = raised(lambda: getattr(provlink, name)(*args, **kwargs))
    assert type(error) is TypeError
    assert error.args == (message.format(f=name),)


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


def test_keyword_names_that_are_not_str():
    error = raised(lambda: call_with_keywords(provlink.format, {1: "x"}))
    assert type(error) is TypeError
    assert error.args == ("format() got an unexpected keyword argument '1'",)
    assert call_with_keywords(provlink.format, {"uri": "x"}) == provlink.format("x")


def test_unprintable_keyword_name(monkeypatch):
    seen = []
    monkeypatch.setattr("sys.unraisablehook", seen.append)
    key = Unprintable()
    error = raised(lambda: call_with_keywords(provlink.encode_target, {key: "x"}))
    assert error.args == ("encode_target() got an unexpected keyword argument '<unprintable Unprintable object>'",)
    assert len(seen) == 1 and seen[0].object is key and type(seen[0].exc_value) is RuntimeError
