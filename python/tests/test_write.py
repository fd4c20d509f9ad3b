# Writing: what the writers and the modal export store, checked against the
# bytes written; what a refused or failed write leaves behind; writes on
# several threads at once.

import concurrent.futures
import ctypes
import os
import subprocess
import sys

import numpy as np
import pytest

import zel
from conftest import dac_samples, opened, rpc_records, rpc_samples

SIGNAL = np.random.default_rng(7).normal(scale=100.0, size=(1000, 3))  # not a whole frame
STEP = np.abs(SIGNAL).max(axis=0) / 32752  # each channel's 16-bit step

# data, dtype, rounding -> the (points, channels) stored: 16-bit steps rounded
# with ties away from zero or truncated towards zero, or 32-bit floats
STORED = [
    ("nearest", SIGNAL, "int16", "nearest", np.sign(SIGNAL) * np.floor(np.abs(SIGNAL) / STEP + 0.5) * STEP),
    ("truncate", SIGNAL, "int16", "truncate", np.trunc(SIGNAL / STEP) * STEP),
    ("float32", SIGNAL, "float32", "nearest", SIGNAL.astype(np.float32)),
    ("Fortran order", np.asfortranarray(SIGNAL), "float32", "nearest", SIGNAL.astype(np.float32)),
    ("strided", np.repeat(SIGNAL, 2, axis=1)[:, ::2], "float32", "nearest", SIGNAL.astype(np.float32)),
    ("integers", np.arange(6, dtype=np.int32).reshape(3, 2), "float32", "nearest", [[0, 1], [2, 3], [4, 5]]),
    ("one sample", [[2.5]], "float32", "nearest", [[2.5]]),
    ("dict", {"fz": SIGNAL[:, 0], "fx": SIGNAL[:, 1]}, "float32", "nearest", SIGNAL[:, :2].astype(np.float32)),
]


# The header also records the sample count and the target's name (not the temporary's).
@pytest.mark.parametrize("why, data, dtype, rounding, stored", STORED, ids=[row[0] for row in STORED])
def test_stored_values(tmp_path, why, data, dtype, rounding, stored):
    zel.write_rpc(tmp_path / "out.rsp", data, 0.001, dtype=dtype, rounding=rounding)
    np.testing.assert_allclose(rpc_samples(tmp_path / "out.rsp"), stored, rtol=0, atol=1e-6 * STEP.min())
    records = dict(rpc_records(tmp_path / "out.rsp"))
    assert records["KIVOR_STEPS"] == str(len(stored))
    assert records["KIVOR_RUN"] == str(tmp_path / "out.rsp")


WRITE_TEXTS = {
    "rpc": lambda path, name, unit: zel.write_rpc(path, [[1.0]], 1.0, names=[name], units=[unit]),
    "dict": lambda path, name, unit: zel.write_rpc(path, {name: [1.0], "b": [2.0]}, 1.0, units=[unit, ""]),
    "dac": lambda path, name, unit: zel.write_dac(path, [1.0], 1.0, name=name, unit=unit),
}
# name, unit -> what the file keeps (RPC III fields hold 95 bytes, DAC names 24
# and units 28), cut between characters
TEXTS = [
    ("rpc", "x" * 95, "y" * 96, "x" * 95, "y" * 95),
    ("rpc", "é" * 48, "Kraft Fz (Ø)", "é" * 47, "Kraft Fz (Ø)"),
    ("dict", "fz", "N", "fz", "N"),
    ("dac", "Ø" * 13, "°" * 15, "Ø" * 12, "°" * 14),
]


@pytest.mark.parametrize("kind, name, unit, kept_name, kept_unit", TEXTS)
def test_texts_are_cut_to_their_field(tmp_path, kind, name, unit, kept_name, kept_unit):
    WRITE_TEXTS[kind](tmp_path / "out", name, unit)
    channel = opened(tmp_path / "out", lambda f: f.channels[0])
    assert channel.name == kept_name
    assert channel.unit == kept_unit


N, MODES = 5, 3
rng = np.random.default_rng(11)
STEPS = np.linspace(0.0, 0.4, N)
KINDS = ("modal_disp", "body_disp", "modal_vel", "body_vel", "modal_acc", "body_acc")  # in the library's order
TIME = {k: rng.normal(size=(N, 6 if k.startswith("body") else MODES)) for k in KINDS}
FREQ = {k: TIME[k] + 1j * rng.normal(size=TIME[k].shape) for k in KINDS[:2]}


# Column-major doubles; in frequency output the real part of mode j in column
# 2j - 1 and its imaginary part in column 2j (from 1).
def doubles(matrix):
    if np.iscomplexobj(matrix):
        matrix = np.stack([matrix.real, matrix.imag], axis=2).reshape(N, -1)
    return None if matrix is None else (ctypes.c_double * np.size(matrix))(*np.ravel(matrix, order="F"))


# punch, frequency, dropped: the bytes are those of zel_fes_write_mcs, from the
# library the package loads, called directly with the same values laid out by hand
@pytest.mark.parametrize("punch, freq, dropped", [(0, 0, 0), (1, 0, 0), (0, 1, 0), (1, 1, 0), (0, 0, 2), (1, 0, 4)])
def test_modal_export_bytes_are_those_of_the_library(tmp_path, punch, freq, dropped):
    library = ctypes.CDLL(os.path.join(os.path.dirname(zel._core.__file__), "libzel.so.1"))  # the one beside the module
    arrays = {k: (FREQ if freq else TIME).get(k) for k in KINDS}
    direct = [punch, MODES, N, dropped, doubles(STEPS), *map(doubles, arrays.values()), freq]
    assert library.zel_fes_write_mcs(*direct, str(tmp_path / "direct").encode()) == 1
    kind = ["op2", "punch"][punch]
    zel.export_modal(tmp_path / "zel", STEPS, **arrays, frequency=bool(freq), dropped=dropped, format=kind)
    assert (tmp_path / "zel").read_bytes() == (tmp_path / "direct").read_bytes()


GOOD = {
    zel.write_rpc: {"data": [[1.0], [2.0]], "dt": 0.5},
    zel.write_dac: {"x": [1.0, 2.0], "dt": 0.5},
    zel.export_modal: {"steps": [0.0, 1.0], **{k: np.ones((2, 6 if k.startswith("body") else 1)) for k in TIME}},
}
# writer, change -> ValueError before anything is created
REFUSED = [
    (zel.write_rpc, {"data": np.zeros(5)}, "1-D"),
    (zel.write_rpc, {"data": np.zeros((0, 2))}, "no points"),
    (zel.write_rpc, {"data": np.zeros((2, 1), complex)}, "complex"),
    (zel.write_rpc, {"data": {}}, "empty dict"),
    (zel.write_rpc, {"data": {"a": [1.0], "b": [1.0, 2.0]}}, "unequal channels"),
    (zel.write_rpc, {"data": {"a": [1.0]}, "names": ["a"]}, "names twice"),
    (zel.write_rpc, {"data": [[np.inf]]}, "infinity as int16"),
    (zel.write_rpc, {"dt": 0.0}, "dt 0"),
    (zel.write_rpc, {"dt": np.inf}, "dt infinite"),
    (zel.write_rpc, {"dt": "fast"}, "dt a text"),
    (zel.write_rpc, {"dtype": "int32"}, "dtype"),
    (zel.write_rpc, {"rounding": "up"}, "rounding"),
    (zel.write_rpc, {"names": ["a", "b"]}, "names too many"),
    (zel.write_rpc, {"names": [1]}, "name a number"),
    (zel.write_rpc, {"names": ["a\0b"]}, "name with NUL"),
    (zel.write_dac, {"x": np.zeros((2, 2))}, "dac 2-D"),
    (zel.write_dac, {"dt": 0.0}, "dac dt 0"),
    (zel.write_dac, {"start": np.nan}, "dac start NaN"),
    (zel.export_modal, {"format": "csv"}, "format"),
    (zel.export_modal, {"steps": []}, "no steps"),
    (zel.export_modal, {"modal_disp": np.zeros((3, 1))}, "modal rows"),
    (zel.export_modal, {"modal_vel": np.zeros((2, 2))}, "modes differ"),
    (zel.export_modal, {"modal_disp": np.zeros((2, 0))}, "no mode"),
    (zel.export_modal, {"body_disp": np.zeros((2, 5))}, "body columns"),
    (zel.export_modal, {"modal_acc": None}, "time output without accelerations"),
    (zel.export_modal, {"modal_disp": np.ones((2, 1)) * 1j}, "complex in time output"),
    (zel.export_modal, {"dropped": 2}, "every step dropped"),
    (zel.export_modal, {"dropped": 1.5}, "dropped not whole"),
    (zel.export_modal, {"dropped": 1, "frequency": True}, "dropped in frequency output"),
]


@pytest.mark.parametrize("write, change, why", REFUSED, ids=[row[2] for row in REFUSED])
def test_refused_input_writes_nothing(tmp_path, write, change, why):
    pytest.raises(ValueError, write, tmp_path / "out", **{**GOOD[write], **change})
    assert os.listdir(tmp_path) == []


@pytest.mark.parametrize("write", GOOD, ids=lambda write: write.__name__)
@pytest.mark.parametrize("target, error", [("folder", IsADirectoryError), ("no/out", FileNotFoundError)])
def test_a_folder_or_a_missing_folder_is_no_target(tmp_path, write, target, error):
    (tmp_path / "folder").mkdir()
    pytest.raises(error, write, tmp_path / target, **GOOD[write])
    assert os.listdir(tmp_path) == ["folder"]


def no_space(*paths):
    raise OSError(28, "No space left on device")


# A write replaces an earlier file; one that fails at the rename (or anywhere)
# leaves it whole and no temporary behind.
@pytest.mark.parametrize("write", GOOD, ids=lambda write: write.__name__)
def test_writing_over_a_file(tmp_path, monkeypatch, write):
    (tmp_path / "out").write_bytes(b"earlier")
    monkeypatch.setattr(os, "replace", no_space)
    pytest.raises(OSError, write, tmp_path / "out", **GOOD[write])
    assert os.listdir(tmp_path) == ["out"]
    assert (tmp_path / "out").read_bytes() == b"earlier"
    monkeypatch.undo()
    write(tmp_path / "out", **GOOD[write])
    assert (tmp_path / "out").read_bytes() != b"earlier"


# A write the library cannot complete (here: past the file-size limit) raises ZelError.
FAILING_WRITE = (
    "import resource, signal, sys, numpy, zel; signal.signal(signal.SIGXFSZ, signal.SIG_IGN); "
    "resource.setrlimit(resource.RLIMIT_FSIZE, (65536, -1)); zel.write_rpc(sys.argv[1], numpy.ones((100000, 2)), 0.1)"
)


def test_a_write_the_library_could_not_complete_leaves_the_earlier_file(tmp_path):
    (tmp_path / "out.rsp").write_bytes(b"earlier")
    run = subprocess.run([sys.executable, "-c", FAILING_WRITE, tmp_path / "out.rsp"], capture_output=True, text=True)
    assert run.stderr.splitlines()[-1].endswith("(code 11)")
    assert os.listdir(tmp_path) == ["out.rsp"]
    assert (tmp_path / "out.rsp").read_bytes() == b"earlier"


# DAC files and modal exports written on a thread pool; the exports take turns.
def test_writes_and_exports_on_a_thread_pool(tmp_path):
    steps, modal, body = np.arange(4.0), np.ones((4, 2)), np.ones((4, 6))

    def work(k):
        zel.write_dac(tmp_path / f"w{k}.dac", np.full(1000, float(k)), 0.01)
        zel.export_modal(tmp_path / f"m{k}.op2", steps, modal * k, modal, modal, body, body, body)

    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        list(pool.map(work, range(16)))
    zel.export_modal(tmp_path / "serial.op2", steps, modal * 5, modal, modal, body, body, body)
    assert (tmp_path / "m5.op2").read_bytes() == (tmp_path / "serial.op2").read_bytes()
    for k in range(16):
        np.testing.assert_array_equal(dac_samples(tmp_path / f"w{k}.dac", 1000), np.full(1000, float(k)))
    assert len(os.listdir(tmp_path)) == 33
