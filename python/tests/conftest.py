"""Shared fixtures and the oracles: plain numpy readers of the bytes the
files hold, written from the formats' layout, not from zel."""

import math
import pathlib

import numpy as np
import pytest

SAMPLES = pathlib.Path(__file__).resolve().parents[2].parent / "shared" / "samples"


def rpc_records(path):
    """Header records of an RPC III file, in file order: (keyword, value)."""
    raw = pathlib.Path(path).read_bytes()
    count = None
    records = []
    for r in range(len(raw) // 128):
        keyword = raw[r * 128 : r * 128 + 32].split(b"\0")[0].strip().decode("latin-1")
        value = raw[r * 128 + 32 : (r + 1) * 128].split(b"\0")[0].strip().decode("latin-1")
        if not keyword:
            break
        records.append((keyword, value))
        if keyword == "NUM_PARAMS":
            count = int(value)
        if count is not None and len(records) == count:
            break
    return records


def rpc_samples(path):
    """Every channel of an RPC III file as a (points, channels) array:
    groups of PTS_PER_GROUP points per channel one after another, 16-bit
    integers times SCALE or 32-bit floats; the recorded count when given."""
    raw = pathlib.Path(path).read_bytes()
    header = dict(rpc_records(path))
    channels = int(header["CHANNELS"])
    points = int(header["FRAMES"]) * int(header["PTS_PER_FRAME"])
    group = int(header["PTS_PER_GROUP"])
    groups = math.ceil(points / group)
    order = ">" if header["FORMAT"] == "BINARY_IEEE_BIG_END" else "<"
    floats = header.get("DATA_TYPE") == "FLOATING_POINT"
    stored = np.frombuffer(
        raw, order + ("f4" if floats else "i2"), groups * channels * group, int(header["NUM_HEADER_BLOCKS"]) * 512
    )
    values = stored.reshape(groups, channels, group).transpose(0, 2, 1).reshape(groups * group, channels)
    values = values.astype(np.float64)
    if not floats:
        values *= np.array([float(header[f"SCALE.CHAN_{c}"]) for c in range(1, channels + 1)])
    return values[: int(header.get("KIVOR_STEPS", points))]


def dac_samples(path, count):
    """The count 32-bit little-endian floats behind a DAC file's 512-byte header."""
    return np.fromfile(path, "<f4", count, offset=512).astype(np.float64)


@pytest.fixture
def sample():
    """Path of a sample file from another program, or a visible skip."""

    def find(name):
        path = SAMPLES / name
        if not path.exists():
            pytest.skip(f"no sample file {path}")
        return str(path)

    return find
