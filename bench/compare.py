"""provlink against the floor and against the ways Python users answer the same questions today.

    python -m pip install '.[bench]' && python bench/compare.py

Discovery asks "which link of these Link fields has relation c2pa-manifest?";
construction asks "what is the header value for this target?". Every
contender is timed in one process, round by round in turn, and each figure
is the median over the rounds of that round's ratio to provlink.

The floor (bench/floor.c, built here with the C compiler) is the least work
that answers the common question under provlink's own constraints: the
limited API at the 3.9 level, one argument by position or keyword. It knows
only the common input shape, so it is measured on (a) and on the clean URL of
(d), where provlink's time is given as a multiple of it.

The figures are written to docs/benchmark-<python version>.json; with
--chart, also drawn in docs/benchmark.png. A peer that cannot be imported is
reported as missing.
"""

import argparse
import importlib
import json
import math
import os
import pathlib
import platform
import statistics
import subprocess
import sys
import sysconfig
import tempfile
import time
import urllib.parse

import provlink

ROOT = pathlib.Path(__file__).resolve().parent.parent
REL = "c2pa-manifest"
MANIFEST = '<https://example.com/manifests/photo.c2pa>; rel="c2pa-manifest"'
CLEAN_URL = "https://example.com/manifests/photo.c2pa"
# RFC 3986 delimiters and "%", which quote() must leave as they are; letters,
# digits and "-._~" it always keeps.
QUOTE_SAFE = "!#$%&'()*+,/:;=?@[]"


def build_floor(directory):
    """bench/floor.c as an importable module."""
    suffix = ".abi3.so" if sys.platform != "win32" else ".pyd"
    target = pathlib.Path(directory) / f"provlink_floor{suffix}"
    compiler = os.environ.get("CC", "cc")
    include = sysconfig.get_paths()["include"]
    subprocess.run(
        [compiler, "-O2", "-shared", "-fPIC", f"-I{include}", str(ROOT / "bench" / "floor.c"), "-o", str(target)],
        check=True,
    )
    sys.path.insert(0, str(directory))
    return importlib.import_module("provlink_floor")


def lean(parse, url_of, rels_of):
    """A peer as a user would write it: the parser of the joined fields, then
    the first c2pa-manifest link, refusing a different one after it."""

    def extract(values):
        found = None
        for link in parse(", ".join(values)):
            if REL in rels_of(link):
                uri = url_of(link)
                if found is not None and uri != found:
                    raise ValueError("more than one c2pa-manifest target was advertised")
                found = uri
        return found

    return extract


def load_peers():
    """Discovery peers, each taking the Link field values of a response; None where missing."""
    loaders = {
        # What requests.Response.links and httpx.Response.links are built from.
        "requests": lambda: lean(
            importlib.import_module("requests.utils").parse_header_links,
            lambda link: link["url"],
            lambda link: link.get("rel", "").lower().split(),
        ),
        "httpx": lambda: lean(
            importlib.import_module("httpx._models")._parse_header_links,
            lambda link: link["url"],
            lambda link: link.get("rel", "").lower().split(),
        ),
        "LinkHeader": lambda: lean(
            lambda text: importlib.import_module("link_header").parse(text).links,
            lambda link: link.href,
            lambda link: (getattr(link, "rel", None) or "").lower().split(),
        ),
        "httplink": lambda: lean(
            lambda text: importlib.import_module("httplink").parse_link_header(text).links,
            lambda link: link.target,
            lambda link: {rel.lower() for rel in link.rel},
        ),
    }
    peers = {}
    for name, load in loaders.items():
        try:
            peers[name] = load()
            peers[name]([MANIFEST])
        except (ImportError, AttributeError):
            peers[name] = None
    return peers


def quote_format(uri):
    return f'<{urllib.parse.quote(uri, safe=QUOTE_SAFE)}>; rel="c2pa-manifest"'


def large_header(with_manifest):
    links = [f"</assets/app-{i:05d}.css>; rel=preload; as=style" for i in range(10_000)]
    if with_manifest:
        links.insert(5_000, MANIFEST)
    return [", ".join(links)]


def corpus():
    with open(ROOT / "corpus" / "real-link-headers.jsonl", encoding="utf-8") as lines:
        return [json.loads(line)["values"] for line in lines]


def calls_per_batch(function, argument, seconds):
    runs, start = 0, time.perf_counter()
    while time.perf_counter() - start < seconds:
        function(argument)
        runs += 1
    return max(runs, 1)


def measure(contenders, argument, rounds, seconds):
    """Each contender's median seconds per call, and the median over the
    rounds of its time in that round as a multiple of the first contender's."""
    batches = {name: calls_per_batch(function, argument, seconds) for name, function in contenders.items()}
    samples = {name: [] for name in contenders}
    for _ in range(rounds):
        for name, function in contenders.items():
            runs = batches[name]
            start = time.perf_counter()
            for _ in range(runs):
                function(argument)
            samples[name].append((time.perf_counter() - start) / runs)
    first = samples[next(iter(contenders))]
    return {
        name: {
            "seconds": statistics.median(times),
            "ratio": statistics.median(theirs / ours for theirs, ours in zip(times, first)),
        }
        for name, times in samples.items()
    }


def answer(function, argument):
    """What a contender answers: the target's uri, None, or the exception it raised."""
    try:
        found = function(argument)
    except Exception as error:  # a peer's parse failure is an answer too
        return f"{type(error).__name__}: {error}"
    return found["uri"] if isinstance(found, dict) else found


def agreeing(contenders, argument):
    """The contenders that give provlink's answer for `argument`."""
    expected = answer(contenders["provlink"], argument)
    return {name: function for name, function in contenders.items() if answer(function, argument) == expected}


def check_same_answer(contenders, argument):
    if len(agreeing(contenders, argument)) != len(contenders):
        answers = {name: answer(function, argument) for name, function in contenders.items()}
        raise SystemExit(f"contenders disagree on {argument!r:.80}: {answers}")


def geometric_mean(values):
    return math.exp(sum(map(math.log, values)) / len(values))


def run(floor, rounds, seconds):
    peers = load_peers()
    present = {name: function for name, function in peers.items() if function}
    discovery = {"provlink": provlink.extract, **present}
    results = {"missing": [name for name, function in peers.items() if function is None], "cases": []}

    def record(case, label, figures, note=""):
        results["cases"].append({"case": case, "label": label, "figures": figures, "note": note})

    def floor_note(figures):
        return f"provlink takes {1 / figures['floor']['ratio']:.2f}x the floor's time"

    typical = [MANIFEST]
    check_same_answer({**discovery, "floor": floor.extract}, typical)
    figures = measure({**discovery, "floor": floor.extract}, typical, rounds, seconds)
    record("(a) one manifest link", "(a) one link", figures, floor_note(figures))

    entries = corpus()
    per_entry = []
    for values in entries:
        # A peer that fails on a response, or reads another answer, is left out of that response.
        per_entry.append(measure(agreeing(discovery, values), values, max(3, rounds // 3), seconds / 4))
    geo, failed = {}, []
    for name in discovery:
        mine = [entry[name] for entry in per_entry if name in entry]
        geo[name] = {
            "seconds": geometric_mean([figure["seconds"] for figure in mine]),
            "ratio": geometric_mean([figure["ratio"] for figure in mine]),
        }
        if len(mine) < len(entries):
            failed.append(f"{name} fails or differs on {len(entries) - len(mine)}")
    record(
        f"(b) real-world corpus, {len(entries)} responses (geometric mean)",
        "(b) corpus",
        geo,
        "; ".join(failed) + (" (left out of its mean)" if failed else ""),
    )

    for with_manifest, label in ((True, "(c) with a manifest link"), (False, "(c) without one")):
        big = large_header(with_manifest)
        size = len(big[0].encode())
        check_same_answer(discovery, big)
        figures = measure(discovery, big, max(3, rounds // 2), seconds * 4)
        what = "and one manifest link" if with_manifest else "and no manifest link"
        record(
            f"(c) 10,000 preload links {what} ({size / 1000:.0f} KB)",
            f"{label}, {size / 1000:.0f} KB",
            figures,
            f"provlink reads {size / figures['provlink']['seconds'] / 1e9:.2f} GB/s",
        )

    construction = {"provlink": provlink.format, "quote + f-string": quote_format}
    targets = {
        "(d) clean URL": CLEAN_URL,
        "(d) spaces and non-ASCII": "https://example.com/manifests/été 2026/photo n°1.c2pa",
        "(d) 64 KB target": "https://example.com/" + "a/b c/é" * 9_362,
    }
    for case, target in targets.items():
        contenders = {**construction, "floor": floor.format} if target == CLEAN_URL else construction
        check_same_answer(contenders, target)
        figures = measure(contenders, target, rounds, seconds)
        record(case, case.replace("(d) ", "(d) format: "), figures, floor_note(figures) if "floor" in figures else "")
    return results


def peer_names(results):
    """The peers in the order they were measured, the floor left out."""
    names = []
    for case in results["cases"]:
        names += [name for name in case["figures"] if name not in ("provlink", "floor", *names)]
    return names


def print_table(results):
    peers = peer_names(results)
    header = f"{'case':66} {'provlink':>10}" + "".join(f" {name:>19}" for name in peers)
    print(header)
    print("-" * len(header))
    for case in results["cases"]:
        figures = case["figures"]
        row = f"{case['case']:66} {format_time(figures['provlink']['seconds']):>10}"
        for name in peers:
            theirs = figures.get(name)
            cell = f"{format_time(theirs['seconds'])} ({theirs['ratio']:.1f}x)" if theirs else ""
            row += f" {cell:>19}"
        print(row)
        if case["note"]:
            print(f"    {case['note']}")
    if results["missing"]:
        print(f"missing peers: {', '.join(results['missing'])}")


def format_time(seconds):
    if seconds >= 1e-3:
        return f"{seconds * 1e3:.2f} ms"
    if seconds >= 1e-6:
        return f"{seconds * 1e6:.2f} µs"
    return f"{seconds * 1e9:.0f} ns"


def draw(results, path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    cases = results["cases"]
    names = peer_names(results)
    bars = sum(1 for case in cases for name in names if name in case["figures"])
    figure, axis = plt.subplots(figsize=(9, 0.24 * bars + 1.4))
    labels, ratios, colours = [], [], []
    palette = plt.get_cmap("tab10")
    for case in cases:
        for index, name in enumerate(names):
            theirs = case["figures"].get(name)
            if theirs:
                labels.append(f"{case['label']}: {name}")
                ratios.append(theirs["ratio"])
                colours.append(palette(index))
    axis.barh(range(len(ratios)), ratios, color=colours, height=0.7)
    axis.set_yticks(range(len(labels)), labels, fontsize=8)
    axis.invert_yaxis()
    axis.set_xscale("log")
    axis.axvline(1, color="black", linewidth=0.8)
    axis.set_xlabel("time per call, as a multiple of provlink's (log scale; higher is slower than provlink)")
    for position, ratio in enumerate(ratios):
        axis.text(ratio, position, f" {ratio:.1f}x", va="center", fontsize=7)
    axis.set_title(f"provlink {provlink.__version__} against its peers ({platform.python_implementation()} "
                   f"{platform.python_version()}, {platform.machine()})")
    figure.tight_layout()
    figure.savefig(path, dpi=110)


def cpu():
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as lines:
            model = next(line.split(":", 1)[1].strip() for line in lines if line.startswith("model name"))
    except (OSError, StopIteration):
        model = platform.processor() or platform.machine()
    return f"{model}, {os.cpu_count()} cores"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=15)
    parser.add_argument("--seconds", type=float, default=0.02, help="time of one batch of calls")
    parser.add_argument("--output", type=pathlib.Path, default=ROOT / "docs")
    parser.add_argument("--chart", action="store_true", help="draw docs/benchmark.png")
    args = parser.parse_args()
    args.rounds |= 1  # odd, so that the median of the floor's ratios inverts to provlink's

    with tempfile.TemporaryDirectory() as directory:
        results = run(build_floor(directory), args.rounds, args.seconds)
    results["machine"] = {"python": platform.python_version(), "platform": platform.platform(), "processor": cpu()}
    print(f"CPython {platform.python_version()}")
    print_table(results)
    args.output.mkdir(parents=True, exist_ok=True)
    version = ".".join(platform.python_version_tuple()[:2])
    (args.output / f"benchmark-{version}.json").write_text(json.dumps(results, indent=2) + "\n")
    if args.chart:
        draw(results, args.output / "benchmark.png")


if __name__ == "__main__":
    main()
