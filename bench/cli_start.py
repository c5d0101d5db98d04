#!/usr/bin/env python3
"""Time from the start of morvala-cli to its opened port: the moment it reports
"verbunden" on standard error. Prints one DATA line with the median and every run in ms.

Usage: cli_start.py CLI PORT RUNS"""
import subprocess
import sys
import time


def one(cli, port):
    t0 = time.monotonic()
    p = subprocess.Popen([cli, "config", "--port", port], stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE)
    seen = None
    try:
        for line in p.stderr:
            if b"verbunden" in line:
                seen = time.monotonic()
                break
    finally:
        p.terminate()
        p.wait(5)
    return None if seen is None else (seen - t0) * 1000


def main():
    cli, port, runs = sys.argv[1], sys.argv[2], int(sys.argv[3])
    times = [t for t in (one(cli, port) for _ in range(runs)) if t is not None]
    times.sort()
    if not times:
        print("DATA median=none")
        return
    n = len(times)
    median = times[n // 2] if n % 2 else (times[n // 2 - 1] + times[n // 2]) / 2
    print("DATA median=%.1f runs=%s" % (median, ",".join("%.1f" % t for t in times)))


main()
