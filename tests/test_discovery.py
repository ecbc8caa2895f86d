import json
import pathlib

import pytest

from provlink import encode_target, extract, format, locate_all

CORPUS = pathlib.Path(__file__).parent.parent / "corpus" / "real-link-headers.jsonl"
AMBIGUOUS = "more than one c2pa-manifest target was advertised"

M = ("m.c2pa", None)

# (header values, the (uri, jumbf) of every manifest link they advertise)
LOCATE_CASES = [
    ([], []),
    (["", "   ", ","], []),
    (['<m.c2pa>; rel="c2pa-manifest"'], [M]),
    (["<m.c2pa>;rel=c2pa-manifest"], [M]),
    (["< m.c2pa >; REL=C2PA-Manifest"], [M]),
    # a value as format writes it, and the near misses that are read otherwise
    (['< m.c2pa >; rel="c2pa-manifest"', '<m.c2pa>; rel="C2PA-manifest"', '<m.c2pa>; rel="c2pa-manifest" '], [M, M, M]),
    (['<a"b.c2pa>; rel="c2pa-manifest"', "<a>b.c2pa>; rel=c2pa-manifest"], [('a"b.c2pa', None), ("a", None)]),
    (['<m.c2pa>; rel="c2pa-manifest, <n.c2pa>; rel="c2pa-manifest"', "<>; rel=c2pa-manifest"], []),
    (['<m.c2pa>; rel="c2pa-manifest', '<m.c2pa>; rel=c2pa-manifest"'], []),
    # relation lists
    (["<m.c2pa>; rel=alternate c2pa-manifest"], [M]),
    (['<m.c2pa>; rel="alternate\tc2pa-manifest\r\nnext"'], [M]),
    (["<m.c2pa>; rel=c2pa-manifests", "<m.c2pa>; rel=c2pa-manifest-x", "<m.c2pa>; rel=xc2pa-manifest"], []),
    (['<m.c2pa>; rel="alternate\x0bc2pa-manifest"'], []),  # U+000B separates nothing
    (['<m.c2pa>; rel="alternate\u00a0c2pa-manifest"'], []),  # nor does a non-ASCII space
    (["<m.c2pa>; rel=C2PA-MANİFEST"], []),  # only A to Z fold
    (['<m.c2pa>; rel="c2pa\\-manifest"'], [M]),  # escapes are resolved inside quotes only
    (["<m.c2pa>; rel=c2pa\\-manifest"], []),
    # only the first rel parameter counts
    (["<m.c2pa>; rel=alternate; rel=c2pa-manifest"], []),
    (["<m.c2pa>; rel; rel=c2pa-manifest"], []),
    (["<m.c2pa>; rel=c2pa-manifest; rel=alternate"], [M]),
    (["<m.c2pa>; =x; anchor=#a; Rel = c2pa-manifest"], [M]),
    # the text before the first semicolon is a parameter; the text before the target is ignored
    (["<m.c2pa> rel=c2pa-manifest"], [M]),
    (["junk <m.c2pa>; rel=c2pa-manifest"], [M]),
    # no target
    (["m.c2pa; rel=c2pa-manifest", "<m.c2pa; rel=c2pa-manifest", "<  >; rel=c2pa-manifest"], []),
    # commas inside angle brackets and quoted strings do not split
    (["<m,1.c2pa>; rel=c2pa-manifest"], [("m,1.c2pa", None)]),
    (['<x.c2pa>; title="a, b"; rel=c2pa-manifest, <y.c2pa>; rel=c2pa-manifest'], [("x.c2pa", None), ("y.c2pa", None)]),
    # an escaped quote keeps the string open, so the only parameter is title
    (['<x.c2pa>; title="a\\"; rel=c2pa-manifest"'], []),
    # an unclosed quote runs to the end of the value
    (['<a.c2pa>; title="x, <b.c2pa>; rel=c2pa-manifest'], []),
    (['<a.c2pa>; rel=c2pa-manifest; title="x, <b.c2pa>; rel=c2pa-manifest'], [("a.c2pa", None)]),
    # a quote inside a target opens a quoted stretch for the comma split
    (['<a"b.c2pa>; rel=c2pa-manifest; t=x, <y.c2pa>; rel=next'], [('a"b.c2pa', None)]),
    (['<a"b.c2pa>; rel=next, <y.c2pa>; rel=c2pa-manifest'], []),
    # whitespace: Unicode White_Space is trimmed, other characters are kept
    (["\u3000<\u00a0m.c2pa\u2003>\u2028;\u0085rel=c2pa-manifest\u205f"], [M]),
    (["<\u200bm.c2pa>; rel=c2pa-manifest"], [("\u200bm.c2pa", None)]),
    (["<\u00e9.c2pa>; rel=c2pa-manifest"], [("\u00e9.c2pa", None)]),
    # the jumbf= fragment
    (["<m.c2pa#jumbf=c2pa/urn:uuid:1>; rel=c2pa-manifest"], [("m.c2pa#jumbf=c2pa", "c2pa")]),
    (["<m.c2pa#JUMBF=abc>; rel=c2pa-manifest"], [("m.c2pa#jumbf=abc", "abc")]),
    (["<m.c2pa#jumbf=\u00e9t\u00e9/x>; rel=c2pa-manifest"], [("m.c2pa#jumbf=\u00e9t\u00e9", "\u00e9t\u00e9")]),
    (["<m.c2pa#jumbf=/c2pa/x>; rel=c2pa-manifest"], [("m.c2pa#jumbf=/c2pa/x", None)]),
    (["<m.c2pa#jumbf=>; rel=c2pa-manifest"], [("m.c2pa#jumbf=", None)]),
    (["<m.c2pa#jumbfx>; rel=c2pa-manifest"], [("m.c2pa#jumbfx", None)]),
    (["<m.c2pa#jumb>; rel=c2pa-manifest"], [("m.c2pa#jumb", None)]),
    (["<m.c2pa#x#jumbf=abc>; rel=c2pa-manifest"], [("m.c2pa#x#jumbf=abc", None)]),
    (["<m.c2pa#jumb\u00e9=abc>; rel=c2pa-manifest"], [("m.c2pa#jumb\u00e9=abc", None)]),
    (["<m.c2pa#\u212aumbf=abc>; rel=c2pa-manifest"], [("m.c2pa#\u212aumbf=abc", None)]),
    # across values, in order, repeats kept
    (["<a.c2pa>; rel=c2pa-manifest", "<b.c2pa>; rel=c2pa-manifest"], [("a.c2pa", None), ("b.c2pa", None)]),
    (["<m.c2pa>; rel=c2pa-manifest, <m.c2pa>; rel=c2pa-manifest"], [M, M]),
    # no state carries from one value to the next
    (['<a.c2pa>; title="open', "<m.c2pa>; rel=c2pa-manifest"], [M]),
]


def located(values):
    return [(link["uri"], link["jumbf"]) for link in locate_all(values)]


@pytest.mark.parametrize("values, expected", LOCATE_CASES)
def test_locate_all(values, expected):
    assert located(values) == expected


def test_dict_shape():
    plain, embedded = locate_all(["<m.c2pa>; rel=c2pa-manifest, <m.c2pa#jumbf=c2pa>; rel=c2pa-manifest"])
    assert list(plain.items()) == [("uri", "m.c2pa"), ("jumbf", None), ("is_embedded", False)]
    assert list(embedded.items()) == [("uri", "m.c2pa#jumbf=c2pa"), ("jumbf", "c2pa"), ("is_embedded", True)]
    assert type(plain) is dict and plain["is_embedded"] is False and embedded["is_embedded"] is True
    assert extract(["<m.c2pa#jumbf=c2pa>; rel=c2pa-manifest"]) == embedded


A = "<a.c2pa>; rel=c2pa-manifest"
B = "<b.c2pa>; rel=c2pa-manifest"


@pytest.mark.parametrize(
    "values, uri",
    [
        ([], None),
        (["<a.c2pa>; rel=alternate"], None),
        ([A], "a.c2pa"),
        ([A, A], "a.c2pa"),
        ([f"{A}, {A}", A], "a.c2pa"),
        (["<a.c2pa>; rel=c2pa-manifest", "< a.c2pa >; rel=C2PA-MANIFEST"], "a.c2pa"),
        (["<m.c2pa#jumbf=x/1>; rel=c2pa-manifest", "<m.c2pa#JUMBF=x/2>; rel=c2pa-manifest"], "m.c2pa#jumbf=x"),
        # a skipped link never competes
        (["<b.c2pa>; rel=alternate; rel=c2pa-manifest, <a.c2pa>; rel=c2pa-manifest"], "a.c2pa"),
        (["b.c2pa; rel=c2pa-manifest", A], "a.c2pa"),
    ],
)
def test_extract(values, uri):
    link = extract(values)
    assert (link and link["uri"]) == uri


@pytest.mark.parametrize(
    "values",
    [
        [A, B],
        [f"{A}, {B}"],
        [A, A, B],
        [A, B, A],
        ["<m.c2pa>; rel=c2pa-manifest", "<m.c2pa#jumbf=x>; rel=c2pa-manifest"],
    ],
)
def test_competing_links(values):
    with pytest.raises(ValueError) as info:
        extract(values)
    assert type(info.value) is ValueError and info.value.args == (AMBIGUOUS,)


def corpus():
    with open(CORPUS, encoding="utf-8") as lines:
        return [json.loads(line) for line in lines]


@pytest.mark.parametrize("entry", corpus(), ids=lambda entry: entry["source"][:40])
def test_real_world_headers_advertise_nothing(entry):
    assert locate_all(entry["values"]) == []
    assert extract(entry["values"]) is None
    # the same fields with a manifest link among them
    values = [*entry["values"], A]
    assert located(values) == [("a.c2pa", None)]


# Long values are read by skipping to the link-values that hold the word
# c2pa-manifest, short ones link by link; both must read as the rules say.
LONG = ", ".join(f"</assets/app-{i:05d}.css>; rel=preload; as=style" for i in range(40))


@pytest.mark.parametrize(
    "value, expected",
    [
        (f"{A}, {LONG}", [("a.c2pa", None)]),
        (f"{LONG}, {A}, {LONG}", [("a.c2pa", None)]),
        (f"{LONG}, <m.c2pa#jumbf=c2pa/x>; rel=c2pa-manifest", [("m.c2pa#jumbf=c2pa", "c2pa")]),
        (f"{LONG}, <m.c2pa#JUMBF=c2pa/x>; rel=c2pa-manifest", [("m.c2pa#jumbf=c2pa", "c2pa")]),
        # the word where it names nothing: in a quoted title, in a target, in a later rel
        (f'{LONG}, </t>; title="c2pa-manifest, <x>; rel=c2pa-manifest", {LONG}', []),
        (f'{LONG}, </t>; title="a, <x>; rel=c2pa-manifest, b", {LONG}', []),
        (f"{LONG}, </c2pa-manifest>; rel=next; rel=c2pa-manifest", []),
        # a comma between brackets, a quote in a target
        (f"{LONG}, <a,b.c2pa>; rel=c2pa-manifest", [("a,b.c2pa", None)]),
        (f'{LONG}, <a"b.c2pa>; rel=c2pa-manifest; t=x, {LONG}', [('a"b.c2pa', None)]),
        # a backslash anywhere sends the value to the plain reader
        (f'</t>; title="\\"", {LONG}, {A}', [("a.c2pa", None)]),
        (f"{LONG}, {A}, {B}, {A}", [("a.c2pa", None), ("b.c2pa", None), ("a.c2pa", None)]),
    ],
)
def test_long_values(value, expected):
    assert len(value) > 1000
    assert located([value]) == expected
