"""Writing: round trips through both writers, checked against the bytes
written, and what a failed or refused write leaves behind."""

import os
import subprocess
import sys

import numpy as np
import pytest

import zel
from conftest import dac_samples, rpc_records, rpc_samples

rng = np.random.default_rng(7)
SIGNAL = rng.normal(scale=100.0, size=(1000, 3))  # 1000 points: not a whole frame


def steps(values):
    """Each channel's 16-bit step: its largest magnitude over 32752."""
    return np.abs(values).max(axis=0) / 32752


# dtype, rounding -> the largest error, in steps, of a value read back
@pytest.mark.parametrize(
    "dtype, rounding, bound",
    [("int16", "nearest", 0.5), ("int16", "truncate", 1.0)],
)
def test_int16_round_trip_within_its_rounding(tmp_path, dtype, rounding, bound):
    path = str(tmp_path / "out.rsp")
    zel.write_rpc(path, SIGNAL, 0.001, dtype=dtype, rounding=rounding)
    stored = rpc_samples(path)
    assert np.all(np.abs(stored - SIGNAL) <= bound * steps(SIGNAL) * (1 + 1e-9))


def test_truncation_keeps_values_on_the_side_of_zero(tmp_path):
    path = str(tmp_path / "out.rsp")
    zel.write_rpc(path, SIGNAL, 0.001, rounding="truncate")
    assert np.all(np.abs(rpc_samples(path)) <= np.abs(SIGNAL) * (1 + 1e-12))


def test_float32_stores_the_values_as_floats(tmp_path):
    path = str(tmp_path / "out.rsp")
    zel.write_rpc(path, SIGNAL, 0.001, dtype="float32")
    np.testing.assert_array_equal(rpc_samples(path), SIGNAL.astype(np.float32))


@pytest.mark.parametrize("dtype", ["int16", "float32"])
def test_written_file_reads_back_as_its_bytes(tmp_path, dtype):
    path = str(tmp_path / "out.rsp")
    zel.write_rpc(path, SIGNAL, 0.001, names=["a", "b", "c"], units=["N", "m", "s"], dtype=dtype)
    with zel.open(path) as f:
        assert (f.points, f.dt, [c.name for c in f.channels], [c.unit for c in f.channels]) == (
            1000,
            0.001,
            ["a", "b", "c"],
            ["N", "m", "s"],
        )
        np.testing.assert_array_equal(f.read_all(), rpc_samples(path))


def test_header_records_the_sample_count_and_the_final_name(tmp_path):
    path = str(tmp_path / "out.rsp")
    zel.write_rpc(path, SIGNAL, 0.001)
    records = dict(rpc_records(path))
    assert (records["KIVOR_STEPS"], records["KIVOR_RUN"]) == ("1000", path)


def test_columns_of_any_memory_layout_are_written_alike(tmp_path):
    zel.write_rpc(str(tmp_path / "c.rsp"), np.ascontiguousarray(SIGNAL), 0.001)
    zel.write_rpc(str(tmp_path / "f.rsp"), np.asfortranarray(SIGNAL), 0.001)
    zel.write_rpc(str(tmp_path / "s.rsp"), np.repeat(SIGNAL, 2, axis=1)[:, ::2], 0.001)
    for name in ("f.rsp", "s.rsp"):
        np.testing.assert_array_equal(rpc_samples(tmp_path / name), rpc_samples(tmp_path / "c.rsp"), err_msg=name)


def test_a_dict_gives_names_and_columns(tmp_path):
    path = str(tmp_path / "out.rsp")
    zel.write_rpc(path, {"fz": SIGNAL[:, 0], "fx": SIGNAL[:, 1]}, 0.001, units=["N", "kN"], dtype="float32")
    with zel.open(path) as f:
        assert [(c.name, c.unit) for c in f.channels] == [("fz", "N"), ("fx", "kN")]
        np.testing.assert_array_equal(f.read("fx"), SIGNAL[:, 1].astype(np.float32))


def test_integer_samples_are_taken(tmp_path):
    path = str(tmp_path / "out.rsp")
    zel.write_rpc(path, np.arange(6, dtype=np.int32).reshape(3, 2), 1.0, dtype="float32")
    np.testing.assert_array_equal(rpc_samples(path), [[0, 1], [2, 3], [4, 5]])


def test_smallest_file_is_one_sample_of_one_channel(tmp_path):
    path = str(tmp_path / "one.rsp")
    zel.write_rpc(path, [[2.5]], 0.1, dtype="float32")
    with zel.open(path) as f:
        np.testing.assert_array_equal(f.read_all(), [[2.5]])


# text -> what a file keeps of it (RPC III fields hold 95 bytes; DAC
# names 24 and units 28), cut between characters
@pytest.mark.parametrize(
    "text, kept",
    [("x" * 95, "x" * 95), ("y" * 96, "y" * 95), ("é" * 48, "é" * 47), ("Kraft Fz (Ø)", "Kraft Fz (Ø)")],
)
def test_rpc_texts_are_cut_to_their_field(tmp_path, text, kept):
    path = str(tmp_path / "out.rsp")
    zel.write_rpc(path, [[1.0]], 1.0, names=[text], units=[text])
    with zel.open(path) as f:
        assert (f.channels[0].name, f.channels[0].unit) == (kept, kept)


# name, unit -> what a DAC file keeps of them
@pytest.mark.parametrize(
    "name, unit, kept",
    [
        ("n" * 24, "u" * 28, ("n" * 24, "u" * 28)),
        ("n" * 25, "u" * 29, ("n" * 24, "u" * 28)),
        ("Ø" * 13, "°" * 15, ("Ø" * 12, "°" * 14)),
    ],
)
def test_dac_texts_are_cut_to_their_field(tmp_path, name, unit, kept):
    path = str(tmp_path / "out.dac")
    zel.write_dac(path, [1.0, 2.0], 1.0, name=name, unit=unit)
    with zel.open(path) as f:
        assert (f.channels[0].name, f.channels[0].unit) == kept


def test_dac_round_trip(tmp_path):
    path = str(tmp_path / "out.dac")
    zel.write_dac(path, SIGNAL[:, 0], 0.002, name="wheel force FZ", unit="N", start=1.5)
    with zel.open(path) as f:
        assert (f.format, f.points, f.dt) == ("dac", 1000, 0.002)
        assert f.channels == [zel.Channel(1, "wheel force FZ", "N", 1.0)]
        np.testing.assert_array_equal(f.read(1), dac_samples(path, 1000))
        np.testing.assert_allclose(f.window(1, 1.5, 0)[0], [1.5])
    np.testing.assert_array_equal(dac_samples(path, 1000), SIGNAL[:, 0].astype(np.float32))


def test_writing_over_a_file_replaces_it(tmp_path):
    path = str(tmp_path / "out.dac")
    zel.write_dac(path, [1.0, 2.0, 3.0], 1.0)
    zel.write_dac(path, [4.0], 1.0)
    with zel.open(path) as f:
        np.testing.assert_array_equal(f.read(1), [4.0])


BAD_RPC = [
    ({"data": np.zeros(5)}, "1-D"),
    ({"data": np.zeros((2, 2, 2))}, "3-D"),
    ({"data": np.zeros((0, 2))}, "no points"),
    ({"data": np.zeros((2, 0))}, "no channels"),
    ({"data": np.zeros((2, 1), complex)}, "complex"),
    ({"data": [["a"], ["b"]]}, "texts"),
    ({"data": {}}, "empty dict"),
    ({"data": {"a": [1.0], "b": [1.0, 2.0]}}, "unequal channels"),
    ({"data": {"a": [1.0]}, "names": ["a"]}, "names twice"),
    ({"data": [[np.nan]]}, "NaN as int16"),
    ({"data": [[np.inf]]}, "infinity as int16"),
    ({"dt": 0.0}, "dt 0"),
    ({"dt": -1.0}, "dt below 0"),
    ({"dt": np.nan}, "dt NaN"),
    ({"dt": np.inf}, "dt infinite"),
    ({"dt": "fast"}, "dt a text"),
    ({"dtype": "int32"}, "dtype"),
    ({"rounding": "up"}, "rounding"),
    ({"names": ["a", "b"]}, "names too many"),
    ({"units": []}, "units too few"),
    ({"names": [1]}, "name a number"),
    ({"names": ["a\0b"]}, "name with NUL"),
]


@pytest.mark.parametrize("change, why", BAD_RPC, ids=[why for _, why in BAD_RPC])
def test_refused_rpc_input_writes_nothing(tmp_path, change, why):
    arguments = {"data": [[1.0], [2.0]], "dt": 0.5}
    arguments.update(change)
    with pytest.raises(ValueError):
        zel.write_rpc(str(tmp_path / "out.rsp"), arguments.pop("data"), arguments.pop("dt"), **arguments)
    assert os.listdir(tmp_path) == []


BAD_DAC = [
    ({"x": np.zeros((2, 2))}, "2-D"),
    ({"x": []}, "no points"),
    ({"x": ["a"]}, "texts"),
    ({"dt": 0.0}, "dt 0"),
    ({"start": np.nan}, "start NaN"),
    ({"name": 5}, "name a number"),
]


@pytest.mark.parametrize("change, why", BAD_DAC, ids=[why for _, why in BAD_DAC])
def test_refused_dac_input_writes_nothing(tmp_path, change, why):
    arguments = {"x": [1.0, 2.0], "dt": 0.5}
    arguments.update(change)
    with pytest.raises(ValueError):
        zel.write_dac(str(tmp_path / "out.dac"), arguments.pop("x"), arguments.pop("dt"), **arguments)
    assert os.listdir(tmp_path) == []


@pytest.mark.parametrize("write", [zel.write_rpc, zel.write_dac])
def test_a_folder_is_no_target(tmp_path, write):
    (tmp_path / "out").mkdir()
    with pytest.raises(IsADirectoryError):
        write(str(tmp_path / "out"), [[1.0]] if write is zel.write_rpc else [1.0], 1.0)
    assert os.listdir(tmp_path) == ["out"]


def test_a_missing_folder_is_no_target(tmp_path):
    with pytest.raises(FileNotFoundError):
        zel.write_dac(str(tmp_path / "no" / "out.dac"), [1.0], 1.0)


# A write the library cannot complete (here: the file-size limit) raises
# ZelError, leaves the earlier file whole and no temporary behind.
FAILING_WRITE = """
import resource, signal, sys, numpy as np, zel
signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
resource.setrlimit(resource.RLIMIT_FSIZE, (65536, resource.RLIM_INFINITY))
try:
    zel.write_rpc(sys.argv[1], np.ones((100000, 2)), 0.001)
except zel.ZelError as e:
    print(e.code)
"""


def test_a_failed_write_leaves_the_earlier_file(tmp_path):
    path = str(tmp_path / "out.rsp")
    zel.write_rpc(path, [[1.0]], 1.0)
    before = open(path, "rb").read()
    run = subprocess.run([sys.executable, "-c", FAILING_WRITE, path], capture_output=True, text=True, check=True)
    assert (run.stdout.strip(), open(path, "rb").read(), os.listdir(tmp_path)) == ("11", before, ["out.rsp"])
