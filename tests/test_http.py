"""provlink with real HTTP clients and servers on loopback."""

import asyncio
import contextlib
import os
import pathlib
import socket
import subprocess
import sys
import threading
import time
import urllib.parse
import urllib.request
from wsgiref.simple_server import WSGIRequestHandler, make_server

import pytest

import provlink
from conftest import import_if_installed, needs, serving_link_fields

aiohttp, httpx, requests, uvicorn = map(import_if_installed, ["aiohttp", "httpx", "requests", "uvicorn"])

EXAMPLES = pathlib.Path(__file__).resolve().parent.parent / "examples"
sys.path.insert(0, str(EXAMPLES))
from sidecar import AsgiManifestLinks, ManifestLinks, asgi_static_files, static_files  # noqa: E402

MANIFEST = '</m.c2pa>; rel="c2pa-manifest"'
EMBEDDED = '<photo.jpg#jumbf=c2pa/urn:uuid:1>; rel="alternate c2pa-manifest"'

# The Link fields each path of the test server answers with.
RESPONSES = {
    "/none": [],
    "/other": ["<https://api.example.com/items?page=2>; rel=next"],
    "/one": [MANIFEST],
    "/several-links-in-one-field": [f'</style.css>; rel=preload; as=style, {MANIFEST}, </next>; rel="next"'],
    "/manifest-in-second-field": ["</style.css>; rel=preload", f"{MANIFEST}; title=\"a, b\""],
    "/manifest-in-two-fields": [MANIFEST, MANIFEST],
    "/embedded": [EMBEDDED],
    "/competing": [MANIFEST, '</other.c2pa>; rel="c2pa-manifest"'],
    # an earlier field that leaves a quote or a bracket open
    "/open-quote-first": ['</x>; title="unclosed', MANIFEST],
    "/open-bracket-first": ["<https://x.example/a", MANIFEST],
}


@pytest.fixture(scope="module")
def link_server():
    with serving_link_fields(RESPONSES) as url:
        yield url


def headers_urllib(url):
    with urllib.request.urlopen(url, timeout=10) as response:
        return response.headers


def headers_requests(url):
    # Joins repeated fields into one.
    return requests.get(url, timeout=10).headers


def headers_urllib3(url):
    # requests' response.raw.headers: urllib3's, which keep the fields apart.
    return requests.get(url, timeout=10).raw.headers


def headers_httpx(url):
    return httpx.get(url, timeout=10).headers


def headers_aiohttp(url):
    async def fetch():
        async with aiohttp.ClientSession() as session, session.get(url) as response:
            return response.headers

    return asyncio.run(fetch())


# Each client's headers object, and how the README reads its Link fields:
# one str per field, as received.
CLIENTS = {
    "urllib": (headers_urllib, lambda headers: headers.get_all("Link") or []),
    "requests": (headers_urllib3, lambda headers: headers.getlist("Link")),
    "httpx": (headers_httpx, lambda headers: headers.get_list("link")),
    "aiohttp": (headers_aiohttp, lambda headers: headers.getall("Link", [])),
}


def fields(client, url):
    headers, link_fields = CLIENTS[client]
    return link_fields(headers(url))


def answer(values):
    try:
        return provlink.extract(values)
    except ValueError as error:
        return error.args


@needs("requests", "httpx", "aiohttp")
@pytest.mark.parametrize("path", RESPONSES)
def test_every_client_reaches_the_same_answer(link_server, path):
    sent = RESPONSES[path]
    expected_links = provlink.locate_all(sent)
    expected = answer(sent)
    for client in CLIENTS:
        received = fields(client, link_server + path)
        assert provlink.locate_all(received) == expected_links, client
        assert answer(received) == expected, client


@needs("requests", "httpx", "aiohttp")
def test_answers_are_what_the_fields_say(link_server):
    uri = {"uri": "/m.c2pa", "jumbf": None, "is_embedded": False}
    assert answer(fields("urllib", link_server + "/none")) is None
    assert answer(fields("urllib", link_server + "/other")) is None
    for path in ("/one", "/several-links-in-one-field", "/manifest-in-second-field", "/manifest-in-two-fields"):
        assert answer(fields("requests", link_server + path)) == uri, path
    assert answer(fields("httpx", link_server + "/embedded")) == {
        "uri": "photo.jpg#jumbf=c2pa",
        "jumbf": "c2pa",
        "is_embedded": True,
    }
    assert answer(fields("aiohttp", link_server + "/competing")) == ("more than one c2pa-manifest target was advertised",)


@needs("requests", "httpx", "aiohttp")
@pytest.mark.parametrize(
    "client, headers",
    [(client, headers) for client, (headers, _) in CLIENTS.items()] + [("requests", headers_requests)],
)
def test_headers_objects_are_refused(link_server, client, headers):
    # A headers object is a mapping, whose iteration yields the fields' names:
    # read as Link values, they would say that no manifest is advertised.
    received = headers(link_server + "/one")
    message = f"argument 'values': '{type(received).__qualname__}' object cannot be converted to 'Sequence'"
    for function in (provlink.extract, provlink.locate_all):
        with pytest.raises(TypeError) as info:
            function(received)
        assert info.value.args == (message,)
    # while the README's way of reading the client's fields finds the link
    assert provlink.extract(fields(client, link_server + "/one"))["uri"] == "/m.c2pa"


@needs("requests")
@pytest.mark.parametrize(
    "path, joined",
    [("/open-quote-first", None), ("/open-bracket-first", "https://x.example/a, </m.c2pa")],
)
def test_requests_joined_value_reads_differently(link_server, path, joined):
    response = requests.get(link_server + path, timeout=10)
    assert provlink.extract(response.raw.headers.getlist("Link"))["uri"] == "/m.c2pa"
    # The joined value carries what the first field left open into the second.
    link = provlink.extract([response.headers["Link"]])
    assert (link and link["uri"]) == joined


# Files that end up in the served directory: a plain asset with its manifest,
# one without, and names that would break a header if written unencoded.
HOSTILE = 'evil "quoted" été\r\nSet-Cookie: stolen=1'


# Windows file names can hold neither quotes nor line breaks.
HOSTILE_NAMES_POSSIBLE = sys.platform != "win32"
hostile_names = pytest.mark.skipif(not HOSTILE_NAMES_POSSIBLE, reason="no such file name on Windows")


@pytest.fixture()
def assets(tmp_path):
    names = ["photo.jpg", "photo.c2pa", "plain.jpg"]
    if HOSTILE_NAMES_POSSIBLE:
        names += [f"{HOSTILE}.jpg", f"{HOSTILE}.c2pa"]
    for name in names:
        (tmp_path / name).write_bytes(b"x")
    return tmp_path


class QuietWSGIHandler(WSGIRequestHandler):
    def log_message(self, *args):
        pass


@contextlib.contextmanager
def wsgi_server(root):
    with make_server("127.0.0.1", 0, ManifestLinks(static_files(root), root), handler_class=QuietWSGIHandler) as server:
        threading.Thread(target=server.serve_forever, daemon=True).start()
        yield server.server_port
        server.shutdown()


@contextlib.contextmanager
def asgi_server(root):
    config = uvicorn.Config(AsgiManifestLinks(asgi_static_files(root), root), host="127.0.0.1", port=0, log_level="error")
    server = uvicorn.Server(config)
    thread = threading.Thread(target=server.run, daemon=True)
    thread.start()
    deadline = time.monotonic() + 60  # a bound against a hang, not a measure of speed
    while not server.started:
        assert time.monotonic() < deadline, "uvicorn did not start"
        time.sleep(0.01)
    (port,) = {sock.getsockname()[1] for s in server.servers for sock in s.sockets}
    yield port
    server.should_exit = True
    thread.join(10)


SERVERS = {"wsgi": wsgi_server, "asgi": asgi_server}
EACH_SERVER = pytest.mark.parametrize("server", [pytest.param("wsgi"), pytest.param("asgi", marks=needs("uvicorn"))])


def raw_response_head(port, path):
    """The status line and header lines exactly as the server sent them."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as connection:
        connection.sendall(f"GET {path} HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n".encode("ascii"))
        received = b""
        while b"\r\n\r\n" not in received:
            chunk = connection.recv(4096)
            assert chunk, "connection closed before the end of the header"
            received += chunk
    return received.split(b"\r\n\r\n", 1)[0].split(b"\r\n")


@needs("httpx")
@EACH_SERVER
def test_middleware_advertises_sidecar_manifests(assets, server):
    with SERVERS[server](assets) as port:
        base = f"http://127.0.0.1:{port}"
        photo = httpx.get(f"{base}/photo.jpg")
        assert photo.status_code == 200
        assert photo.headers.get_list("link") == ['</photo.c2pa>; rel="c2pa-manifest"']
        assert provlink.extract(photo.headers.get_list("link"))["uri"] == "/photo.c2pa"
        assert httpx.get(f"{base}/plain.jpg").headers.get_list("link") == []
        manifest = httpx.get(f"{base}/photo.c2pa")
        assert manifest.headers.get_list("link") == []
        assert manifest.headers["content-type"] == "application/c2pa"
        assert httpx.get(f"{base}/missing.jpg").status_code == 404


@hostile_names
@EACH_SERVER
def test_hostile_file_name_cannot_break_the_header(assets, server):
    with SERVERS[server](assets) as port:
        path = "/" + urllib.request.quote(f"{HOSTILE}.jpg")
        head = raw_response_head(port, path)
    assert head[0].split()[1] == b"200"
    links = [line.split(b":", 1)[1].strip().decode("ascii") for line in head[1:] if line.lower().startswith(b"link:")]
    assert len(links) == 1
    assert not any(line.lower().startswith(b"set-cookie") for line in head)
    assert all(line.isascii() for line in head)
    # and the header reads back as the file's own name, percent-encoded
    assert urllib.request.unquote(provlink.extract(links)["uri"]) == f"/{HOSTILE}.c2pa"


# Names that a URI reference would read otherwise than as a file name. On
# Windows "c:d" names a drive, not a file.
NAMES_AS_SEGMENTS = ["a%2541b", "x%231", "q%3F1", "holiday photo", "été", "a;b,c=d"]
if sys.platform != "win32":
    NAMES_AS_SEGMENTS.append("c:d")


@needs("httpx")
@EACH_SERVER
def test_client_fetches_the_manifest_the_link_names(tmp_path, server):
    for name in NAMES_AS_SEGMENTS:
        (tmp_path / f"{name}.jpg").write_bytes(b"asset")
        (tmp_path / f"{name}.c2pa").write_bytes(f"manifest of {name}".encode())
    with SERVERS[server](tmp_path) as port, httpx.Client(base_url=f"http://127.0.0.1:{port}") as client:
        for name in NAMES_AS_SEGMENTS:
            asset = client.get("/" + urllib.request.quote(f"{name}.jpg"))
            assert asset.status_code == 200, name
            link = provlink.extract(asset.headers.get_list("link"))
            manifest = client.get(str(asset.url.join(link["uri"])))
            assert manifest.status_code == 200, (name, link)
            assert manifest.text == f"manifest of {name}"


def test_demo_prints_its_usage():
    result = subprocess.run(
        [sys.executable, str(EXAMPLES / "demo.py"), "--help"], capture_output=True, text=True, timeout=60
    )
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith("usage: demo.py [-h] [URL]\n")
    assert "a server advertises a sidecar manifest" in result.stdout


def each_client(test):
    """Runs `test` with each of httpx's and requests' get."""
    return pytest.mark.parametrize(
        "get",
        [
            pytest.param(lambda url: httpx.get(url, timeout=10), id="httpx", marks=needs("httpx")),
            pytest.param(lambda url: requests.get(url, timeout=10), id="requests", marks=needs("requests")),
        ],
    )(test)


def manifest_for(get, url):
    """The body of the manifest that the asset at `url` advertises."""
    asset = get(url)
    assert asset.status_code == 200
    link = provlink.extract([asset.headers["link"]])
    return get(urllib.parse.urljoin(str(asset.url), link["uri"])).content


@each_client
@EACH_SERVER
def test_an_encoded_slash_advertises_that_assets_manifest(tmp_path, server, get):
    # /sub%2Fphoto.jpg serves sub/photo.jpg, and a link relative to it would
    # resolve to /photo.c2pa: another photo's manifest.
    (tmp_path / "sub").mkdir()
    for directory in (tmp_path, tmp_path / "sub"):
        (directory / "photo.jpg").write_bytes(b"asset")
        (directory / "photo.c2pa").write_bytes(f"manifest in {directory.name}".encode())
    with SERVERS[server](tmp_path) as port:
        assert manifest_for(get, f"http://127.0.0.1:{port}/sub%2Fphoto.jpg") == b"manifest in sub"


@pytest.fixture()
def not_utf8(tmp_path):
    """A directory holding an asset and its manifest whose names are not UTF-8."""
    try:
        (tmp_path / os.fsdecode(b"\xff.jpg")).write_bytes(b"asset")
        (tmp_path / os.fsdecode(b"\xff.c2pa")).write_bytes(b"manifest of \xff")
    except (OSError, UnicodeError):
        pytest.skip("this file system takes only UTF-8 names")
    return tmp_path


@each_client
@EACH_SERVER
def test_a_name_that_is_not_utf8_advertises_its_manifest(not_utf8, server, get):
    with SERVERS[server](not_utf8) as port:
        assert manifest_for(get, f"http://127.0.0.1:{port}/%FF.jpg") == b"manifest of \xff"


@needs("httpx")
@EACH_SERVER
def test_an_asset_without_a_possible_link_is_served_without_one(tmp_path, server):
    # The longest name a file can have, whose manifest's name would be longer.
    name = "a" * 251 + ".jpg"
    try:
        (tmp_path / name).write_bytes(b"asset")
    except OSError as error:  # Windows, where a path may be no longer than 260 characters
        pytest.skip(f"no file of a name of 255 characters here: {error}")
    with SERVERS[server](tmp_path) as port:
        asset = httpx.get(f"http://127.0.0.1:{port}/{name}")
    assert (asset.status_code, asset.content, asset.headers.get_list("link")) == (200, b"asset", [])
