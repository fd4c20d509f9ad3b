# Shared helpers and the oracles: plain numpy readers of the bytes the files
# hold, written from the formats' layout, not from zel.

import pathlib

import numpy as np
import pytest

import zel

SAMPLES = pathlib.Path(__file__).resolve().parents[2].parent / "shared" / "samples"


# Header records of an RPC III file, in file order: a 32-byte keyword and a
# 96-byte value each, as many as NUM_PARAMS says.
def rpc_records(path):
    raw = pathlib.Path(path).read_bytes()

    def field(at, size):
        return raw[at : at + size].split(b"\0")[0].strip().decode("latin-1")

    records = [(field(at, 32), field(at + 32, 96)) for at in range(0, len(raw) - 127, 128)]
    return records[: int(dict(records)["NUM_PARAMS"])]


# Overwrites the 96-byte value behind an RPC III keyword.
def set_record(path, keyword, value):
    raw = bytearray(pathlib.Path(path).read_bytes())
    at = raw.index(keyword + b"\0") + 32
    raw[at : at + 96] = value.ljust(96, b"\0")
    pathlib.Path(path).write_bytes(bytes(raw))


# Every channel of an RPC III file as a (points, channels) array: groups of
# PTS_PER_GROUP points per channel one after another, 16-bit integers times
# SCALE or 32-bit floats; the recorded count when given, else whole frames.
def rpc_samples(path):
    r = dict(rpc_records(path))
    channels, group, points = int(r["CHANNELS"]), int(r["PTS_PER_GROUP"]), int(r["FRAMES"]) * int(r["PTS_PER_FRAME"])
    groups = -(-points // group)
    floats = r.get("DATA_TYPE") == "FLOATING_POINT"
    kind = (">" if r["FORMAT"] == "BINARY_IEEE_BIG_END" else "<") + ("f4" if floats else "i2")
    raw = pathlib.Path(path).read_bytes()
    stored = np.frombuffer(raw, kind, groups * channels * group, int(r["NUM_HEADER_BLOCKS"]) * 512)
    values = stored.reshape(groups, channels, group).transpose(0, 2, 1).reshape(-1, channels).astype(np.float64)
    scales = 1.0 if floats else np.array([float(r[f"SCALE.CHAN_{c}"]) for c in range(1, channels + 1)])
    return values[: int(r.get("KIVOR_STEPS", points))] * scales


# The count 32-bit little-endian floats behind a DAC file's 512-byte header.
def dac_samples(path, count):
    return np.fromfile(path, "<f4", count, offset=512).astype(np.float64)


# A file opened for one call and closed again.
def opened(path, call):
    with zel.open(path) as f:
        return call(f)


# Path of a sample file from another program, or a visible skip.
def sample(name):
    if not (SAMPLES / name).exists():
        pytest.skip(f"no sample file {SAMPLES / name}")
    return str(SAMPLES / name)
