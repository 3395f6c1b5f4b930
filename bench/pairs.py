#!/usr/bin/env python3
"""Times two commands back to back, RUNS times, and prints the median of each and the median of
the per-pair ratios first/second: on a shared machine a pair sees the same load, a series doesn't.
Usage: pairs.py RUNS 'COMMAND A' 'COMMAND B'"""
import statistics
import subprocess
import sys
import time


def timed(command):
    start = time.perf_counter()
    subprocess.run(command, shell=True, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


runs = int(sys.argv[1])
a, b = sys.argv[2], sys.argv[3]
timed(a)  # warm the page cache and the binaries
timed(b)
pairs = [(timed(a), timed(b)) for _ in range(runs)]
ratio = statistics.median(x / y for x, y in pairs)
print(f"{statistics.median(x for x, _ in pairs):.3f} {statistics.median(y for _, y in pairs):.3f} {ratio:.3f}")
