#!/usr/bin/env python3
"""Two threads on two classifier handles against two worker processes.

Classifies the bundled pages (examples/pages/{200,300,400}dpi, repeated
--rounds times) with the example main template, four ways, and prints the
wall-clock time of each and the pages per second:

  threads 1   one Classifier (one handle) on one thread
  threads 2   two Classifiers (two handles), each on its own thread, the
              pages dealt out in turn
  jobs 1      morvane-classify --jobs 1 over the same pages
  jobs 2      morvane-classify --jobs 2 over the same pages

Every run includes making its classifiers and loading the template, as a
worker process must. The answers of all four runs are compared: a run that
answers differently fails the benchmark.

  MORVANE_LIBRARY=build-release/libmorvaneclassifier.so \\
      python3 bench/threads_vs_jobs.py --tool build-release/morvane-classify
"""

from __future__ import annotations

import argparse
import os
import subprocess
import sys
import threading
import time
from pathlib import Path
from typing import Dict, List, Tuple

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "python"))

import morvane  # noqa: E402

TEMPLATE = ROOT / "examples" / "templates" / "main.xml"


def pages(rounds: int) -> List[Path]:
    found = sorted(p for d in ("200dpi", "300dpi", "400dpi") for p in (ROOT / "examples" / "pages" / d).iterdir())
    return found * rounds


def on_threads(work: List[Path], threads: int) -> Tuple[float, Dict[int, str]]:
    answers: Dict[int, str] = {}
    start = time.perf_counter()

    def run(part: int) -> None:
        with morvane.Classifier() as c:
            index = c.add_template(TEMPLATE)
            for i in range(part, len(work), threads):
                try:
                    answers[i] = c.classify(work[i], index).id
                except morvane.MorvaneError as e:
                    answers[i] = f"code {e.code}"

    pool = [threading.Thread(target=run, args=(t,)) for t in range(threads)]
    for t in pool:
        t.start()
    for t in pool:
        t.join()
    return time.perf_counter() - start, answers


def in_processes(tool: str, work: List[Path], jobs: int) -> Tuple[float, Dict[int, str]]:
    start = time.perf_counter()
    out = subprocess.run([tool, "-t", str(TEMPLATE), "--dpi", "template", "--jobs", str(jobs)]
                         + [str(p) for p in work], capture_output=True, text=True, check=False)
    elapsed = time.perf_counter() - start
    lines = out.stdout.splitlines()
    if len(lines) != len(work):
        raise SystemExit(f"{tool}: {len(lines)} lines for {len(work)} pages\n{out.stderr}")
    answers: Dict[int, str] = {}
    for i, line in enumerate(lines):
        fields = line.split("\t")
        if fields[0] != str(work[i]):
            raise SystemExit(f"{tool}: line {i} is for {fields[0]}, not {work[i]}")
        answers[i] = fields[1] if len(fields) == 4 else "code " + fields[-1].split()[-1].strip("()")
    return elapsed, answers


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tool", required=True, help="the morvane-classify program")
    parser.add_argument("--rounds", type=int, default=3, help="times the page set is classified")
    args = parser.parse_args()
    work = pages(args.rounds)
    runs = [("threads 1", lambda: on_threads(work, 1)), ("threads 2", lambda: on_threads(work, 2)),
            ("jobs 1", lambda: in_processes(args.tool, work, 1)),
            ("jobs 2", lambda: in_processes(args.tool, work, 2))]
    reference: Dict[int, str] = {}
    print(f"{len(work)} pages, {os.cpu_count()} processors")
    for name, run in runs:
        elapsed, answers = run()
        if not reference:
            reference = answers
        elif answers != reference:
            wrong = [str(work[i]) for i in answers if answers[i] != reference.get(i)]
            print(f"{name}: answers differ from the first run on {len(wrong)} pages: {wrong[:3]}")
            return 1
        print(f"{name:10s} {elapsed:7.2f} s  {len(work) / elapsed:6.1f} pages/s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
