"""zel.open(path).read_all() against the numpy floor on the same bytes.

A 64-channel x 1,048,576-point RPC III file of 16-bit integers (128 MiB of
data, written here directly) is read whole into a (points, channels)
float64 array, C order, two ways:
  - zel: zel.open(path).read_all();
  - numpy floor: numpy.fromfile of the data section, reshaped from its
    groups and scaled into a preallocated array in one pass (the fastest
    plain numpy form found; fromfile + reshape + transpose + astype is
    also timed).
Each is timed in a fresh process, best of --repeat runs with the file in
the page cache, in wall time and in the process's CPU time (steadier on a
shared machine); peak memory is the rise of the process's peak resident
size over its size before the read, against the returned array's size.

    PYTHONPATH=build/default/python /usr/bin/python3 bench/python_read_bench.py
"""

import argparse
import json
import os
import resource
import subprocess
import sys
import tempfile
import time

import numpy as np

CHANNELS, FRAME, GROUP, FRAMES = 64, 1024, 2048, 1024
POINTS = FRAME * FRAMES
HEADER_BLOCKS = (10 + 3 * CHANNELS + 3) // 4  # four 128-byte records a block


def write_file(path):
    records = [
        ("FORMAT", "BINARY_IEEE_LITTLE_END"),
        ("NUM_HEADER_BLOCKS", str(HEADER_BLOCKS)),
        ("NUM_PARAMS", str(10 + 3 * CHANNELS)),
        ("DATA_TYPE", "SHORT_INTEGER"),
        ("CHANNELS", str(CHANNELS)),
        ("DELTA_T", "1.0E-03"),
        ("FRAMES", str(FRAMES)),
        ("PTS_PER_FRAME", str(FRAME)),
        ("PTS_PER_GROUP", str(GROUP)),
        ("DATE", "Sun Dec  6 10:11:12 2026"),
    ]
    for c in range(1, CHANNELS + 1):
        records += [(f"DESC.CHAN_{c}", f"channel {c}"), (f"UNITS.CHAN_{c}", "N"), (f"SCALE.CHAN_{c}", f"{c}.0E-03")]
    header = bytearray(HEADER_BLOCKS * 512)
    for r, (keyword, value) in enumerate(records):
        header[r * 128 : r * 128 + len(keyword)] = keyword.encode()
        header[r * 128 + 32 : r * 128 + 32 + len(value)] = value.encode()
    rng = np.random.default_rng(1)
    with open(path, "wb") as f:
        f.write(header)
        for _ in range(POINTS // GROUP):
            f.write(rng.integers(-32000, 32000, size=CHANNELS * GROUP, dtype=np.int16).tobytes())


def scales():
    return np.arange(1, CHANNELS + 1) * 1.0e-3


def numpy_floor(path):
    stored = np.fromfile(path, "<i2", offset=HEADER_BLOCKS * 512)
    out = np.empty((POINTS, CHANNELS))
    groups = stored.reshape(POINTS // GROUP, CHANNELS, GROUP).transpose(0, 2, 1)
    np.multiply(groups, scales(), out=out.reshape(POINTS // GROUP, GROUP, CHANNELS))
    return out


def numpy_plain(path):
    stored = np.fromfile(path, "<i2", offset=HEADER_BLOCKS * 512)
    groups = stored.reshape(POINTS // GROUP, CHANNELS, GROUP).transpose(0, 2, 1).reshape(POINTS, CHANNELS)
    return groups.astype(np.float64) * scales()


def zel_read_all(path):
    import zel

    with zel.open(path) as f:
        return f.read_all()


WAYS = {"zel": zel_read_all, "numpy floor": numpy_floor, "numpy plain": numpy_plain}


def resident():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def child(way, path, repeat):
    """One way in this process: best time, peak rise over the array size."""
    if way == "zel":
        import zel  # noqa: F401  (loaded before the baseline)
    before = resident()
    out = WAYS[way](path)
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss * 1024 - before
    checksum = float(out[::4099].sum())
    del out
    best, cpu = float("inf"), float("inf")
    for _ in range(repeat):
        start, start_cpu = time.perf_counter(), time.process_time()
        out = WAYS[way](path)
        best = min(best, time.perf_counter() - start)
        cpu = min(cpu, time.process_time() - start_cpu)
        del out
    print(json.dumps({"seconds": best, "cpu": cpu, "peak": peak, "checksum": checksum}))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--child", nargs=2)
    args = parser.parse_args()
    if args.child:
        return child(args.child[0], args.child[1], args.repeat)
    array = POINTS * CHANNELS * 8
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "bench.rsp")
        write_file(path)
        results = {}
        for way in WAYS:
            run = subprocess.run(
                [sys.executable, __file__, "--repeat", str(args.repeat), "--child", way, path],
                capture_output=True, text=True,
            )
            if run.returncode != 0:
                sys.exit(f"{way} failed:\n{run.stderr}")
            results[way] = json.loads(run.stdout)
    floor = results["numpy floor"]
    print(f"{CHANNELS} channels x {POINTS} points, int16; array {array / 2**20:.0f} MiB")
    for way, r in results.items():
        print(
            f"{way:12s} {r['seconds']:.3f} s ({r['seconds'] / floor['seconds']:.2f}x the floor), "
            f"CPU {r['cpu']:.3f} s ({r['cpu'] / floor['cpu']:.2f}x), "
            f"peak {r['peak'] / 2**20:.0f} MiB ({r['peak'] / array:.2f}x the array)"
        )
    if len({round(r["checksum"], 6) for r in results.values()}) != 1:
        sys.exit("the ways disagree on the values")


if __name__ == "__main__":
    main()
