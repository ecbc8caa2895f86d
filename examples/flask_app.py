"""A Flask application that serves a directory of assets, each one's sidecar
C2PA manifest advertised in a Link field:

    python -m pip install -r examples/requirements.txt
    python examples/flask_app.py DIRECTORY [PORT]

GET /assets/photos/photo.jpg serves DIRECTORY/photos/photo.jpg, and when
DIRECTORY/photos/photo.c2pa lies beside it, adds

    Link: </assets/photos/photo.c2pa>; rel="c2pa-manifest"

url_for writes the manifest's path percent-encoded, so the link names that
file whatever its name holds, and provlink.format writes a header that no
name can break. The manifest itself is served as application/c2pa.
"""

import os.path
import posixpath
import sys

import provlink
from flask import Flask, send_from_directory, url_for
from werkzeug.security import safe_join


def create_app(directory):
    app = Flask(__name__)

    @app.get("/assets/<path:name>")
    def asset(name):
        manifest = name.endswith(".c2pa")
        # 404 for a name that leaves the directory or names no file.
        response = send_from_directory(directory, name, mimetype="application/c2pa" if manifest else None)
        sidecar = posixpath.splitext(name)[0] + ".c2pa"
        sidecar_path = safe_join(directory, sidecar)
        if not manifest and sidecar_path is not None and os.path.isfile(sidecar_path):
            response.headers["Link"] = provlink.format(url_for("asset", name=sidecar))
        return response

    return app


if __name__ == "__main__":
    create_app(sys.argv[1]).run(port=int(sys.argv[2]) if len(sys.argv) > 2 else 8000)
