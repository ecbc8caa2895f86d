"""The client and the Flask application of examples/, over loopback, as a user runs them.
Their packages are examples/requirements.txt, not the test extra."""

import contextlib
import pathlib
import subprocess
import sys
import threading
import urllib.parse

import pytest

from conftest import import_if_installed, needs, serving_link_fields

EXAMPLES = pathlib.Path(__file__).resolve().parent.parent / "examples"
pytestmark = needs("flask", "requests")
werkzeug_serving = import_if_installed("werkzeug.serving") if import_if_installed("flask") else None


@contextlib.contextmanager
def serving(app):
    server = werkzeug_serving.make_server("127.0.0.1", 0, app)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    yield f"http://127.0.0.1:{server.port}"
    server.shutdown()
    thread.join()


def run_client(*arguments):
    result = subprocess.run(
        [sys.executable, str(EXAMPLES / "client.py"), *arguments], capture_output=True, text=True, timeout=60
    )
    return result.returncode, result.stdout, result.stderr


# Asset names, each with its sidecar manifest; the name a request uses for it.
ASSETS = {
    "photo.jpg": "photo.jpg",
    "holiday #1, 100% [real].jpg": urllib.parse.quote("holiday #1, 100% [real].jpg"),
    "sub/été.jpg": urllib.parse.quote("sub/été.jpg"),
    "sub/photo.jpg": "sub%2Fphoto.jpg",  # an encoded slash names the same file
}


@pytest.fixture()
def flask_site(tmp_path):
    sys.path.insert(0, str(EXAMPLES))
    try:
        from flask_app import create_app
    finally:
        sys.path.remove(str(EXAMPLES))
    (tmp_path / "sub").mkdir()
    for name in ASSETS:
        (tmp_path / name).write_bytes(b"asset")
        (tmp_path / name).with_suffix(".c2pa").write_bytes(f"manifest of {name}".encode())
    (tmp_path / "plain.jpg").write_bytes(b"asset")
    with serving(create_app(str(tmp_path))) as url:
        yield url


@pytest.mark.parametrize("name", ASSETS)
def test_client_fetches_the_manifest_that_flask_advertises(flask_site, tmp_path, name):
    saved = tmp_path / "saved.c2pa"
    code, out, err = run_client(f"{flask_site}/assets/{ASSETS[name]}", str(saved))
    assert (code, err) == (0, "")
    manifest = f"manifest of {name}".encode()
    assert saved.read_bytes() == manifest
    assert out.startswith(f"{flask_site}/assets/") and out.endswith(f": {len(manifest)} bytes, application/c2pa\n")


def test_client_without_a_manifest(flask_site):
    assert run_client(f"{flask_site}/assets/plain.jpg") == (
        1, "", f"{flask_site}/assets/plain.jpg advertises no C2PA manifest\n"
    )
    code, _, err = run_client(f"{flask_site}/assets/missing.jpg")
    assert code == 1 and "404" in err


@pytest.mark.parametrize(
    "path, expected",
    [
        ("/embedded", (0, "{url} embeds its manifest, in the JUMBF box 'c2pa'\n", "")),
        ("/competing", (1, "", "{url}: more than one c2pa-manifest target was advertised\n")),
    ],
)
def test_client_on_embedded_and_competing_manifests(path, expected):
    fields = {
        "/embedded": ["<photo.jpg#jumbf=c2pa/urn:uuid:1>; rel=c2pa-manifest"],
        "/competing": ["</a.c2pa>; rel=c2pa-manifest", "</b.c2pa>; rel=c2pa-manifest"],
    }
    with serving_link_fields(fields) as site:
        url = site + path
        assert run_client(url) == (expected[0], *(text.format(url=url) for text in expected[1:]))
