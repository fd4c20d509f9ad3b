"""Reading: the facts of a file, channels by number and name, time
windows, read_all and to_pandas, against the files' own bytes."""

import numpy as np
import pytest

import zel
from conftest import rpc_records, rpc_samples

SAMPLE_FILES = ["test1.rsp", "signal_example.rsp"]


@pytest.mark.parametrize("name", SAMPLE_FILES)
def test_sample_facts_are_its_header_records(sample, name):
    path = sample(name)
    records = dict(rpc_records(path))
    with zel.open(path) as f:
        assert f.format == "rpc3"
        assert f.dt == float(records["DELTA_T"])
        assert f.points == int(records["FRAMES"]) * int(records["PTS_PER_FRAME"])
        assert f.date == records["DATE"]
        assert f.channels == [
            zel.Channel(c, records[f"DESC.CHAN_{c}"], records[f"UNITS.CHAN_{c}"], float(records[f"SCALE.CHAN_{c}"]))
            for c in range(1, int(records["CHANNELS"]) + 1)
        ]


@pytest.mark.parametrize("name", SAMPLE_FILES)
def test_sample_samples_are_its_bytes(sample, name):
    path = sample(name)
    with zel.open(path) as f:
        np.testing.assert_array_equal(f.read_all(), rpc_samples(path))


# The sample files carry their statistics: a record ending in STAT1_CHAN_n
# holds max, min, mean, std and rms, one ending in STAT2_CHAN_n the 1-based
# indices of max, min and absolute max. Values agree within one SCALE step plus the
# rounding of the SCALE text up to full scale.
@pytest.mark.parametrize("name", SAMPLE_FILES)
@pytest.mark.parametrize("channel", [1, 2, 3, 4, 5])
def test_sample_statistics_equal_the_embedded_records(sample, name, channel):
    path = sample(name)
    records = dict(rpc_records(path))

    def statistics(kind, number):
        (value,) = [v for k, v in records.items() if k.endswith(f"_{kind}_CHAN_{channel}")]
        return list(map(number, value.split(",")))

    high, low, mean, _, rms = statistics("STAT1", float)
    high_at, low_at, _ = statistics("STAT2", int)
    with zel.open(path) as f:
        x = f.read(channel)
    scale = records[f"SCALE.CHAN_{channel}"]
    digits = scale.lower().index("e") - scale.index(".") - 1
    step = float(scale) * (1 + 32768 * 0.5 * 10.0**-digits)
    assert int(np.argmax(x)) + 1 == high_at
    assert int(np.argmin(x)) + 1 == low_at
    assert x.max() == pytest.approx(high, abs=step)
    assert x.min() == pytest.approx(low, abs=step)
    assert x.mean() == pytest.approx(mean, abs=step)
    assert np.sqrt(np.mean(x * x)) == pytest.approx(rms, abs=step)


@pytest.fixture(params=["rpc3", "dac"])
def ramp(request, tmp_path):
    """A file of the ten values 0 to 9 at 0.5 s, in either format (floats: exact)."""
    path = str(tmp_path / ("ramp.rsp" if request.param == "rpc3" else "ramp.dac"))
    if request.param == "rpc3":
        zel.write_rpc(path, np.arange(10.0).reshape(10, 1), 0.5, names=["ramp"], units=["mm"], dtype="float32")
    else:
        zel.write_dac(path, np.arange(10.0), 0.5, name="ramp", unit="mm")
    return path


def test_format_is_recognised_by_content(ramp, tmp_path):
    renamed = tmp_path / "no-extension"
    renamed.write_bytes(open(ramp, "rb").read())
    with zel.open(ramp) as f, zel.open(renamed) as g:
        assert g.format == f.format


def test_channel_by_name_is_channel_by_number(ramp):
    with zel.open(ramp) as f:
        np.testing.assert_array_equal(f.read("ramp"), f.read(1))


def test_read_returns_an_array_of_its_own(ramp):
    with zel.open(ramp) as f:
        x = f.read(1)
    assert (x.dtype, x.flags.owndata, x.flags.c_contiguous) == (np.float64, True, True)


# (start, end) -> indices of the samples, at 0.5 s
WINDOWS = [
    (None, None, list(range(10))),
    (1.0, 2.0, [2, 3, 4]),
    (0.9, 2.1, [2, 3, 4]),
    (1.0, 1.0, [2]),
    (None, 0.4, [0]),
    (-5.0, 0.0, [0]),
    (4.5, None, [9]),
    (4.4, 100.0, [9]),
    (float("-inf"), float("inf"), list(range(10))),
    (0.1 + 0.2, 0.3 * 3, [1]),  # times that miss their sample by a rounding
]


@pytest.mark.parametrize("start, end, indices", WINDOWS)
def test_window_holds_the_samples_whose_time_lies_in_it(ramp, start, end, indices):
    with zel.open(ramp) as f:
        np.testing.assert_array_equal(f.read(1, start=start, end=end), np.array(indices, float))


@pytest.mark.parametrize("start, end", [(1.1, 1.4), (5.0, 9.0), (-2.0, -1.0), (2.0, 1.0), (float("nan"), None)])
def test_empty_or_reversed_window_is_an_error(ramp, start, end):
    with zel.open(ramp) as f, pytest.raises(ValueError):
        f.read(1, start=start, end=end)


def test_dac_windows_count_from_its_start_time(tmp_path):
    path = str(tmp_path / "late.dac")
    zel.write_dac(path, np.arange(10.0), 0.5, start=100.0)
    with zel.open(path) as f:
        np.testing.assert_array_equal(f.read(1, start=101.0, end=101.5), [2.0, 3.0])


# time, half_width -> times and values around the sample at or before the
# time (the times go on beyond the ends, the values hold)
AROUND = [
    (2.5, 2, [1.5, 2.0, 2.5, 3.0, 3.5], [3, 4, 5, 6, 7]),
    (2.74, 1, [2.0, 2.5, 3.0], [4, 5, 6]),
    (-3.0, 1, [-3.5, -3.0, -2.5], [0, 0, 0]),
    (0.0, 2, [-1.0, -0.5, 0.0, 0.5, 1.0], [0, 0, 0, 1, 2]),
    (4.5, 1, [4.0, 4.5, 5.0], [8, 9, 9]),
    (1.0, 0, [1.0], [2]),
]


@pytest.mark.parametrize("time, half_width, times, values", AROUND)
def test_window_around_a_time(ramp, time, half_width, times, values):
    with zel.open(ramp) as f:
        t, x = f.window(1, time=time, half_width=half_width)
    np.testing.assert_allclose(t, times, rtol=0, atol=1e-12)
    np.testing.assert_array_equal(x, np.array(values, float))


@pytest.mark.parametrize("time, half_width", [(1.0, -1), (1.0, 1.5), (1.0, True), (float("nan"), 1), (float("inf"), 1)])
def test_window_arguments_are_checked(ramp, time, half_width):
    with zel.open(ramp) as f, pytest.raises(ValueError):
        f.window(1, time=time, half_width=half_width)


@pytest.fixture
def three(tmp_path):
    """Three float channels of 1000 points (not a whole frame) and their values."""
    path = str(tmp_path / "three.rsp")
    values = np.random.default_rng(3).normal(size=(1000, 3)).astype(np.float32).astype(np.float64)
    zel.write_rpc(path, values, 0.01, names=["a", "b", "c"], units=["N", "m", "s"], dtype="float32")
    return path, values


def test_read_all_is_points_by_channels_in_c_order(three):
    path, values = three
    with zel.open(path) as f:
        got = f.read_all()
    assert (got.shape, got.flags.c_contiguous, got.flags.owndata) == ((1000, 3), True, True)
    np.testing.assert_array_equal(got, values)


def test_read_all_of_a_dac_file_is_one_column(tmp_path):
    path = str(tmp_path / "ramp.dac")
    zel.write_dac(path, np.arange(10.0), 0.5)
    with zel.open(path) as f:
        np.testing.assert_array_equal(f.read_all(), np.arange(10.0).reshape(10, 1))


def test_to_pandas_has_a_time_index_and_a_column_per_name(three):
    pd = pytest.importorskip("pandas")
    path, values = three
    with zel.open(path) as f:
        frame = f.to_pandas()
    expected = pd.DataFrame(values, columns=["a", "b", "c"], index=pd.Index(np.arange(1000) * 0.01, name="time"))
    pd.testing.assert_frame_equal(frame, expected)


@pytest.mark.parametrize("channel", [0, 4, -1, True, 1.0, "A", "", None])
def test_unknown_channel_is_a_value_error(three, channel):
    with zel.open(three[0]) as f, pytest.raises(ValueError):
        f.read(channel)


def test_numpy_integers_name_channels(three):
    with zel.open(three[0]) as f:
        np.testing.assert_array_equal(f.read(np.int64(2)), three[1][:, 1])


def test_a_name_shared_by_channels_is_a_value_error(tmp_path):
    path = str(tmp_path / "twins.rsp")
    zel.write_rpc(path, np.zeros((4, 2)), 1.0, names=["x", "x"])
    with zel.open(path) as f, pytest.raises(ValueError):
        f.read("x")


def test_closed_file_reads_nothing(ramp):
    f = zel.open(ramp)
    f.close()
    with pytest.raises(ValueError):
        f.read(1)
