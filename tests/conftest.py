import contextlib
import http.server
import importlib
import importlib.metadata
import importlib.util
import os
import subprocess
import sys
import textwrap
import threading

import pytest

import provlink

# What only CPython offers to the tests (ctypes.pythonapi, _testcapi,
# sys.getallocatedblocks), or what only its own C API does to a module object.
cpython_only = pytest.mark.skipif(sys.implementation.name != "cpython", reason="CPython only")

# Memory figures come from Linux's /proc, which macOS, Windows and a chroot
# may not have.
needs_proc = pytest.mark.skipif(
    not os.path.exists("/proc/self/statm"), reason="reads memory figures from /proc/self/statm, which is not there"
)


def needs_stdlib(*names):
    """Skips where the interpreter lacks one of these modules of the standard
    library: Windows has no POSIX-only ones (resource), and a CPython from
    NuGet none of the test-only ones (_testcapi)."""
    missing = [name for name in names if importlib.util.find_spec(name) is None]
    return pytest.mark.skipif(bool(missing), reason=f"this interpreter has no {', '.join(missing)}")


# The release workflow installs each test dependency from a wheel only, and
# a platform may have no wheel of one; the tests that need it skip there.
def not_installed(names):
    return f"not installed: {', '.join(names)} (a platform may have no wheel of it)"


def unimportable(name):
    """Why the package `name` cannot be imported here, or None when it can.
    An interpreter built without a module of the standard library (ssl, say)
    has it installed, but it does not import."""
    if importlib.util.find_spec(name) is None:
        return not_installed([name])
    try:
        importlib.import_module(name)
    except ImportError as error:
        return f"{name} cannot be imported here: {error}"
    return None


def needs(*names):
    reasons = [reason for reason in map(unimportable, names) if reason]
    return pytest.mark.skipif(bool(reasons), reason="; ".join(reasons))


def import_if_installed(name):
    return None if unimportable(name) else importlib.import_module(name)


def mypy_missing():
    if importlib.util.find_spec("mypy") is None:
        return "mypy is not installed (the test extra has it on CPython only)"
    # mypy keeps its cache with sqlite3, which an interpreter may be built without.
    return unimportable("sqlite3")


needs_mypy = pytest.mark.skipif(bool(mypy_missing()), reason=mypy_missing() or "")


def mypy_strict(path, cwd):
    """mypy --strict on one file, with the tests' interpreter."""
    command = [sys.executable, "-m", "mypy", "--strict", "--no-incremental", str(path)]
    return subprocess.run(command, capture_output=True, text=True, timeout=300, cwd=cwd)


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


def module_kind():
    """"abi3", "abi3t" or "version", as the installed wheel's tag says: the
    module's file name does not tell them apart everywhere (on Windows every
    kind is provlink.pyd)."""
    wheel = importlib.metadata.distribution("provlink").read_text("WHEEL") or ""
    tags = [line.split(":", 1)[1].strip() for line in wheel.splitlines() if line.startswith("Tag:")]
    abis = {abi for tag in tags for abi in tag.split("-")[1].split(".")}
    for kind in ("abi3t", "abi3"):
        if kind in abis:
            return kind
    return "version"


def run_python(code, **kwargs):
    """Runs `code` in a fresh interpreter, so that a crash fails one test instead of the run."""
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True,
        text=True,
        timeout=120,
        **kwargs,
    )


# Defines run_in_subinterpreter(code, config) in a child interpreter. A
# "legacy" subinterpreter is what an embedding application's
# Py_NewInterpreter makes: it shares the GIL and loads modules of every kind.
# An "isolated" one (CPython 3.12 and later) has a GIL of its own, and
# CPython refuses it the modules that do not declare themselves fit for it.
# Each CPython offers them through another module; _testcapi, which a CPython
# from NuGet (Windows) lacks, only where nothing else does. Where nothing
# does, the child prints NO_SUBINTERPRETERS and what it lacks.
NO_SUBINTERPRETERS = "no subinterpreters:"
SUBINTERPRETERS = f"""
import sys, textwrap

def run_in_subinterpreter(code, config="legacy"):
    code = textwrap.dedent(code)
    sys.stdout.flush()  # its output goes to the same file, after ours
    if sys.version_info >= (3, 14) and config == "isolated":
        from concurrent import interpreters
        interpreter = interpreters.create()
        try:
            interpreter.exec(code)
        finally:
            interpreter.close()
    elif sys.version_info >= (3, 13):
        import _interpreters
        interpreter = _interpreters.create(config)
        try:
            failure = _interpreters.exec(interpreter, code)
        finally:
            _interpreters.destroy(interpreter)
        if failure is not None:
            raise RuntimeError(failure)
    elif config == "isolated" and sys.version_info < (3, 12):
        sys.exit("{NO_SUBINTERPRETERS} isolated ones come with CPython 3.12")
    else:
        try:
            import _xxsubinterpreters as interpreters
        except ImportError:
            interpreters = None
        if interpreters is not None:
            options = {{"isolated": config == "isolated"}} if sys.version_info >= (3, 12) else {{}}
            interpreter = interpreters.create(**options)
            try:
                interpreters.run_string(interpreter, code)
            finally:
                interpreters.destroy(interpreter)
            return
        try:
            import _testcapi
        except ImportError:
            sys.exit("{NO_SUBINTERPRETERS} this CPython has neither _xxsubinterpreters nor _testcapi")
        if _testcapi.run_in_subinterp(code) != 0:
            raise RuntimeError("the subinterpreter's code raised")
"""


def run_with_subinterpreters(code):
    """Runs `code` in a fresh interpreter, with run_in_subinterpreter defined;
    skips where this interpreter cannot make subinterpreters."""
    result = run_python(SUBINTERPRETERS + textwrap.dedent(code))
    if result.stderr.startswith(NO_SUBINTERPRETERS):
        pytest.skip(result.stderr.strip())
    return result


@contextlib.contextmanager
def serving_link_fields(fields_by_path):
    """A server on loopback that answers each path with its Link fields, one
    header line each, and any other path with 404. Yields its base URL."""

    class LinkFields(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            fields = fields_by_path.get(self.path)
            self.send_response(200 if fields is not None else 404)
            for field in fields or []:
                self.send_header("Link", field)
            self.send_header("Content-Length", "0")
            self.end_headers()

        def log_message(self, *args):
            pass

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), LinkFields)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    try:
        yield f"http://127.0.0.1:{server.server_port}"
    finally:
        server.shutdown()
        server.server_close()
