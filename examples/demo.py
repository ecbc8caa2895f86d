"""provlink at work: a server advertises a sidecar manifest, a client finds it.

    python examples/demo.py            # offline: a server on loopback
    python examples/demo.py URL        # the Link fields of a real response

Offline, the demonstration starts its own server on 127.0.0.1, serving a
directory that holds `photo.jpg` and its sidecar manifest `photo.c2pa`
through the WSGI middleware of sidecar.py. It fetches the photo with urllib,
finds the manifest link in the response with `extract`, and fetches the
manifest it names. Then it shows the Link fields written for awkward file
names, what `locate_all` and `extract` make of a JUMBF link and of competing
links, and of a few real-world Link fields.
"""

import argparse
import json
import pathlib
import sys
import tempfile
import threading
import urllib.request
from wsgiref.simple_server import WSGIRequestHandler, make_server

import provlink
from sidecar import ManifestLinks, manifest_link, static_files

CORPUS = pathlib.Path(__file__).resolve().parent.parent / "corpus" / "real-link-headers.jsonl"
SAMPLES = ("GitHub", "wordpress", "MDN Link header page", "RFC 8288 section 3.5", "StackPath")


class QuietHandler(WSGIRequestHandler):
    def log_message(self, *args):
        pass


def show(values):
    for value in values:
        print(f"    Link: {value}")
    print(f"    locate_all -> {provlink.locate_all(values)}")
    try:
        print(f"    extract    -> {provlink.extract(values)}")
    except ValueError as error:
        print(f"    extract    -> ValueError: {error}")


def fetch(url):
    with urllib.request.urlopen(url, timeout=10) as response:
        return response.status, response.headers.get_all("Link") or [], response.read()


def serve_and_fetch():
    with tempfile.TemporaryDirectory() as root:
        (pathlib.Path(root) / "photo.jpg").write_bytes(b"\xff\xd8\xff\xe0 not really a JPEG")
        (pathlib.Path(root) / "photo.c2pa").write_bytes(b"not really a manifest store")
        app = ManifestLinks(static_files(root), root)
        with make_server("127.0.0.1", 0, app, handler_class=QuietHandler) as server:
            threading.Thread(target=server.serve_forever, daemon=True).start()
            url = f"http://127.0.0.1:{server.server_port}/photo.jpg"
            status, fields, _ = fetch(url)
            print(f"GET {url} -> {status}")
            show(fields)
            manifest = urllib.request.urljoin(url, provlink.extract(fields)["uri"])
            status, _, body = fetch(manifest)
            print(f"GET {manifest} -> {status}, {len(body)} bytes: the photo's manifest store")
            server.shutdown()
    print("  (that server was the demonstration's own, on loopback; it has stopped)\n")


def awkward_names():
    print("What the middleware writes for awkward file names:")
    for name in ["holiday photo.c2pa", "100% real #1.c2pa", "café.c2pa", 'evil".c2pa\r\nSet-Cookie: x=1']:
        print(f"  {name!r:36} -> Link: {manifest_link([name])}")
    print()


def embedded_and_competing():
    print("A manifest embedded in the asset, named by a JUMBF reference:")
    show(['</style.css>; rel=preload, <photo.jpg#jumbf=c2pa/urn:uuid:f1b6e2a0>; rel="alternate c2pa-manifest"'])
    print("Two different manifest links, which extract refuses to choose between:")
    show(['</a.c2pa>; rel="c2pa-manifest"', '</b.c2pa>; rel="c2pa-manifest"'])
    print()


def real_world_samples():
    print("Real-world Link fields (none advertises a manifest):")
    with open(CORPUS, encoding="utf-8") as lines:
        entries = [json.loads(line) for line in lines]
    for sample in SAMPLES:
        entry = next(entry for entry in entries if sample.lower() in entry["source"].lower())
        print(f"  from {entry['source']}:")
        show(entry["values"])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("url", nargs="?", metavar="URL", help="read the Link fields of a real response instead")
    url = parser.parse_args().url
    print(f"provlink {provlink.__version__}, link relation {provlink.REL!r}\n")
    if url is not None:
        try:
            status, fields, _ = fetch(url)
        except (OSError, ValueError) as error:
            sys.exit(f"could not fetch {url}: {error}")
        print(f"GET {url} -> {status}")
        show(fields)
        return
    serve_and_fetch()
    awkward_names()
    embedded_and_competing()
    real_world_samples()


if __name__ == "__main__":
    main()
