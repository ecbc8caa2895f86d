"""Properties of writing, over generated targets."""

from provlink import encode_target, format, format_strict
from conftest import hypothesis_or_skip
from test_construction import LITERAL

given, st = hypothesis_or_skip()


@given(st.text())
def test_encode_target_is_idempotent_and_literal(uri):
    encoded = encode_target(uri)
    assert encode_target(encoded) == encoded
    assert set(encoded) <= LITERAL
    assert len(encoded) == len(uri.encode()) + 2 * sum(1 for b in uri.encode() if chr(b) not in LITERAL)


@given(st.text(alphabet=sorted(LITERAL)))
def test_encode_target_keeps_literal_text(uri):
    assert encode_target(uri) == uri


@given(st.text(min_size=1))
def test_format_value_is_a_safe_header(uri):
    value = format(uri)
    assert value.isascii()
    assert "\r" not in value and "\n" not in value
    assert value.startswith("<") and value.endswith('>; rel="c2pa-manifest"')
    target = value[1 : -len('>; rel="c2pa-manifest"')]
    assert target == encode_target(uri)
    assert not set(target) & set(' "<>')


@given(st.text(alphabet=st.sampled_from(sorted(LITERAL) + [" ", "é", "\n", "<"])))
def test_format_strict_agrees_with_format(uri):
    try:
        strict = format_strict(uri)
    except ValueError:
        assert uri == "" or encode_target(uri) != uri
    else:
        assert strict == format(uri) and encode_target(uri) == uri
