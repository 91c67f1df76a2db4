"""Fixtures of the Python package tests.

The library is found as the package finds it (MORVANE_LIBRARY, an installed
tree, or a build tree of this checkout); scripts/test.sh points
MORVANE_LIBRARY at a release build.
"""

from __future__ import annotations

import os
import sys
from pathlib import Path
from typing import Iterator

import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "python"))

import morvane  # noqa: E402


@pytest.fixture(scope="session")
def root() -> Path:
    return ROOT


@pytest.fixture()
def classifier() -> Iterator[morvane.Classifier]:
    with morvane.Classifier() as c:
        yield c


@pytest.fixture()
def main_index(classifier: morvane.Classifier) -> int:
    return classifier.add_template(ROOT / "examples" / "templates" / "main.xml")


def read_bmp_1bit(path: Path):
    """Reads an uncompressed 1-bit BMP into a gray uint8 array (0 black)."""
    import numpy as np

    data = path.read_bytes()
    assert data[:2] == b"BM"
    offset = int.from_bytes(data[10:14], "little")
    width = int.from_bytes(data[18:22], "little", signed=True)
    height = int.from_bytes(data[22:26], "little", signed=True)
    assert int.from_bytes(data[28:30], "little") == 1
    palette = np.frombuffer(data[54:62], dtype=np.uint8).reshape(2, 4)[:, :3].mean(axis=1).astype(np.uint8)
    stride = ((width + 31) // 32) * 4
    rows = np.frombuffer(data, dtype=np.uint8, count=stride * abs(height), offset=offset).reshape(abs(height), stride)
    bits = np.unpackbits(rows, axis=1)[:, :width]
    image = palette[bits]
    return image[::-1] if height > 0 else image


@pytest.fixture(scope="session")
def bmp_reader():
    return read_bmp_1bit


@pytest.fixture(scope="session")
def c_tool() -> Path:
    """The C command-line tool beside the library in use, if there is one."""
    lib = Path(morvane.load_library().path)
    tool = lib.parent / "morvane-classify"
    if not tool.is_file():
        tool = lib.parent.parent / "bin" / "morvane-classify"
    if not tool.is_file():
        pytest.skip(f"no morvane-classify beside {lib}")
    return tool


@pytest.fixture()
def env_with_package() -> dict:
    env = dict(os.environ)
    env["PYTHONPATH"] = str(ROOT / "python") + os.pathsep + env.get("PYTHONPATH", "")
    return env
