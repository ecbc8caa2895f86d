"""provlink against the ways Python users answer the same questions today.

    python -m pip install '.[bench]' && python bench/compare.py

Discovery asks "which link of these Link fields has relation c2pa-manifest?";
construction asks "what is the header value for this target?". Every
contender is timed in one process, round by round in turn, and the table
shows the median time per call and each peer's time as a multiple of
provlink's. The figures are also written to docs/benchmark.json and drawn in
docs/benchmark.png. A peer that cannot be imported is reported as missing.
"""

import argparse
import importlib
import json
import math
import os
import pathlib
import platform
import statistics
import time
import timeit
import urllib.parse

import provlink

ROOT = pathlib.Path(__file__).resolve().parent.parent
REL = "c2pa-manifest"
MANIFEST = '<https://example.com/manifests/photo.c2pa>; rel="c2pa-manifest"'
# RFC 3986 delimiters and "%", which quote() must leave as they are; letters,
# digits and "-._~" it always keeps.
QUOTE_SAFE = "!#$%&'()*+,/:;=?@[]"


def one_link(uris):
    """The single advertised target, with the same rule as provlink.extract."""
    kept = [uri for i, uri in enumerate(uris) if i == 0 or uri != uris[i - 1]]
    if len(kept) > 1:
        raise ValueError("more than one c2pa-manifest target was advertised")
    return kept[0] if kept else None


def load_peers():
    """Discovery peers, each taking the Link field values of a response; None where missing."""
    peers = {}
    try:
        requests_utils = importlib.import_module("requests.utils")

        def requests_extract(values):
            links = requests_utils.parse_header_links(", ".join(values))
            return one_link([link["url"] for link in links if REL in link.get("rel", "").lower().split()])

        peers["requests"] = requests_extract
    except ImportError:
        peers["requests"] = None
    try:
        # What httpx.Response.links is built from: the parser of the joined field.
        parse = importlib.import_module("httpx._models")._parse_header_links

        def httpx_extract(values):
            links = parse(", ".join(values))
            return one_link([link["url"] for link in links if REL in link.get("rel", "").lower().split()])

        peers["httpx"] = httpx_extract
    except (ImportError, AttributeError):
        peers["httpx"] = None
    try:
        link_header = importlib.import_module("link_header")

        def linkheader_extract(values):
            links = link_header.parse(", ".join(values)).links
            return one_link([link.href for link in links if REL in (getattr(link, "rel", None) or "").lower().split()])

        peers["LinkHeader"] = linkheader_extract
    except ImportError:
        peers["LinkHeader"] = None
    try:
        httplink = importlib.import_module("httplink")

        def httplink_extract(values):
            links = httplink.parse_link_header(", ".join(values)).links
            return one_link([link.target for link in links if REL in {rel.lower() for rel in link.rel}])

        peers["httplink"] = httplink_extract
    except ImportError:
        peers["httplink"] = None
    return peers


def quote_format(uri):
    return f'<{urllib.parse.quote(uri, safe=QUOTE_SAFE)}>; rel="c2pa-manifest"'


def large_header():
    links = [f"</assets/app-{i:05d}.css>; rel=preload; as=style" for i in range(10_000)]
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


def median_times(contenders, argument, rounds, seconds):
    """Median seconds per call of each contender, timed in turn round by round."""
    batches = {name: calls_per_batch(function, argument, seconds) for name, function in contenders.items()}
    samples = {name: [] for name in contenders}
    for _ in range(rounds):
        for name, function in contenders.items():
            runs = batches[name]
            start = time.perf_counter()
            for _ in range(runs):
                function(argument)
            samples[name].append((time.perf_counter() - start) / runs)
    return {name: statistics.median(times) for name, times in samples.items()}


def statement_times(statements, namespace, rounds, seconds):
    """Median seconds per run of each statement, timed in turn round by round."""
    timers = {name: timeit.Timer(statement, globals=namespace) for name, statement in statements.items()}
    # autorange() finds a number of runs that takes at least 0.2 s.
    numbers = {name: max(1, int(timer.autorange()[0] * seconds / 0.2)) for name, timer in timers.items()}
    samples = {name: [] for name in statements}
    for _ in range(rounds):
        for name, timer in timers.items():
            samples[name].append(timer.timeit(numbers[name]) / numbers[name])
    return {name: statistics.median(times) for name, times in samples.items()}


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


def run(rounds, seconds):
    peers = load_peers()
    present = {name: function for name, function in peers.items() if function}
    discovery = {"provlink": provlink.extract, **present}
    results = {"missing": [name for name, function in peers.items() if function is None], "cases": []}

    def record(case, label, times, note=""):
        results["cases"].append({"case": case, "label": label, "seconds": times, "note": note})

    typical = [MANIFEST]
    check_same_answer(discovery, typical)
    times = median_times(discovery, typical, rounds, seconds)
    # The floor: what Python itself takes to build the dict that extract returns,
    # timed as a statement beside the same call of extract.
    floor = statement_times(
        {
            "extract": "extract(values)",
            "dict literal": '{"uri": uri, "jumbf": None, "is_embedded": False}',
        },
        {"extract": provlink.extract, "values": typical, "uri": "https://example.com/manifests/photo.c2pa"},
        rounds,
        seconds,
    )
    record(
        "(a) one manifest link",
        "(a) one link",
        times,
        f"floor: a dict literal takes {floor['dict literal'] * 1e9:.0f} ns where extract takes "
        f"{floor['extract'] * 1e9:.0f} ns ({floor['extract'] / floor['dict literal']:.1f}x)",
    )

    entries = corpus()
    per_entry = []
    for values in entries:
        # A peer that fails on a response, or reads another answer, is left out of that response.
        per_entry.append(median_times(agreeing(discovery, values), values, max(3, rounds // 3), seconds / 4))
    geo, failed = {}, []
    for name in discovery:
        ratios = [entry[name] / entry["provlink"] for entry in per_entry if name in entry]
        geo[name] = geometric_mean(ratios) * geometric_mean([entry["provlink"] for entry in per_entry])
        if len(ratios) < len(entries):
            failed.append(f"{name} fails or differs on {len(entries) - len(ratios)}")
    record(
        f"(b) real-world corpus, {len(entries)} responses (geometric mean)",
        "(b) corpus",
        geo,
        "; ".join(failed) + (" (left out of its mean)" if failed else ""),
    )

    big = large_header()
    size = len(big[0].encode())
    check_same_answer(discovery, big)
    times = median_times(discovery, big, max(3, rounds // 2), seconds * 4)
    record(
        f"(c) 10,000 preload links and one manifest link ({size / 1000:.0f} KB)",
        "(c) 480 KB header",
        times,
        f"provlink reads {size / times['provlink'] / 1e9:.2f} GB/s",
    )

    construction = {"provlink": provlink.format, "quote + f-string": quote_format}
    targets = {
        "(d) clean URL": "https://example.com/manifests/photo.c2pa",
        "(d) spaces and non-ASCII": "https://example.com/manifests/été 2026/photo n°1.c2pa",
        "(d) 64 KB target": "https://example.com/" + "a/b c/é" * 9_362,
    }
    for case, target in targets.items():
        check_same_answer(construction, target)
        record(case, case.replace("(d) ", "(d) format: "), median_times(construction, target, rounds, seconds))

    results["floor_seconds"] = floor
    return results


def peer_names(results):
    """The peers in the order they were measured."""
    names = []
    for case in results["cases"]:
        names += [name for name in case["seconds"] if name != "provlink" and name not in names]
    return names


def print_table(results):
    peers = peer_names(results)
    header = f"{'case':66} {'provlink':>10}" + "".join(f" {name:>19}" for name in peers)
    print(header)
    print("-" * len(header))
    for case in results["cases"]:
        ours = case["seconds"]["provlink"]
        row = f"{case['case']:66} {format_time(ours):>10}"
        for name in peers:
            theirs = case["seconds"].get(name)
            row += f" {format_time(theirs) + f' ({theirs / ours:.1f}x)':>19}" if theirs else f" {'':>19}"
        print(row)
        if case["note"]:
            print(f"    {case['note']}")
    if results["missing"]:
        print(f"missing peers: {', '.join(results['missing'])}")


def format_time(seconds):
    if seconds >= 1e-3:
        return f"{seconds * 1e3:.2f} ms"
    if seconds >= 1e-6:
        return f"{seconds * 1e6:.2f} us"
    return f"{seconds * 1e9:.0f} ns"


def draw(results, path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    cases = results["cases"]
    names = peer_names(results)
    bars = sum(1 for case in cases for name in names if name in case["seconds"])
    figure, axis = plt.subplots(figsize=(9, 0.24 * bars + 1.4))
    labels, ratios, colours = [], [], []
    palette = plt.get_cmap("tab10")
    for case in cases:
        for index, name in enumerate(names):
            theirs = case["seconds"].get(name)
            if theirs:
                labels.append(f"{case['label']}: {name}")
                ratios.append(theirs / case["seconds"]["provlink"])
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
    args = parser.parse_args()

    results = run(args.rounds, args.seconds)
    results["machine"] = {"python": platform.python_version(), "platform": platform.platform(), "processor": cpu()}
    print_table(results)
    args.output.mkdir(parents=True, exist_ok=True)
    (args.output / "benchmark.json").write_text(json.dumps(results, indent=2) + "\n")
    try:
        draw(results, args.output / "benchmark.png")
    except ImportError:
        print("matplotlib is missing: no chart drawn")


if __name__ == "__main__":
    main()
