#!/usr/bin/env python3
"""Classifies each hostile file in its own morvane-classify process and checks
that it is refused or read within the bounds: under 1 s and under 512 MB peak
resident memory (a release build is expected), and that no truncated file
(named cut_*) is classified. Usage: run.py TOOL DIR
Prints one line per file with the refusal's cause; exits 1 when any file
breaks a bound."""
import os
import signal
import sys
import tempfile
import threading
import time

TIME_LIMIT_S = 1.0
RSS_LIMIT_MB = 512
KILL_AFTER_S = 60


def run_one(tool, path):
    """Returns (seconds, peak resident MB, output line) of one classification."""
    with tempfile.TemporaryFile() as out:
        start = time.monotonic()
        pid = os.posix_spawn(tool, [tool, path], os.environ,
                             file_actions=[(os.POSIX_SPAWN_DUP2, out.fileno(), 1),
                                           (os.POSIX_SPAWN_OPEN, 2, os.devnull, os.O_WRONLY, 0)])
        watchdog = threading.Timer(KILL_AFTER_S, lambda: os.kill(pid, signal.SIGKILL))
        watchdog.start()
        _, _, usage = os.wait4(pid, 0)
        watchdog.cancel()
        elapsed = time.monotonic() - start
        out.seek(0)
        line = out.read().decode(errors="replace").strip()
    return elapsed, usage.ru_maxrss / 1024.0, line


def main():
    tool, folder = sys.argv[1], sys.argv[2]
    failed = False
    print(f"{'file':42} {'result':8} {'seconds':>8} {'peak MB':>8}  cause or answer")
    for name in sorted(os.listdir(folder)):
        elapsed, peak_mb, line = run_one(tool, os.path.join(folder, name))
        result = "refused" if "error:" in line else ("read" if line else "no answer")
        ok = elapsed < TIME_LIMIT_S and peak_mb < RSS_LIMIT_MB and line
        truncated_read = name.startswith("cut_") and result == "read"
        failed |= not ok or truncated_read
        fields = line.split("\t")
        said = fields[1] if len(fields) > 1 else ""
        said = said[7:] if said.startswith("error: ") else said
        mark = "" if ok else "  OVER BOUND"
        mark += "  TRUNCATED FILE CLASSIFIED" if truncated_read else ""
        print(f"{name:42} {result:8} {elapsed:8.3f} {peak_mb:8.1f}  {said}{mark}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
