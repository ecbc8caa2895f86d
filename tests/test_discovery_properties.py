"""Properties of reading, over generated header values."""

import itertools

import pytest

from provlink import encode_target, extract, format, locate_all
from conftest import hypothesis_or_skip
from test_discovery import LONG

given, st = hypothesis_or_skip()


# Header text built from the pieces that matter to the reader.
PIECES = st.sampled_from(
    ["<", ">", ";", ",", '"', "\\", "=", "#", "/", " ", "\t", "\u00a0", "\u3000", "\x0b", "é",
     "rel", "REL", "c2pa-manifest", "C2PA-Manifest", "alternate", "jumbf=", "JUMBF=", "m.c2pa", "x"]
)
HEADER = st.lists(PIECES, max_size=30).map("".join)
VALUES = st.lists(HEADER, max_size=4)


def collapsed(links):
    return [link for link, _ in itertools.groupby(links)]


@given(VALUES, VALUES)
def test_values_read_independently(a, b):
    assert locate_all(a + b) == locate_all(a) + locate_all(b)


@given(VALUES)
def test_extract_agrees_with_locate_all(values):
    kept = collapsed(locate_all(values))
    if len(kept) > 1:
        with pytest.raises(ValueError):
            extract(values)
    else:
        assert extract(values) == (kept[0] if kept else None)
    for link in locate_all(values):
        assert link["uri"] and link["jumbf"] != ""
        assert link["is_embedded"] is (link["jumbf"] is not None)


@given(st.text(min_size=1).filter(lambda uri: "#" not in uri))
def test_a_written_link_reads_back(uri):
    assert extract([format(uri)])["uri"] == encode_target(uri)
    assert extract(["<other>; rel=next, " + format(uri)]) == locate_all([format(uri)])[0]


# Link-values that end cleanly before a top-level comma change nothing after
# them, so a value read after such filler reads as it reads alone, whether
# the reader skips through it (a long value) or goes link by link.
FILLERS = {
    "ASCII": LONG,
    "non-ASCII": ", ".join(f'</été/{i}.css>; rel=preload; title="été, <x>"' for i in range(40)),
}


@pytest.mark.parametrize("filler", FILLERS.values(), ids=FILLERS.keys())
@given(header=HEADER)
def test_a_long_value_reads_as_its_parts(filler, header):
    assert locate_all([filler + ", " + header]) == locate_all([header])
