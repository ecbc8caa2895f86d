import os
import string

import pytest

from provlink import encode_target, format, format_strict
from conftest import needs_proc, needs_stdlib, run_python

# RFC 3986 unreserved characters, general delimiters and sub-delimiters, plus "%".
LITERAL = set(string.ascii_letters + string.digits + "-._~" + ":/?#[]@" + "!$&'()*+,;=" + "%")

EMPTY = "malformed Link header: target URI is empty"
NEEDS_ENCODING = "malformed Link header: target URI contains characters that a URI must percent-encode"


def test_literal_set_is_the_rfc_3986_one():
    assert len(LITERAL) == 85
    for code in range(128):
        char = chr(code)
        expected = char if char in LITERAL else f"%{code:02X}"
        assert encode_target(char) == expected, repr(char)


@pytest.mark.parametrize(
    "uri, encoded",
    [
        ("", ""),
        ("a b", "a%20b"),
        ("a\r\nb", "a%0D%0Ab"),
        ("\x00\x7f", "%00%7F"),
        ('"<>\\^`{|}', "%22%3C%3E%5C%5E%60%7B%7C%7D"),
        ("[]@!$'()*;=~%", "[]@!$'()*;=~%"),
        ("é", "%C3%A9"),
        ("€", "%E2%82%AC"),
        ("😀", "%F0%9F%98%80"),
        # an existing escape is copied as it is, whatever its case or form
        ("%c3%a9 %zz %", "%c3%a9%20%zz%20%"),
        ("https://example.com/a b?q=1#jumbf=c2pa", "https://example.com/a%20b?q=1#jumbf=c2pa"),
    ],
)
def test_encode_target(uri, encoded):
    assert encode_target(uri) == encoded


@pytest.mark.parametrize(
    "uri, value",
    [
        ("manifests/a b.c2pa", '<manifests/a%20b.c2pa>; rel="c2pa-manifest"'),
        ("m.c2pa\r\nSet-Cookie: x=1", '<m.c2pa%0D%0ASet-Cookie:%20x=1>; rel="c2pa-manifest"'),
        ('x"; rel="other', '<x%22;%20rel=%22other>; rel="c2pa-manifest"'),
        ("a%20b", '<a%20b>; rel="c2pa-manifest"'),
    ],
)
def test_format(uri, value):
    assert format(uri) == value


@pytest.mark.parametrize(
    "uri", ["https://example.com/m.c2pa", "m.c2pa#jumbf=c2pa", "%", "50%", "%zz", "a%20b", "[::1]:8080/~x"]
)
def test_format_strict_accepts_literal_targets(uri):
    assert format_strict(uri) == format(uri) == f'<{uri}>; rel="c2pa-manifest"'


@pytest.mark.parametrize("uri", ["a b", "é", "x\r\n", "\x00", "\x7f", '"', "<", ">", "\\", "^", "`", "{", "|", "}"])
def test_format_strict_refuses_what_needs_encoding(uri):
    with pytest.raises(ValueError) as info:
        format_strict(uri)
    assert info.value.args == (NEEDS_ENCODING,)


@pytest.mark.parametrize("function", [format, format_strict])
def test_empty_target_is_refused(function):
    with pytest.raises(ValueError) as info:
        function("")
    assert type(info.value) is ValueError
    assert info.value.args == (EMPTY,)
    assert str(info.value) == EMPTY


@pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""), reason="AddressSanitizer reserves the address space")
@needs_proc
@needs_stdlib("resource")
def test_memory_exhaustion_raises_memory_error():
    # The encoded copy of 64 MiB of spaces needs 192 MiB, more than the
    # address space left to the process. Whether the limit binds is asked of
    # the C library's malloc, which the module's own allocations use: a
    # free-threaded CPython allocates objects from address space it reserved
    # at start.
    result = run_python(
        """
        import ctypes, resource, provlink
        target = " " * (64 << 20)
        with open("/proc/self/statm") as statm:
            pages = int(statm.read().split()[0])
        used = pages * resource.getpagesize()
        resource.setrlimit(resource.RLIMIT_AS, (used + (160 << 20), resource.RLIM_INFINITY))
        malloc = ctypes.CDLL(None).malloc
        malloc.restype = ctypes.c_void_p
        if malloc(256 << 20):
            raise SystemExit("the limit is not enforced")
        try:
            provlink.encode_target(target)
        except MemoryError:
            print("MemoryError")
        print(provlink.encode_target("still works"))
        """
    )
    if result.stderr.strip() == "the limit is not enforced":
        pytest.skip("RLIMIT_AS does not bind malloc here (qemu-user, for one, ignores it)")
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines() == ["MemoryError", "still%20works"]
