"""Time per byte of each function on pathological inputs of growing size.

    python bench/scaling.py [--max-size 10000000] [--keep-freed-memory]

For each input shape, prints the time per byte at sizes from 10^4 bytes up;
the last column is the ratio of the largest size's cost per byte to the
smallest's, which stays below 2 when the cost is linear.

Large results are allocated afresh at every call, and glibc hands freed
memory of that size back to the kernel, so every page is faulted in again:
the "faults/KB" column counts those page faults per KB of input at the largest
size. --keep-freed-memory tells glibc to keep freed memory, which shows the
cost of the code without the kernel's.
"""

import argparse
import ctypes
import resource
import time

import provlink

MANIFEST = "<m.c2pa>; rel=c2pa-manifest"


def repeat(unit, size):
    return (unit * (size // len(unit) + 1))[:size]


SHAPES = {
    'all "': lambda n: repeat('"', n),
    "all <": lambda n: repeat("<", n),
    'alternating <"': lambda n: repeat('<"', n),
    "all ,": lambda n: repeat(",", n),
    "all ;": lambda n: "<m.c2pa>" + repeat(";", n),
    "backslashes in quotes": lambda n: '<m.c2pa>; rel="' + repeat("\\", n) + '"',
    "one huge target": lambda n: "<" + repeat("a", n) + ">; rel=c2pa-manifest",
    "White_Space run": lambda n: "<" + repeat("\u3000", n // 3) + "m.c2pa>; rel=c2pa-manifest",
    "links": lambda n: repeat(MANIFEST + ", ", n),
}

CALLS = {
    "locate_all": lambda text: provlink.locate_all([text]),
    "extract": lambda text: extract_or_ambiguous([text]),
    "format": provlink.format,
    "encode_target": provlink.encode_target,
}


def extract_or_ambiguous(values):
    try:
        return provlink.extract(values)
    except ValueError:
        return None


def keep_freed_memory():
    libc = ctypes.CDLL(None)
    m_trim_threshold, m_mmap_threshold = -1, -3
    libc.mallopt(m_trim_threshold, 2**31 - 1)
    libc.mallopt(m_mmap_threshold, 2**30)


def page_faults():
    return resource.getrusage(resource.RUSAGE_SELF).ru_minflt


def faults_per_kb(call, text):
    call(text)
    before = page_faults()
    for _ in range(10):
        call(text)
    return (page_faults() - before) / 10 / (len(text.encode()) / 1024)


def seconds_per_call(call, text):
    best = float("inf")
    for _ in range(5):
        runs, start = 0, time.perf_counter()
        while True:
            call(text)
            runs += 1
            elapsed = time.perf_counter() - start
            if elapsed > 0.05:
                break
        best = min(best, elapsed / runs)
    return best


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--max-size", type=int, default=10**7)
    parser.add_argument("--keep-freed-memory", action="store_true")
    args = parser.parse_args()
    if args.keep_freed_memory:
        keep_freed_memory()
    sizes = [size for size in (10**4, 10**5, 10**6, 10**7) if size <= args.max_size]

    header = f"{'input':24} {'function':14}" + "".join(f"{size:>12,}" for size in sizes) + "   ratio  faults/KB"
    print("ns per byte")
    print(header)
    worst = 0.0
    for shape, make in SHAPES.items():
        texts = [make(size) for size in sizes]
        for name, call in CALLS.items():
            costs = [seconds_per_call(call, text) / len(text.encode()) * 1e9 for text in texts]
            ratio = costs[-1] / costs[0]
            worst = max(worst, ratio)
            faults = faults_per_kb(call, texts[-1])
            print(f"{shape:24} {name:14}" + "".join(f"{cost:12.3f}" for cost in costs) + f"{ratio:8.2f}{faults:11.2f}")
    print(f"\nlargest ratio: {worst:.2f}")


if __name__ == "__main__":
    main()
