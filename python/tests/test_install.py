"""pip installs the package, and the installed copy works."""

from __future__ import annotations

import os
import shutil
import subprocess
import sys


def test_pip_install(root, tmp_path, env_with_package):
    # pip builds in the source folder it is given: build from a copy so the
    # checkout stays clean.
    source = tmp_path / "source"
    shutil.copytree(root / "python", source, ignore=shutil.ignore_patterns("build", "*.egg-info", "__pycache__",
                                                                           ".pytest_cache"))
    target = tmp_path / "site"
    build = subprocess.run([sys.executable, "-m", "pip", "install", "--no-build-isolation", "--no-index",
                            "--no-deps", "--target", str(target), "--no-cache-dir", str(source)],
                           capture_output=True, text=True, timeout=300, cwd=tmp_path)
    assert build.returncode == 0, build.stdout + build.stderr
    assert (target / "morvane" / "py.typed").is_file()
    import morvane
    env = dict(os.environ, PYTHONPATH=str(target), MORVANE_LIBRARY=morvane.load_library().path,
               MORVANE_DATA_DIR=str(root / "examples"))
    page = root / "examples/pages/300dpi/A5_page.jpg"
    done = subprocess.run([sys.executable, "-m", "morvane", str(page)], env=env, capture_output=True, text=True,
                          timeout=120, cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split("\t")[1] == "A5"
    where = subprocess.run([sys.executable, "-c", "import morvane; print(morvane.__file__)"], env=env,
                           capture_output=True, text=True, timeout=60, cwd=tmp_path)
    assert where.stdout.startswith(str(target))
