#!/usr/bin/env python3
"""Classifies a folder of pages on a Dask cluster, one JSON line per page.

Every Dask worker process holds its own classifier, loaded once per process
(the library keeps one classifier per process), and classifies the chunks of
pages the scheduler hands it. Lines come out in input order, in the same form
as ``morvane-classify --json``.

    # on this machine: one worker process per core
    python3 examples/cluster/morvane_cluster.py examples/pages/300dpi

    # on a cluster started elsewhere (dask-scheduler / dask-worker)
    python3 examples/cluster/morvane_cluster.py --scheduler tcp://10.0.0.5:8786 /shared/pages
"""

from __future__ import annotations

import argparse
import json
import os
import sys
import threading
import time
from pathlib import Path
from typing import Dict, Iterator, List, Optional, Sequence, Tuple

_HERE = Path(__file__).resolve().parent
_CHECKOUT_PYTHON = _HERE.parent.parent / "python"
if (_CHECKOUT_PYTHON / "morvane" / "__init__.py").is_file() and str(_CHECKOUT_PYTHON) not in sys.path:
    sys.path.insert(0, str(_CHECKOUT_PYTHON))  # run from a checkout without installing the package

import morvane  # noqa: E402
from morvane.__main__ import Outcome, classify_page, format_line, pages_of  # noqa: E402

# Result code of pages whose worker was lost (the library's "Undefined error").
ERR_WORKER_LOST = -63

# -- worker side ---------------------------------------------------------------

# One classifier per worker process, made on the first task and kept for the
# following ones. Settings = (workdir, templates, valid IDs).
_lock = threading.Lock()
_state: Dict[str, object] = {"settings": None, "classifier": None, "indexes": [], "loads": 0}


def _classifier(settings: Tuple[Optional[str], Tuple[str, ...], Tuple[str, ...]]):
    if _state["settings"] != settings:
        old = _state["classifier"]
        if old is not None:
            old.close()  # type: ignore[attr-defined]
            _state["classifier"] = None
        workdir, templates, valid = settings
        classifier = morvane.Classifier(workdir=workdir)
        # Pages without a given resolution are measured with the one their
        # file states, as the command-line tool does by default.
        classifier.set_file_resolution(True)
        indexes = [classifier.add_template(t) for t in (templates or (str(morvane.default_template()),))]
        if valid:
            for index in indexes:
                classifier.set_valid(valid, index)
        _state.update(settings=settings, classifier=classifier, indexes=indexes, loads=int(_state["loads"]) + 1)
    return _state["classifier"], _state["indexes"]


def classify_chunk(pages: Sequence[Tuple[str, str]], settings, dpi: Optional[Tuple[int, int]]) -> List[str]:
    """Runs on a worker: one JSON line per (path as given, absolute path)."""
    with _lock:
        try:
            classifier, indexes = _classifier(settings)
        except (morvane.MorvaneError, morvane.LibraryNotFoundError, ValueError) as e:
            code = getattr(e, "code", ERR_WORKER_LOST)
            failed = Outcome(None, code, f"cannot load the classifier: {e}")
            return [format_line(shown, failed, True) for shown, _ in pages]
        lines = []
        for shown, path in pages:
            outcome = classify_page(classifier, path, indexes, dpi)  # type: ignore[arg-type]
            lines.append(format_line(shown, outcome, True))
        return lines


def warm_up(settings) -> int:
    """Runs on every worker (client.run): loads its classifier ahead of the first page."""
    with _lock:
        _classifier(settings)
        return os.getpid()


def worker_state() -> Dict[str, int]:
    """Runs on a worker (client.run): its process and how often it loaded a classifier."""
    return {"pid": os.getpid(), "loads": int(_state["loads"])}


# -- client side ---------------------------------------------------------------

def make_settings(templates: Sequence[str] = (), workdir: Optional[str] = None, valid: Sequence[str] = ()):
    """What a worker's classifier is loaded with. Paths are made absolute:
    workers need not share the client's working directory."""
    return (os.path.abspath(workdir) if workdir else None, tuple(os.path.abspath(str(t)) for t in templates),
            tuple(valid))


def classify_pages(client, pages: Sequence[str], templates: Sequence[str] = (), workdir: Optional[str] = None,
                   dpi: Optional[Tuple[int, int]] = None, valid: Sequence[str] = (),
                   chunk: int = 4) -> Iterator[str]:
    """Yields one JSON line per page, in input order, classified on the cluster."""
    settings = make_settings(templates, workdir, valid)
    pairs = [(p, os.path.abspath(p)) for p in pages]
    step = max(chunk, 1)
    chunks = [pairs[i:i + step] for i in range(0, len(pairs), step)]
    futures = [client.submit(classify_chunk, c, settings, dpi, pure=False) for c in chunks]
    try:
        for pages_of_chunk, future in zip(chunks, futures):
            try:
                lines = future.result()
            except Exception as e:  # the chunk's worker died too often (KilledWorker) or the task failed
                reason = f"worker lost: {type(e).__name__}: {e}".replace("\n", " ")
                lost = Outcome(None, ERR_WORKER_LOST, reason)
                lines = [format_line(shown, lost, True) for shown, _ in pages_of_chunk]
            yield from lines
    finally:
        for future in futures:
            future.release()


def _parse_dpi(text: str) -> Optional[Tuple[int, int]]:
    """H[,V], or auto (the default: the file's stated resolution, else the
    templates' own)."""
    from morvane.__main__ import parse_dpi
    value = parse_dpi(text)
    if value == "template":
        raise argparse.ArgumentTypeError("--dpi template is not offered here: give H[,V] or auto")
    return None if isinstance(value, str) else value


def main(argv: Optional[Sequence[str]] = None) -> int:
    parser = argparse.ArgumentParser(description="Classify pages on a Dask cluster; one JSON line per page.")
    parser.add_argument("paths", nargs="+", metavar="PATH", help="page files or folders (searched recursively)")
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--scheduler", metavar="ADDRESS", help="address of a running Dask scheduler")
    where.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                       help="worker processes of the local cluster (default: one per core)")
    parser.add_argument("-t", dest="templates", action="append", default=[], metavar="MAIN.xml")
    parser.add_argument("-w", dest="workdir", metavar="WORKDIR")
    parser.add_argument("--dpi", type=_parse_dpi, metavar="H[,V]")
    parser.add_argument("--valid", action="append", default=[], metavar="ID")
    parser.add_argument("--chunk", type=int, default=4, help="pages per task (default 4)")
    parser.add_argument("--repeat", type=int, default=1, help="classify the pages this many times (measuring)")
    args = parser.parse_args(argv)
    if args.workers < 1 or args.chunk < 1 or args.repeat < 1:
        parser.error("--workers, --chunk and --repeat take numbers of 1 or more")

    from dask.distributed import Client, LocalCluster

    pages = pages_of(args.paths) * args.repeat
    cluster = None
    if args.scheduler:
        client = Client(args.scheduler)
        client.upload_file(__file__)  # the workers import this module by name
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                               dashboard_address=None)
        client = Client(cluster)
    try:
        failed = False
        # Every worker loads its classifier before the clock starts.
        client.run(warm_up, make_settings(args.templates, args.workdir, args.valid))
        start = time.perf_counter()
        for line in classify_pages(client, pages, args.templates, args.workdir, args.dpi, args.valid, args.chunk):
            failed |= "error" in json.loads(line)
            print(line, flush=True)
        seconds = time.perf_counter() - start
        workers = len(client.scheduler_info()["workers"])
        print(f"{len(pages)} pages in {seconds:.2f} s ({len(pages) / seconds:.1f} pages/s) on {workers} workers",
              file=sys.stderr)
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    return 1 if failed else 0


if __name__ == "__main__":
    # Submit the functions of the importable module, not of __main__, so the
    # workers keep one classifier per process between tasks.
    sys.path.insert(0, str(_HERE))
    import morvane_cluster

    sys.exit(morvane_cluster.main())
