"""Peak memory of locate_all and extract while they read one large header value.

    python bench/memory.py [--size-mb 100]

Each measurement runs in a fresh interpreter: it builds the header value,
resets the process's peak resident size (Linux: /proc/self/clear_refs), makes
the call, and reports what the call needed beyond the input str and beyond the
result it returned, as a multiple of the input's UTF-8 size.
"""

import argparse
import json
import subprocess
import sys

SHAPES = {
    "typical links, a manifest link in every 10,000": (
        "</assets/app.css>; rel=preload; as=style, ",
        10_000,
        '<https://example.com/manifests/photo.c2pa>; rel="c2pa-manifest", ',
    ),
    "non-ASCII targets": ("</assets/été/app-ünïcödé.css>; rel=preload; as=style, ", 0, ""),
    "the same manifest link over and over": ('<https://example.com/m.c2pa>; rel="c2pa-manifest", ', 0, ""),
}

MEASURE = r"""
import gc, json, sys
import provlink

def status(field):
    with open("/proc/self/status") as lines:
        for line in lines:
            if line.startswith(field):
                return int(line.split()[1]) * 1024

unit, every, manifest, size, function = json.loads(sys.argv[1])
block = unit * every + manifest if every else unit
value = (block * (size // len(block.encode()) + 1))[: size]
value = value[: value.rfind(", ") + 2] if ", " in value else value
size = len(value.encode())
gc.collect()
before = status("VmRSS")
with open("/proc/self/clear_refs", "w") as clear:
    clear.write("5")
try:
    result = getattr(provlink, function)([value])
except ValueError:
    result = None
peak = status("VmHWM")
kept = status("VmRSS") - before
print(json.dumps({"size": size, "peak": peak - before, "result": kept}))
"""


def measure(shape, size, function):
    unit, every, manifest = SHAPES[shape]
    argument = json.dumps([unit, every, manifest, size, function])
    output = subprocess.run(
        [sys.executable, "-c", MEASURE, argument], check=True, capture_output=True, text=True
    ).stdout
    return json.loads(output)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size-mb", type=float, default=100)
    args = parser.parse_args()
    size = int(args.size_mb * 1_000_000)

    print(f"{'input':48} {'function':12} {'input MB':>9} {'result MB':>10} {'beyond both':>12}")
    worst = 0.0
    for shape in SHAPES:
        for function in ("locate_all", "extract"):
            figures = measure(shape, size, function)
            temporaries = max(0, figures["peak"] - figures["result"]) / figures["size"]
            worst = max(worst, temporaries)
            print(
                f"{shape:48} {function:12} {figures['size'] / 1e6:9.1f} {figures['result'] / 1e6:10.1f} "
                f"{temporaries:11.2f}x"
            )
    print(f"\nlargest need beyond the input and the result: {worst:.2f}x the input's UTF-8 size")


if __name__ == "__main__":
    main()
