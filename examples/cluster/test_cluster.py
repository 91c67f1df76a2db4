"""The Dask example on a local cluster of two worker processes."""

from __future__ import annotations

import json
import subprocess
import sys
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent
ROOT = HERE.parent.parent
sys.path.insert(0, str(HERE))

distributed = pytest.importorskip("distributed")
import morvane_cluster  # noqa: E402


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, distributed.Client(cluster) as c:
        yield c


def expected_ids(pages):
    return [Path(p).name.split("_")[0] for p in pages]


def test_pages_in_order_with_one_classifier_per_worker(client, tmp_path):
    broken = tmp_path / "broken.png"
    broken.write_bytes(b"not an image")
    pages = morvane_cluster.pages_of([str(ROOT / "examples/pages/300dpi")]) * 3 + [str(broken)]
    lines = list(morvane_cluster.classify_pages(client, pages, chunk=2))
    records = [json.loads(line) for line in lines]
    assert [r["path"] for r in records] == pages
    assert [r.get("id") for r in records[:-1]] == expected_ids(pages[:-1])
    assert records[-1] == {"path": str(broken), "error": "Failed to read image file", "code": -16,
                           "detail": f"{broken}: unknown format by signature (first bytes 6e 6f 74 20 61 6e 20 69)",
                           "score": None, "margin": None}
    states = client.run(morvane_cluster.worker_state)
    assert len(states) == 2
    assert len({s["pid"] for s in states.values()}) == 2
    # Each worker process loaded its classifier at most once for 19 tasks.
    assert all(s["loads"] <= 1 for s in states.values())
    assert sum(s["loads"] for s in states.values()) >= 1


def test_resolution_and_templates_reach_the_workers(client):
    pages = morvane_cluster.pages_of([str(ROOT / "examples/pages/200dpi")])
    lines = list(morvane_cluster.classify_pages(client, pages, dpi=(200, 200), chunk=3,
                                                templates=[str(ROOT / "examples/templates/main.xml")]))
    assert [json.loads(line).get("id") for line in lines] == expected_ids(pages)


def test_command_line_on_a_local_cluster():
    done = subprocess.run([sys.executable, str(HERE / "morvane_cluster.py"), "--workers", "2", "--dpi", "400",
                           str(ROOT / "examples/pages/400dpi")], capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    pages = morvane_cluster.pages_of([str(ROOT / "examples/pages/400dpi")])
    records = [json.loads(line) for line in done.stdout.splitlines()]
    assert [r["path"] for r in records] == pages
    assert [r["id"] for r in records] == expected_ids(pages)
    assert "pages/s) on 2 workers" in done.stderr
