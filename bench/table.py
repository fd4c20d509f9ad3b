#!/usr/bin/env python3
"""The table of docs/performance.md from zel_bench's JSON outputs.

Usage: bench/table.py run1.json run2.json ...

For every benchmark the run whose path took the least wall-clock time is
kept (the machine is shared: the best of several runs is the one least
disturbed), and its own floor, ratios and counters are shown.
"""
import json
import sys

# name: (what, target text, check(counters) -> bool)
ROWS = {
    "BM_RpcReadWhole": ("RPC III read, whole channels (64 ch x 1 Mi int16)", "<= 1.5x",
                        lambda c: c["ratio"] <= 1.5),
    "BM_RpcReadChunks": ("RPC III read, 1000-point chunks, channel by channel", "<= 1.5x",
                         lambda c: c["ratio"] <= 1.5),
    "BM_RpcReadInterleaved": ("RPC III read, 1000-point chunks, channels interleaved", "<= 1.5x",
                              lambda c: c["ratio"] <= 1.5),
    "BM_RpcReadWindows": ("RPC III windows, 10,000 x 201 points", "<= 1.5x", lambda c: c["ratio"] <= 1.5),
    "BM_RpcReadRanges": ("RPC III zel_rpc_getrange, 2000 x 4096 points", "<= 1.5x",
                         lambda c: c["ratio"] <= 1.5),
    "BM_RpcWriteInt16": ("RPC III write, int16 rounded (16 ch x 1 Mi)", "<= 1.5x", lambda c: c["ratio"] <= 1.5),
    "BM_RpcWriteFloat": ("RPC III write, float (16 ch x 1 Mi)", "<= 1.5x", lambda c: c["ratio"] <= 1.5),
    "BM_DacRead": ("DAC read, zel_dac_data (10 M samples)", "<= 1.5x", lambda c: c["ratio"] <= 1.5),
    "BM_DacWrite": ("DAC write, zel_dac_write (10 M samples)", "<= 1.5x", lambda c: c["ratio"] <= 1.5),
    "BM_Output2": ("OUTPUT2, 200 modes x 5000 steps", "<= 1.5x", lambda c: c["ratio"] <= 1.5),
    "BM_PunchTime": ("punch, time output, 200 x 5000", "<= 2x, >= 8x gfortran",
                     lambda c: c["ratio"] <= 2 and c["x_faster"] >= 8),
    "BM_PunchFrequency": ("punch, frequency output, 200 x 5000", "<= 2x, >= 8x gfortran",
                          lambda c: c["ratio"] <= 2 and c["x_faster"] >= 8),
    "BM_CsvWrite/65536": ("CSV write, 16 ch x 65,536 rows", ">= 400 MB/s", lambda c: c["MB/s"] >= 400),
    "BM_CsvWrite/1048576": ("CSV write, 16 ch x 1,048,576 rows", ">= 400 MB/s", lambda c: c["MB/s"] >= 400),
    "BM_CsvRead/65536": ("CSV read (csv_read.cpp), 8 ch x 65,536 rows", ">= 300 MB/s", lambda c: c["MB/s"] >= 300),
    "BM_CsvRead/262144": ("CSV read (csv_read.cpp), 8 ch x 262,144 rows", ">= 300 MB/s", lambda c: c["MB/s"] >= 300),
    "BM_MatWrite": (".mat write (v5), 16 ch x 262,144", "<= 1.5x", lambda c: c["ratio"] <= 1.5),
    "BM_ZelCat": ("zel cat, 64 ch x 1 Mi int16 to /dev/null", "<= 1.5 s", lambda c: c["path_ms"] <= 1500),
}


def as_cpu(c):
    """The counters with the CPU figures in the place of the wall-clock ones."""
    d = dict(c)
    for name in ("path_ms", "floor_ms", "ratio", "MB/s", "x_faster"):
        if "cpu_" + name in c:
            d[name] = c["cpu_" + name]
    return d


def key(name):
    base = name.split("/manual_time")[0].split("/min_time")[0].split("/iterations")[0]
    return base


def main(paths):
    best = {}
    for path in paths:
        with open(path) as f:
            for b in json.load(f)["benchmarks"]:
                k = key(b["name"])
                if k not in best or b["path_ms"] < best[k]["path_ms"]:
                    best[k] = b
    print("| path | wall ms | floor ms | ratio | CPU ms | CPU floor ms | CPU ratio | MB/s (CPU MB/s) "
          "| gfortran ms (CPU): x faster | target | met (wall, CPU) |")
    print("|---|---|---|---|---|---|---|---|---|---|---|")
    for k, (what, target, check) in ROWS.items():
        c = best.get(k)
        if c is None:
            continue
        cpu_met = "-" if k == "BM_ZelCat" else ("yes" if check(as_cpu(c)) else "no")
        rate = f"{c['MB/s']:.0f} ({c['cpu_MB/s']:.0f})" if "MB/s" in c else "-"
        peer = (f"{c['gfortran_ms']:.0f} ({c['gfortran_cpu_ms']:.0f}): {c['x_faster']:.1f}x "
                f"({c['cpu_x_faster']:.1f}x)") if "gfortran_ms" in c else "-"
        print(f"| {what} | {c['path_ms']:.1f} | {c['floor_ms']:.1f} | {c['ratio']:.2f} | {c['cpu_path_ms']:.1f} "
              f"| {c['cpu_floor_ms']:.1f} | {c['cpu_ratio']:.2f} | {rate} | {peer} | {target} "
              f"| {'yes' if check(c) else 'no'}, {cpu_met} |")


if __name__ == "__main__":
    main(sys.argv[1:])
