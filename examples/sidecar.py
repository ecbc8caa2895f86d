"""Advertising sidecar C2PA manifests from a web server, as WSGI and ASGI middleware.

A request for `/photos/photo.jpg` is answered with

    Link: </photos/photo.c2pa>; rel="c2pa-manifest"

when `photo.c2pa` lies beside `photo.jpg`. The link is the manifest's path
from the root of the site, each segment percent-encoded from the file
name's bytes, so that it names exactly that file: whatever the name holds
(`%`, `#`, `?`, `:`, quotes, CR/LF, non-ASCII, bytes that are not UTF-8),
and however the request named the asset (`/photos%2Fphoto.jpg` too, against
which a relative link would resolve to `/photo.c2pa`). Where no such link can
be made, the asset is served without one.

    app = ManifestLinks(static_files(root), root)           # WSGI
    app = AsgiManifestLinks(asgi_static_files(root), root)  # ASGI

`static_files` and `asgi_static_files` are small file servers for trying the
middleware out; in production it wraps whatever application serves the
assets. A `.c2pa` file is served as `application/c2pa`.
"""

import mimetypes
import os
import pathlib
import urllib.parse

import provlink

mimetypes.add_type("application/c2pa", ".c2pa")


def asset_file(root, path):
    """The file under `root` that a URL path (decoded) names, or None."""
    root = pathlib.Path(root).resolve()
    try:
        candidate = (root / path.lstrip("/")).resolve()
        if candidate != root and root in candidate.parents and candidate.is_file():
            return candidate
    except (OSError, ValueError):  # a name no file can have: too long, or holding a NUL
        pass
    return None


def sidecar_link(root, path, mount=""):
    """The Link field value advertising the sidecar manifest of the asset that
    `path` names, or None when it has none. `mount` is the path that the
    application is mounted at."""
    root = pathlib.Path(root).resolve()
    asset = asset_file(root, path)
    if asset is None or asset.suffix == ".c2pa":
        return None
    sidecar = asset.with_suffix(".c2pa")
    try:
        if not sidecar.is_file():
            return None
    except OSError:  # its name is too long for the file system: there is no such file
        return None
    return manifest_link(sidecar.relative_to(root).parts, mount)


def manifest_link(names, mount=""):
    """The Link field value advertising the file that `names` (its path from
    the served directory, name by name) names, under the site's `mount`."""
    # Each segment from the name's bytes, every byte that a segment may not
    # hold as it is percent-encoded: left as they are, "%41" would be read as
    # "A", "#" and "?" would end the path.
    segments = "".join("/" + urllib.parse.quote(os.fsencode(name), safe="") for name in names)
    return provlink.format(urllib.parse.quote(os.fsencode(mount), safe="/") + segments)


def wsgi_text(value):
    # WSGI carries the bytes of the path as latin-1 text; a file name is
    # those bytes, as the file system encoding decodes them.
    return os.fsdecode(value.encode("latin-1"))


def wsgi_path(environ):
    return wsgi_text(environ.get("PATH_INFO", ""))


def asgi_path(scope):
    # raw_path holds the bytes as the client sent them, where path has them
    # decoded as UTF-8, lossily.
    raw = scope.get("raw_path")
    path = os.fsdecode(urllib.parse.unquote_to_bytes(raw)) if raw else scope["path"]
    root_path = scope.get("root_path", "")
    return path[len(root_path) :] if root_path and path.startswith(root_path) else path


class ManifestLinks:
    """WSGI middleware: adds the Link field for a sidecar manifest to the wrapped application's response."""

    def __init__(self, app, root):
        self.app = app
        self.root = root

    def __call__(self, environ, start_response):
        link = sidecar_link(self.root, wsgi_path(environ), wsgi_text(environ.get("SCRIPT_NAME", "")))
        if link is None:
            return self.app(environ, start_response)

        def start_with_link(status, headers, exc_info=None):
            return start_response(status, [*headers, ("Link", link)], exc_info)

        return self.app(environ, start_with_link)


class AsgiManifestLinks:
    """ASGI middleware: adds the Link field for a sidecar manifest to the wrapped application's response."""

    def __init__(self, app, root):
        self.app = app
        self.root = root

    async def __call__(self, scope, receive, send):
        link = None
        if scope["type"] == "http":
            link = sidecar_link(self.root, asgi_path(scope), scope.get("root_path", ""))
        if link is None:
            await self.app(scope, receive, send)
            return

        async def send_with_link(message):
            if message["type"] == "http.response.start":
                # format() writes pure ASCII, so the value is a valid header as it is.
                message = {**message, "headers": [*message.get("headers", []), (b"link", link.encode("ascii"))]}
            await send(message)

        await self.app(scope, receive, send_with_link)


def file_response(root, path):
    """Status, headers and body for a GET of `path` from a directory of static files."""
    asset = asset_file(root, path)
    if asset is None:
        return "404 Not Found", [("Content-Type", "text/plain")], b"not found\n"
    body = asset.read_bytes()
    kind = mimetypes.guess_type(asset.name)[0] or "application/octet-stream"
    return "200 OK", [("Content-Type", kind), ("Content-Length", str(len(body)))], body


def static_files(root):
    """A WSGI application serving the files under `root`."""

    def app(environ, start_response):
        status, headers, body = file_response(root, wsgi_path(environ))
        start_response(status, headers)
        return [body]

    return app


def asgi_static_files(root):
    """An ASGI application serving the files under `root`."""

    async def app(scope, receive, send):
        status, headers, body = file_response(root, asgi_path(scope))
        await send(
            {
                "type": "http.response.start",
                "status": int(status.split()[0]),
                "headers": [(name.lower().encode(), value.encode()) for name, value in headers],
            }
        )
        await send({"type": "http.response.body", "body": body})

    return app
