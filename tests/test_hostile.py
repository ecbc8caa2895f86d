"""Callers that lie, mutate, race or raise: none may crash the module or change its answers."""

import gc
import threading

import pytest

import provlink

M = "<m.c2pa>; rel=c2pa-manifest"
N = "<n.c2pa>; rel=c2pa-manifest"
M_DICT = {"uri": "m.c2pa", "jumbf": None, "is_embedded": False}


class ChangingLength:
    """Reports a different length at every call."""

    def __init__(self, items):
        self.items = items
        self.calls = 0

    def __len__(self):
        self.calls += 1
        return self.calls * 1000

    def __getitem__(self, index):
        return self.items[index]


class Shrinking:
    """Empties its list while the first item is fetched."""

    def __init__(self, items):
        self.items = list(items)

    def __len__(self):
        return len(self.items)

    def __getitem__(self, index):
        item = self.items[index]
        self.items.clear()
        return item


class Growing:
    """Appends to its list at every item fetched, up to 100 items."""

    def __init__(self):
        self.items = ["<x>; rel=next"]

    def __getitem__(self, index):
        if len(self.items) < 100:
            self.items.append(M if len(self.items) == 99 else "<x>; rel=next")
        return self.items[index]


class Forgetting:
    """Drops every item it has handed out and collects garbage before the next."""

    def __init__(self, count):
        self.count = count

    def __getitem__(self, index):
        if index >= self.count:
            raise IndexError(index)
        gc.collect()
        return "".join(["<m.c2pa>; rel=c2pa-", "manifest"])  # a fresh str, owned by nobody else


class MutatingIterator(list):
    """A list whose iterator changes the list as it goes."""

    def __iter__(self):
        for index in range(3):
            if index < len(self):
                yield self[index]
            self.insert(0, N)


class Liar(str):
    """A str whose Python-level behaviour contradicts its text."""

    def __str__(self):
        return "<evil.c2pa>; rel=c2pa-manifest"

    def __eq__(self, other):
        return True

    def __hash__(self):
        return 0

    def __len__(self):
        return 0

    def encode(self, *args, **kwargs):
        return b"<evil.c2pa>; rel=c2pa-manifest"


class NotAnIterator:
    def __getitem__(self, index):
        return M

    def __iter__(self):
        return 42


class Impostor:
    """Claims to be a str through __class__."""

    @property
    def __class__(self):
        return str


def test_changing_length():
    assert provlink.extract(ChangingLength([M, M])) == M_DICT


def test_list_emptied_during_iteration():
    assert provlink.locate_all(Shrinking([M, N, N])) == [M_DICT]


def test_list_grown_during_iteration():
    assert provlink.extract(Growing()) == M_DICT


def test_items_dropped_and_collected_during_iteration():
    assert provlink.locate_all(Forgetting(50)) == [M_DICT] * 50


def test_iterator_that_mutates_its_list():
    values = MutatingIterator([M, M, M])
    assert provlink.locate_all(values) == [M_DICT, M_DICT, M_DICT]
    assert len(values) == 6


def test_str_subclasses_are_read_by_their_text():
    assert provlink.extract([Liar(M)]) == M_DICT
    assert provlink.format(Liar("a b")) == '<a%20b>; rel="c2pa-manifest"'
    assert provlink.encode_target(uri=Liar("é")) == "%C3%A9"
    assert provlink.format(**{Liar("uri"): "x"}) == '<x>; rel="c2pa-manifest"'


def test_keyword_shown_by_its_str():
    with pytest.raises(TypeError) as info:
        provlink.format(**{Liar("bogus"): "x"})
    assert info.value.args == ("format() got an unexpected keyword argument '<evil.c2pa>; rel=c2pa-manifest'",)


def test_iter_returning_a_non_iterator():
    with pytest.raises(TypeError) as info:
        provlink.extract(NotAnIterator())
    with pytest.raises(TypeError) as own:
        iter(NotAnIterator())
    assert info.value.args == (f"argument 'values': {own.value}",)


def test_class_impostor_is_no_str():
    with pytest.raises(TypeError) as info:
        provlink.format(Impostor())
    assert info.value.args == ("argument 'uri': 'Impostor' object cannot be converted to 'PyString'",)
    with pytest.raises(TypeError):
        provlink.locate_all([Impostor()])


def test_list_being_sorted_reads_as_empty():
    # CPython empties a list while it sorts it; a key function sees it so,
    # as does any thread that reads the list meanwhile.
    values = [M, "<a>; rel=next"]
    seen = []

    def key(value):
        seen.append((provlink.locate_all(values), provlink.extract(values)))
        return value

    values.sort(key=key)
    assert seen == [([], None), ([], None)]
    assert provlink.locate_all(values) == [M_DICT]


def test_many_threads_at_once():
    header = "<a>; rel=next, " + M + ', <m.c2pa#jumbf=c2pa/x>; rel="c2pa-manifest"'
    embedded = {"uri": "m.c2pa#jumbf=c2pa", "jumbf": "c2pa", "is_embedded": True}
    checks = [
        (lambda: provlink.locate_all([header, M]), [M_DICT, embedded, M_DICT]),
        (lambda: provlink.extract([M, M]), M_DICT),
        (lambda: provlink.format("a b"), '<a%20b>; rel="c2pa-manifest"'),
        (lambda: provlink.format_strict("a/b"), '<a/b>; rel="c2pa-manifest"'),
        (lambda: provlink.encode_target(uri="é"), "%C3%A9"),
    ]
    failures = []
    calls = [0] * 8
    rounds = 500
    start = threading.Barrier(len(calls))

    def work(worker):
        start.wait()
        for _ in range(rounds):
            for call, expected in checks:
                result = call()
                if result != expected:
                    failures.append(result)
                calls[worker] += 1
            try:
                provlink.extract([header])
            except ValueError as error:
                if error.args != ("more than one c2pa-manifest target was advertised",):
                    failures.append(error)

    threads = [threading.Thread(target=work, args=(worker,)) for worker in range(len(calls))]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert failures == []
    assert calls == [rounds * len(checks)] * len(calls)
