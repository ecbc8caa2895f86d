"""Fails where a release file's long description (the README, which becomes
the release's page on PyPI) holds what cannot stay true there: a page once
published never changes, so no words that a release makes untrue, and no
relative link, which PyPI cannot follow.
    python scripts/check-long-description.py FILE...
"""

import email
import re
import sys
import tarfile
import zipfile

# Words that a published release makes untrue.
STALE = re.compile(r"not (?:yet )?on PyPI|no release is on PyPI|none is on PyPI|has not run yet|unreleased", re.I)
# A Markdown link or image whose target names no scheme: relative to a
# repository that the page is not in.
RELATIVE = re.compile(r"\]\((?![a-z][a-z0-9+.-]*:)([^)]*)\)", re.I)


def metadata(path):
    if path.endswith(".whl"):
        with zipfile.ZipFile(path) as wheel:
            (name,) = [n for n in wheel.namelist() if n.endswith(".dist-info/METADATA")]
            return wheel.read(name).decode()
    with tarfile.open(path) as sdist:
        (member,) = [m for m in sdist.getmembers() if m.name.count("/") == 1 and m.name.endswith("/PKG-INFO")]
        return sdist.extractfile(member).read().decode()


failures = []
for path in sys.argv[1:]:
    description = email.message_from_string(metadata(path)).get_payload()
    for number, line in enumerate(description.splitlines(), 1):
        for found in [*STALE.findall(line), *RELATIVE.findall(line)]:
            failures.append(f"{path}: line {number} of the long description: {found!r} in {line.strip()!r}")
if failures:
    sys.exit("\n".join(failures))
print(f"{len(sys.argv) - 1} long descriptions: no stale words, no relative links")
