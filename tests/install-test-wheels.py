"""Installs the test extra of the installed provlink one package at a time,
from wheels only: the release workflow's test runs have no compiler to
count on. A package with no wheel for the platform is left out, and the
tests that need it skip, saying so. Further arguments go to pip install, as
when it installs for another interpreter (--target, --platform).
    python tests/install-test-wheels.py [pip install options]
"""

import importlib.metadata
import subprocess
import sys

from packaging.requirements import Requirement

missing = []
for text in importlib.metadata.requires("provlink") or []:
    requirement = Requirement(text)
    if not (requirement.marker and requirement.marker.evaluate({"extra": "test"})):
        continue
    wanted = f"{requirement.name}{requirement.specifier}"
    command = [sys.executable, "-m", "pip", "install", "--only-binary=:all:", *sys.argv[1:], wanted]
    if subprocess.run(command).returncode != 0:
        missing.append(wanted)
if missing:
    print("no wheel for this platform, so their tests skip:", ", ".join(missing))
