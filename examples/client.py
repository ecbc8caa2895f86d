"""Finds the C2PA manifest that a web resource advertises in its Link
fields, and fetches it:

    python -m pip install -r examples/requirements.txt
    python examples/client.py URL [FILE]

It prints where the manifest is, and saves a sidecar manifest to FILE.
"""

import sys
import urllib.parse

import provlink
import requests


def main(url, file=None):
    response = requests.get(url, timeout=30)
    response.raise_for_status()
    # The fields as received, one str each: requests joins them in
    # response.headers, urllib3's headers under it keep them apart.
    fields = response.raw.headers.getlist("Link")
    try:
        link = provlink.extract(fields)
    except ValueError as error:  # different manifests compete: none is the one
        return f"{response.url}: {error}"
    if link is None:
        return f"{response.url} advertises no C2PA manifest"
    if link["is_embedded"]:
        # The manifest is inside the asset's own bytes: fetching the link
        # would only download the asset again.
        print(f"{response.url} embeds its manifest, in the JUMBF box {link['jumbf']!r}")
        return None
    manifest_url = urllib.parse.urljoin(response.url, link["uri"])
    manifest = requests.get(manifest_url, timeout=30)
    manifest.raise_for_status()
    print(f"{manifest_url}: {len(manifest.content)} bytes, {manifest.headers.get('Content-Type')}")
    if file is not None:
        with open(file, "wb") as out:
            out.write(manifest.content)
    return None


if __name__ == "__main__":
    if not 2 <= len(sys.argv) <= 3:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
