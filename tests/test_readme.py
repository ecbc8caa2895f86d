"""Every code block of the README runs: the examples with `>>>` as doctests,
each other block by a test of its own, found by the block's first line."""

import asyncio
import doctest
import pathlib
import re
import sys
import urllib.request

import pytest

import provlink
from conftest import import_if_installed, mypy_strict, needs, needs_mypy, serving_link_fields

ROOT = pathlib.Path(__file__).resolve().parent.parent
README = ROOT / "README.md"
aiohttp, httpx, requests = map(import_if_installed, ["aiohttp", "httpx", "requests"])


def code_blocks():
    """The README's Python blocks that are not doctests, by their first line."""
    blocks = re.findall(r"```python\n(.*?)```", README.read_text(encoding="utf-8"), re.S)
    return {block.split("\n", 1)[0]: block for block in blocks if not block.startswith(">>>")}


def test_readme_examples():
    result = doctest.testfile(str(README), module_relative=False, optionflags=doctest.ELLIPSIS)
    assert result.attempted > 0
    assert result.failed == 0


def test_every_other_block_has_its_test():
    assert set(code_blocks()) == {
        "# A client, with requests",
        "# The Link fields of a response",
        "# The sidecar middleware, around an application that serves /srv/assets",
        "# Typed use",
    }


MANIFEST = '</manifests/photo.c2pa>; rel="c2pa-manifest"'
FIELDS = {
    "/photos/one": ["</style.css>; rel=preload", MANIFEST],
    "/photos/competing": [MANIFEST, '</other.c2pa>; rel="c2pa-manifest"'],
}


@pytest.fixture(scope="module")
def site():
    with serving_link_fields(FIELDS) as url:
        yield url


@needs("requests")
def test_the_client(site):
    done = {"url": f"{site}/photos/one"}
    exec(code_blocks()["# A client, with requests"], done)
    assert done["manifest_url"] == f"{site}/manifests/photo.c2pa"
    competing = {"url": f"{site}/photos/competing"}
    exec(code_blocks()["# A client, with requests"], competing)
    assert competing["link"] is None and "manifest_url" not in competing


def aiohttp_response(url):
    async def fetch():
        async with aiohttp.ClientSession() as session, session.get(url) as response:
            return response

    return asyncio.run(fetch())


@needs("requests", "httpx", "aiohttp")
def test_each_librarys_fields(site):
    url = f"{site}/photos/one"
    with urllib.request.urlopen(url, timeout=10) as response:
        responses = {"urllib.request": response}
    responses.update(requests=requests.get(url, timeout=10), httpx=httpx.get(url, timeout=10))
    responses["aiohttp"] = aiohttp_response(url)
    lines = code_blocks()["# The Link fields of a response"].splitlines()[1:]
    assert len(lines) == len(responses)
    for line in lines:
        library = line.rsplit("# ", 1)[1]
        done = {"response": responses[library]}
        exec(line, done)
        assert done["fields"] == FIELDS["/photos/one"], library


def test_the_sidecar_middleware(monkeypatch):
    monkeypatch.chdir(ROOT)
    monkeypatch.setattr(sys, "path", list(sys.path))

    def app(*args):
        raise AssertionError("not called")

    done = {"wsgi_app": app, "asgi_app": app}
    exec(code_blocks()["# The sidecar middleware, around an application that serves /srv/assets"], done)
    assert type(done["wsgi_app"]).__name__ == "ManifestLinks" and done["wsgi_app"].app is app
    assert type(done["asgi_app"]).__name__ == "AsgiManifestLinks" and done["asgi_app"].root == "/srv/assets"


def test_typed_use_runs():
    done = {"__name__": "typed_use"}
    exec(code_blocks()["# Typed use"], done)
    assert done["manifest_uri"]([MANIFEST]) == "/manifests/photo.c2pa"
    assert done["manifest_uri"]([]) is None


@needs_mypy
def test_typed_use_passes_mypy_strict(tmp_path):
    source = tmp_path / "typed_use.py"
    source.write_text(code_blocks()["# Typed use"], encoding="utf-8")
    result = mypy_strict(source, cwd=tmp_path)
    assert result.returncode == 0, result.stdout + result.stderr


def test_the_readme_names_every_function():
    text = README.read_text(encoding="utf-8")
    assert all(f"`{name}`" in text for name in provlink.__all__)
