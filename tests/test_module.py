import importlib
import importlib.metadata
import inspect
import pydoc
import sys

import pytest

import provlink
from conftest import cpython_only, module_kind, run_with_subinterpreters

FUNCTIONS = {
    "format": "uri",
    "format_strict": "uri",
    "encode_target": "uri",
    "extract": "values",
    "locate_all": "values",
}

ALL = ["format", "format_strict", "encode_target", "extract", "locate_all", "REL", "__version__"]

DOCS = {
    "format": (
        "Build a `Link` header value advertising `uri` as the C2PA Manifest Store.\n\n"
        "The target is percent-encoded, so any input yields a safe header: a CR/LF\n"
        "becomes `%0D%0A` and can no longer start a header of its own. Only an empty\n"
        "target raises."
    ),
    "format_strict": (
        "As `format`, but raises rather than repairing a target that is not already a\n"
        "valid URI reference.\n\n"
        "Use this when the target comes from configuration, where a silent `%20`\n"
        "would hide a typo until it surfaced as a 404."
    ),
    "encode_target": (
        "Percent-encode the bytes that cannot appear literally in a URI reference.\n\n"
        "Idempotent: `%` is left alone, so an already-encoded URI is not\n"
        "double-encoded."
    ),
    "extract": (
        "The single `c2pa-manifest` link across the given `Link` header values, or\n"
        "`None` when none is advertised.\n\n"
        "Accepts a list of header values, since a response may carry several `Link`\n"
        "fields and each may hold several comma-separated links. Returns a dict with\n"
        "`uri`, `jumbf`, and `is_embedded`.\n\n"
        "Raises `ValueError` when genuinely competing targets are advertised: the\n"
        "specification defines no precedence between them, so choosing one would\n"
        "invent a rule."
    ),
    "locate_all": "Every `c2pa-manifest` link across the given `Link` header values, in order.",
}


def test_module_attributes():
    assert provlink.__all__ == ALL
    assert provlink.REL == "c2pa-manifest"
    assert provlink.__version__ == "0.1.0"
    assert provlink.__version__ == importlib.metadata.version("provlink")
    assert not hasattr(provlink, "PanicException")


# PyPy's C API keeps neither the empty module doc nor the functions' __self__.
@cpython_only
def test_module_object():
    assert provlink.__doc__ == ""
    assert all(getattr(provlink, name).__self__ is provlink for name in FUNCTIONS)


@pytest.mark.parametrize("name", FUNCTIONS)
def test_function_objects(name):
    function = getattr(provlink, name)
    assert type(function).__name__ == "builtin_function_or_method"
    assert function.__name__ == name
    assert function.__module__ == "provlink"
    assert function.__text_signature__ == f"({FUNCTIONS[name]})"
    assert function.__doc__ == DOCS[name]
    (parameter,) = inspect.signature(function).parameters.values()
    assert parameter.name == FUNCTIONS[name]
    assert parameter.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD
    assert parameter.default is inspect.Parameter.empty


# PyPy makes a new module object from the one that initialisation returns.
@cpython_only
def test_reimport_returns_the_same_module():
    first = sys.modules.pop("provlink")
    try:
        first.__version__ = "changed by Python code"
        again = importlib.import_module("provlink")
        assert again is first
        assert again.__version__ == "changed by Python code"
        assert again.__all__ == ALL
    finally:
        first.__version__ = "0.1.0"
        sys.modules["provlink"] = first


@cpython_only
def test_second_interpreter_is_refused():
    result = run_with_subinterpreters(
        """
        import provlink
        run_in_subinterpreter('''
            try:
                import provlink
            except ImportError as error:
                print("ImportError:", error)
            else:
                print("imported")
        ''')
        print(provlink.format("still/works"))
        """
    )
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    assert lines[0].startswith("ImportError:") and "subinterpreters" in lines[0]
    assert lines[1] == '<still/works>; rel="c2pa-manifest"'


@cpython_only
@pytest.mark.parametrize("config", ["legacy", "isolated"])
def test_first_interpreter_to_import_keeps_the_module(config):
    result = run_with_subinterpreters(
        f"""
        run_in_subinterpreter('''
            try:
                import provlink
            except ImportError as error:
                print("ImportError:", error)
            else:
                print(provlink.format("sub/works"))
        ''', {config!r})
        try:
            import provlink
        except ImportError as error:
            print("ImportError:", error)
        else:
            print(provlink.format("main/works"))
        """
    )
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    if config == "legacy" and (sys.version_info < (3, 13) or module_kind() == "abi3t"):
        # The subinterpreter's import initialises the module: it is that
        # interpreter's, and the main interpreter is refused.
        assert lines == ['<sub/works>; rel="c2pa-manifest"', "ImportError: provlink does not yet support subinterpreters"]
    else:
        # An isolated subinterpreter takes no module that does not declare
        # itself fit for it, and from 3.13 on CPython initialises a module of
        # the old, single-phase kind in the main interpreter, whoever imports
        # it first: the subinterpreter is refused (by provlink, or by CPython
        # itself), and leaves the module to the main interpreter.
        assert lines[0].startswith("ImportError:") and "subinterpreters" in lines[0]
        assert lines[1:] == ['<main/works>; rel="c2pa-manifest"']


def test_panic_exception_type(panic_exception):
    assert panic_exception.__name__ == "PanicException"
    assert panic_exception.__qualname__ == "PanicException"
    assert panic_exception.__module__ == "bindery_runtime"
    assert panic_exception.__bases__ == (BaseException,)
    assert not issubclass(panic_exception, Exception)
    doc = panic_exception.__doc__
    assert doc.startswith("\n") and doc.count("\n\n") == 1
    assert doc.endswith(
        "\n\nLike SystemExit, this exception is derived from BaseException so that\n"
        "it will typically propagate all the way through the stack and cause the\n"
        "Python interpreter to exit.\n"
    )


@pytest.mark.parametrize("name", FUNCTIONS)
def test_help_shows_signature_and_doc(name):
    text = pydoc.render_doc(getattr(provlink, name), renderer=pydoc.plaintext)
    assert f"{name}({FUNCTIONS[name]})" in text
    assert DOCS[name].splitlines()[0] in text
