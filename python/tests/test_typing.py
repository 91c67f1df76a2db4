"""The package's annotations hold up under mypy --strict."""

from __future__ import annotations

import subprocess
import sys

import pytest


def test_mypy_strict(root, tmp_path):
    pytest.importorskip("mypy", reason="mypy (python3-mypy) is not installed")
    done = subprocess.run([sys.executable, "-m", "mypy", "--strict", "--ignore-missing-imports",
                           "--cache-dir", str(tmp_path / "cache"), str(root / "python" / "morvane")],
                          capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stdout + done.stderr
