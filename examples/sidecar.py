"""Advertising sidecar C2PA manifests from a web server, as WSGI and ASGI middleware.

A request for `photo.jpg` is answered with

    Link: <photo.c2pa>; rel="c2pa-manifest"

when `photo.c2pa` lies beside it. `provlink.format` takes a URI reference,
not a file name: the name is first made a path segment, every character
that a segment may not hold as it is percent-encoded (`%`, `#`, `?` and `:`
among them), so the link names exactly that file, and no file name (spaces,
quotes, CR/LF, non-ASCII) can break the header or inject one of its own.

    app = ManifestLinks(static_files(root), root)        # WSGI
    app = AsgiManifestLinks(asgi_static_files(root), root)  # ASGI

`static_files` and `asgi_static_files` are small file servers for trying the
middleware out; in production it wraps whatever application serves the
assets.
"""

import mimetypes
import pathlib
import urllib.parse

import provlink


def asset_file(root, path):
    """The file under `root` that a URL path names, or None."""
    root = pathlib.Path(root).resolve()
    candidate = (root / path.lstrip("/")).resolve()
    if candidate != root and root in candidate.parents and candidate.is_file():
        return candidate
    return None


def sidecar_link(root, path):
    """The Link field value advertising the asset's sidecar manifest, or None when it has none."""
    asset = asset_file(root, path)
    if asset is None or asset.suffix == ".c2pa":
        return None
    sidecar = asset.with_suffix(".c2pa")
    if not sidecar.is_file():
        return None
    # A reference relative to the asset's own URL: the sidecar's file name
    # as one path segment. Left as they are, "%41" would be read as "A", "#"
    # and "?" would end the path, and "a:b" would be a URI of scheme "a".
    return provlink.format(urllib.parse.quote(sidecar.name, safe=""))


def wsgi_path(environ):
    # PATH_INFO carries the decoded bytes of the path as latin-1 text.
    return environ.get("PATH_INFO", "").encode("latin-1").decode("utf-8", "surrogateescape")


class ManifestLinks:
    """WSGI middleware: adds the Link field for a sidecar manifest to the wrapped application's response."""

    def __init__(self, app, root):
        self.app = app
        self.root = root

    def __call__(self, environ, start_response):
        link = sidecar_link(self.root, wsgi_path(environ))
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
        link = sidecar_link(self.root, scope["path"]) if scope["type"] == "http" else None
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
        status, headers, body = file_response(root, scope["path"])
        await send(
            {
                "type": "http.response.start",
                "status": int(status.split()[0]),
                "headers": [(name.lower().encode(), value.encode()) for name, value in headers],
            }
        )
        await send({"type": "http.response.body", "body": body})

    return app
