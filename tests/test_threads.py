"""Many threads at once. On a free-threaded CPython nothing holds the calls apart."""

import os
import sys
import sysconfig
import threading

import pytest

import provlink
from conftest import run_python

FREE_THREADED = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))

# The states that other threads swap the shared lists between. Every item
# stands in one state only, and the states differ in length, so that a call
# that read a list across a swap would give an answer of none of them.
STATES = [
    [],
    ['<a.c2pa>; rel="c2pa-manifest"'],
    ["<b.c2pa#jumbf=b/1>; rel=c2pa-manifest", "<b.c2pa#jumbf=b/2>; rel=c2pa-manifest", "<n>; rel=next"],
    ["<é.c2pa>; rel=c2pa-manifest, <x.css>; rel=preload", "<d.c2pa>; rel=c2pa-manifest"],
]
TARGETS = ["/m.c2pa", "/holiday photo é.c2pa", "a" * 300]
# Work, not time, bounds each thread: every reader makes ROUNDS rounds, and
# goes on until each swapper has swapped SWAPS times; every swapper swaps
# until then too. However the threads are scheduled, each does its share.
ROUNDS = 5_000
SWAPS = 1_000


def answer(function, argument):
    try:
        return function(argument)
    except ValueError as error:
        return ("ValueError", str(error))


def fresh(state):
    """The state's texts as new str objects, so that the ones it replaces are freed."""
    return [text.encode().decode() for text in state]


def test_calls_see_each_list_at_one_moment():
    lists = [fresh(STATES[0]), fresh(STATES[1])]
    discovery = [provlink.extract, provlink.locate_all]
    construction = [provlink.format, provlink.format_strict, provlink.encode_target]
    expected = {function: [answer(function, state) for state in STATES] for function in discovery}
    expected.update({function: [answer(function, target) for target in TARGETS] for function in construction})
    calls = [0] * 4
    swaps = [0] * 2
    wrong = []
    start = threading.Barrier(len(calls) + len(swaps))

    def swapped_enough():
        return min(swaps) >= SWAPS

    def check(function, got):
        if got not in expected[function]:
            wrong.append((function.__name__, got))

    def read(reader):
        start.wait()
        n = 0
        while n < ROUNDS or not swapped_enough():
            shared = lists[n % len(lists)]
            for function in discovery:
                check(function, answer(function, shared))
            by_keyword = discovery[n % 2]
            check(by_keyword, answer(lambda values: by_keyword(values=values), shared))
            for function in construction:
                check(function, answer(function, TARGETS[n % len(TARGETS)]))
            n += 1
        calls[reader] = n * 6

    def swap(swapper):
        start.wait()
        while swaps[swapper] < SWAPS or not all(calls):
            lists[swapper][:] = fresh(STATES[swaps[swapper] % len(STATES)])
            swaps[swapper] += 1

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1e-6)  # with a GIL, switch threads as often as it allows
    try:
        threads = [threading.Thread(target=read, args=(i,)) for i in range(len(calls))]
        threads += [threading.Thread(target=swap, args=(i,)) for i in range(len(swaps))]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
    finally:
        sys.setswitchinterval(interval)

    print(f"{sum(calls)} calls while the lists were swapped {sum(swaps)} times")
    assert wrong == []
    if FREE_THREADED:
        assert not sys._is_gil_enabled()


@pytest.mark.skipif(not FREE_THREADED, reason="only a free-threaded CPython can run without the GIL")
def test_import_leaves_the_gil_off():
    environment = {name: value for name, value in os.environ.items() if name != "PYTHON_GIL"}
    result = run_python(
        """
        import sys, provlink
        print(sys._is_gil_enabled())
        """,
        env=environment,
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout == "False\n"
    assert result.stderr == ""


# musl gives a thread 128 KiB of stack unless asked for more, where glibc
# gives 8 MiB: every call must fit in that, whatever it reads or writes.
SMALL_STACK = 128 << 10
LONG_VALUE = "</style.css>; rel=preload, " * 10_000 + '</m.c2pa>; rel="c2pa-manifest"'
PATHOLOGICAL = ['"' * 100_000, "<" * 100_000, "\\" * 100_000, ", ; rel=c2pa-manifest" * 10_000]


def test_calls_fit_a_small_thread_stack():
    def work():
        return (
            provlink.extract([LONG_VALUE]),
            len(provlink.locate_all([LONG_VALUE] * 100)),
            provlink.locate_all(PATHOLOGICAL),
            len(provlink.format(" é\r\n" * 20_000)),
            provlink.encode_target(uri="%" * 100_000) == "%" * 100_000,
        )

    expected = work()
    results = []
    previous = threading.stack_size(SMALL_STACK)
    try:
        thread = threading.Thread(target=lambda: results.append(work()))
        thread.start()
    finally:
        threading.stack_size(previous)
    thread.join()
    assert results == [expected]
    assert expected[:2] == ({"uri": "/m.c2pa", "jumbf": None, "is_embedded": False}, 100)
