"""The stubs that the wheel ships: what type checkers see must match the module."""

import importlib.metadata
import importlib.util
import os
import pathlib
import shutil
import subprocess
import sys
import sysconfig

import pytest

from conftest import mypy_strict, needs_mypy

ROOT = pathlib.Path(__file__).resolve().parent.parent
USAGE = ROOT / "tests" / "typing" / "usage.py"

pytestmark = pytest.mark.skipif(
    "asan" in os.environ.get("LD_PRELOAD", ""), reason="type checkers do not run the module's code"
)


def run(*command):
    result = subprocess.run(command, capture_output=True, text=True, timeout=300, cwd=ROOT / "tests")
    assert result.returncode == 0, result.stdout + result.stderr
    return result.stdout


def test_wheel_ships_the_stubs():
    files = {str(path) for path in importlib.metadata.files("provlink")}
    assert "provlink-stubs/__init__.pyi" in files


@needs_mypy
def test_stubs_match_the_module():
    output = run(
        sys.executable, "-m", "mypy.stubtest", "provlink", "--allowlist", str(ROOT / "stubs" / "stubtest-allowlist.txt")
    )
    assert "Success" in output


@needs_mypy
def test_typed_use_passes_mypy_strict():
    result = mypy_strict(USAGE, cwd=ROOT / "tests")
    assert result.returncode == 0, result.stdout + result.stderr
    assert "Success" in result.stdout


@pytest.mark.skipif(
    importlib.util.find_spec("basedpyright") is None, reason="basedpyright is not installed: pip install '.[typing]'"
)
def test_typed_use_passes_pyright():
    # The environment's own command: bin/basedpyright, or Scripts\basedpyright.exe on Windows.
    basedpyright = shutil.which("basedpyright", path=sysconfig.get_path("scripts"))
    assert "0 errors" in run(basedpyright, "--pythonpath", sys.executable, str(USAGE))
