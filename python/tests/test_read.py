# Opening and reading: the facts of a file, channels by number and name, time
# windows, read_all and to_pandas, against the files' own bytes; what cannot be
# opened or read; reads on several threads at once.

import concurrent.futures
import math
import os

import numpy as np
import pytest

import zel
from conftest import dac_samples, opened, rpc_records, rpc_samples, sample, set_record

SIGNAL = np.random.default_rng(7).normal(scale=100.0, size=(3000, 3))  # several blocks, not whole frames


# 16-bit channels written here; two share a name, one unit is not UTF-8 (read as Latin-1).
@pytest.fixture
def written(tmp_path):
    zel.write_rpc(tmp_path / "written.rsp", SIGNAL, 0.001, names=["a", "b", "a"], units=["N", "m", "s"])
    set_record(tmp_path / "written.rsp", b"UNITS.CHAN_1", b"\xb0C")
    return str(tmp_path / "written.rsp")


# A sample file from another program, or the file written here.
@pytest.fixture(params=["test1.rsp", "signal_example.rsp", "written"])
def rpc_file(request):
    return request.getfixturevalue("written") if request.param == "written" else sample(request.param)


RAMPS = {
    "rpc3": lambda path: zel.write_rpc(path, {"ramp": np.arange(10.0)}, 0.5, dtype="float32"),
    "dac": lambda path: zel.write_dac(path, np.arange(10.0), 0.5, name="ramp"),
}


# The values 0 to 9 at 0.5 s in either format (floats: exact), named without an extension.
@pytest.fixture(params=RAMPS)
def ramp(request, tmp_path):
    RAMPS[request.param](tmp_path / "ramp")
    return str(tmp_path / "ramp")


# A DAC file of 0 to 9 at 0.5 s from 100 s, named like an RPC III file.
@pytest.fixture
def late(tmp_path):
    zel.write_dac(tmp_path / "late.rsp", np.arange(10.0), 0.5, name="x", unit="N", start=100.0)
    return str(tmp_path / "late.rsp")


def test_facts_are_the_header_records(rpc_file):
    r = dict(rpc_records(rpc_file))
    channels = range(1, int(r["CHANNELS"]) + 1)
    with zel.open(rpc_file) as f:
        assert f.format == "rpc3"
        assert f.dt == float(r["DELTA_T"])
        assert f.points == int(r.get("KIVOR_STEPS", int(r["FRAMES"]) * int(r["PTS_PER_FRAME"])))
        assert f.date == r["DATE"]
        assert f.channels == [
            zel.Channel(c, r[f"DESC.CHAN_{c}"], r[f"UNITS.CHAN_{c}"], float(r[f"SCALE.CHAN_{c}"])) for c in channels
        ]


# read_all: (points, channels) in C order, in an array of its own
def test_samples_are_the_bytes(rpc_file):
    x = opened(rpc_file, zel.File.read_all)
    np.testing.assert_array_equal(x, rpc_samples(rpc_file))
    assert x.flags.c_contiguous
    assert x.flags.owndata


# The sample files carry their statistics: a record ending in STAT1_CHAN_n holds
# max, min, mean, std and rms, one ending in STAT2_CHAN_n the 1-based indices of
# max, min and absolute max. Values agree within one SCALE step plus the
# rounding of the SCALE text up to full scale.
@pytest.mark.parametrize("name", ["test1.rsp", "signal_example.rsp"])
@pytest.mark.parametrize("channel", [1, 2, 3, 4, 5])
def test_sample_statistics_equal_the_embedded_records(name, channel):
    records = dict(rpc_records(sample(name)))
    stat = {k.split("_CHAN_")[0][-5:]: v.split(",") for k, v in records.items() if k.endswith(f"_CHAN_{channel}")}
    (high, low, mean, _, rms), (high_at, low_at, _) = map(float, stat["STAT1"]), map(int, stat["STAT2"])
    x = opened(sample(name), lambda f: f.read(channel))
    scale = records[f"SCALE.CHAN_{channel}"]
    step = float(scale) * (1 + 32768 * 0.5 * 10.0 ** -(scale.lower().index("e") - scale.index(".") - 1))
    assert int(np.argmax(x)) + 1 == high_at
    assert int(np.argmin(x)) + 1 == low_at
    assert x.max() == pytest.approx(high, abs=step)
    assert x.min() == pytest.approx(low, abs=step)
    assert x.mean() == pytest.approx(mean, abs=step)
    assert np.sqrt(np.mean(x * x)) == pytest.approx(rms, abs=step)


def test_dac_facts_and_times_from_its_start(late):
    np.testing.assert_array_equal(dac_samples(late, 10), np.arange(10.0))
    with zel.open(os.fsencode(late)) as f:
        assert f.format == "dac"
        assert f.points == 10
        assert f.dt == 0.5
        assert f.channels == [zel.Channel(1, "x", "N", 1.0)]
        np.testing.assert_array_equal(f.read_all(), np.arange(10.0).reshape(10, 1))
        np.testing.assert_array_equal(f.read(1, start=101.0, end=101.5), [2.0, 3.0])


# start, end -> indices of the samples, at 0.5 s
WINDOWS = [
    (0.9, 2.1, [2, 3, 4]),
    (1.0, 1.0, [2]),
    (1.0 + 1e-5, 2.0 - 1e-5, [3]),
    (math.nextafter(1.5, 2.0), None, list(range(3, 10))),  # a time that misses its sample by a rounding
    (None, math.nextafter(1.0, 0.0), [0, 1, 2]),
    (-5.0, 0.0, [0]),
    (4.4, 100.0, [9]),
    (-math.inf, math.inf, list(range(10))),
]


@pytest.mark.parametrize("start, end, indices", WINDOWS)
def test_window_holds_the_samples_whose_time_lies_in_it(ramp, start, end, indices):
    np.testing.assert_array_equal(opened(ramp, lambda f: f.read(1, start=start, end=end)), np.array(indices, float))


@pytest.mark.parametrize("start, end", [(1.1, 1.4), (5.0, 9.0), (-2.0, -1.0), (2.0, 1.0), (math.nan, None)])
def test_empty_or_reversed_window_is_an_error(ramp, start, end):
    pytest.raises(ValueError, opened, ramp, lambda f: f.read(1, start=start, end=end))


# time, half_width -> times and values around the sample at or before the time
# (the times go on beyond the ends, the values hold)
AROUND = [
    (2.5, 2, [1.5, 2.0, 2.5, 3.0, 3.5], [3, 4, 5, 6, 7]),
    (2.9, 1, [2.0, 2.5, 3.0], [4, 5, 6]),
    (0.0, 2, [-1.0, -0.5, 0.0, 0.5, 1.0], [0, 0, 0, 1, 2]),
    (4.5, 1, [4.0, 4.5, 5.0], [8, 9, 9]),
    (1.0, 0, [1.0], [2]),
]


@pytest.mark.parametrize("time, half_width, times, values", AROUND)
def test_window_around_a_time(ramp, time, half_width, times, values):
    t, x = opened(ramp, lambda f: f.window(1, time, half_width))
    np.testing.assert_allclose(t, times, rtol=0, atol=1e-12)
    np.testing.assert_array_equal(x, np.array(values, float))


@pytest.mark.parametrize("time, half_width", [(1.0, -1), (1.0, 1.5), (1.0, True), (math.nan, 1), (math.inf, 1)])
def test_window_arguments_are_checked(ramp, time, half_width):
    pytest.raises(ValueError, opened, ramp, lambda f: f.window(1, time, half_width))


@pytest.mark.parametrize("channel, column", [("b", 1), (3, 2), (np.int64(2), 1), (np.int32(1), 0)])
def test_channel_by_number_or_name(written, channel, column):
    np.testing.assert_array_equal(opened(written, lambda f: f.read(channel)), rpc_samples(written)[:, column])


# not a channel of the file, not a channel at all, or a name two channels share
@pytest.mark.parametrize("channel", [0, 4, -1, True, 1.0, "A", "", None, "a"])
def test_unknown_channel_is_a_value_error(written, channel):
    pytest.raises(ValueError, opened, written, lambda f: f.read(channel))


# file -> start and interval of the time index, columns of the frame
@pytest.mark.parametrize("file, t0, dt, names", [("written", 0, 0.001, ["a", "b", "a"]), ("late", 100, 0.5, ["x"])])
def test_to_pandas_has_a_time_index_and_a_column_per_name(request, file, t0, dt, names):
    pd = pytest.importorskip("pandas")
    frame, values = (opened(request.getfixturevalue(file), call) for call in (zel.File.to_pandas, zel.File.read_all))
    index = pd.Index(t0 + np.arange(len(values)) * dt, name="time")
    pd.testing.assert_frame_equal(frame, pd.DataFrame(values, columns=names, index=index))


def test_closed_file_reads_nothing(ramp):
    f = zel.open(ramp)
    f.close()
    pytest.raises(ValueError, f.read, 1)


# Files of 1 to 4 channels and 5000 to 5700 points read whole, each on its own,
# and one shared file a channel at a time, all at once.
def test_reads_on_a_thread_pool(tmp_path):
    paths = [str(tmp_path / f"f{k}.rsp") for k in range(8)]
    for k, path in enumerate(paths):
        zel.write_rpc(path, np.random.default_rng(k).normal(size=(5000 + 100 * k, 1 + k % 4)), 0.001)
    with zel.open(paths[3]) as shared, concurrent.futures.ThreadPoolExecutor(4) as pool:
        whole = pool.map(lambda path: opened(path, zel.File.read_all), paths * 4)
        channels = pool.map(lambda c: shared.read(c, start=0.5), [1, 2, 3, 4] * 8)
        expected = [rpc_samples(path) for path in paths * 4] + [rpc_samples(paths[3])[500:, k % 4] for k in range(32)]
        for want, got in zip(expected, [*whole, *channels]):
            np.testing.assert_array_equal(got, want)


NEITHER = "File is not a valid RPC III time history file. Not a valid dac file."
RPC_CUT = "RPC file header is not compatible with file size."
DAC_CUT = "Error reading extra details"
RPC_HEADER = "Error reading RPC file header record."
# what the file holds -> the library's code and message
REFUSED = [
    ("empty", lambda path: path.write_bytes(b""), 2, NEITHER),
    ("text", lambda path: path.write_bytes(b"this is neither format\n"), 2, NEITHER),
    ("rpc cut short", lambda p: (zel.write_rpc(p, np.zeros((5000, 2)), 0.1), os.truncate(p, 4096)), 6, RPC_CUT),
    ("rpc dt 0", lambda p: (zel.write_rpc(p, [[0.0]], 0.1), set_record(p, b"DELTA_T", b"0.0")), 5, RPC_HEADER),
    ("rpc dt NaN", lambda p: (zel.write_rpc(p, [[0.0]], 0.1), set_record(p, b"DELTA_T", b"NAN")), 5, RPC_HEADER),
    ("dac cut short", lambda p: (zel.write_dac(p, np.zeros(5000), 0.1), os.truncate(p, 4096)), 16, DAC_CUT),
]


@pytest.mark.parametrize("why, make, code, message", REFUSED, ids=[row[0] for row in REFUSED])
def test_refused_file_raises_the_library_code(tmp_path, why, make, code, message):
    make(tmp_path / "file")
    refused = pytest.raises(zel.ZelError, zel.open, tmp_path / "file")
    assert refused.value.code == code
    assert str(refused.value) == f"{message} (code {code})"


@pytest.mark.parametrize("name, error", [("missing", FileNotFoundError), (".", IsADirectoryError)])
def test_no_file_raises_as_python_does(tmp_path, name, error):
    pytest.raises(error, zel.open, tmp_path / name)


def test_dac_file_cut_after_it_was_opened(late):
    with zel.open(late) as f:
        os.truncate(late, 520)
        pytest.raises(zel.ZelError, f.read, 1)
