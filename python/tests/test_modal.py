"""The modal export: the bytes are those of zel_fes_write_mcs called
directly (through ctypes) with the same values laid out by hand."""

import ctypes
import os

import numpy as np
import pytest

import zel

N, MODES = 5, 3
rng = np.random.default_rng(11)
STEPS = np.linspace(0.0, 0.4, N)
TIME = {k: rng.normal(size=(N, MODES)) for k in ("modal_disp", "modal_vel", "modal_acc")}
TIME.update({k: rng.normal(size=(N, 6)) for k in ("body_disp", "body_vel", "body_acc")})
FREQ = {
    "modal_disp": rng.normal(size=(N, MODES)) + 1j * rng.normal(size=(N, MODES)),
    "body_disp": rng.normal(size=(N, 6)) + 1j * rng.normal(size=(N, 6)),
}


@pytest.fixture(scope="module")
def library():
    """The library the package loads (beside its module, or by its soname)."""
    beside = os.path.join(os.path.dirname(zel._core.__file__), "libzel.so.1")
    lib = ctypes.CDLL(beside if os.path.exists(beside) else "libzel.so.1")
    lib.zel_fes_write_mcs.restype = ctypes.c_int
    return lib


def columns(matrix, frequency):
    """Column-major doubles; in frequency output the real part of mode j in
    column 2j - 1 and its imaginary part in column 2j (from 1)."""
    if not frequency:
        return [matrix[i, j] for j in range(matrix.shape[1]) for i in range(matrix.shape[0])]
    out = []
    for j in range(matrix.shape[1]):
        out += [matrix[i, j].real for i in range(matrix.shape[0])]
        out += [matrix[i, j].imag for i in range(matrix.shape[0])]
    return out


def direct(library, path, punch, frequency, dropped):
    def doubles(values):
        return (ctypes.c_double * len(values))(*values)

    given = FREQ if frequency else TIME
    arrays = {k: doubles(columns(v, frequency)) for k, v in given.items()}
    none = None
    code = library.zel_fes_write_mcs(
        int(punch), MODES, N, dropped, doubles(list(STEPS)),
        arrays["modal_disp"], arrays["body_disp"],
        arrays.get("modal_vel", none), arrays.get("body_vel", none),
        arrays.get("modal_acc", none), arrays.get("body_acc", none),
        int(frequency), str(path).encode())
    assert code == 1


def through_zel(path, punch, frequency, dropped):
    given = FREQ if frequency else TIME
    zel.export_modal(
        str(path), STEPS,
        given["modal_disp"], given.get("modal_vel"), given.get("modal_acc"),
        given["body_disp"], given.get("body_vel"), given.get("body_acc"),
        frequency=frequency, dropped=dropped, format="punch" if punch else "op2")


# punch, frequency, dropped
EXPORTS = [(False, False, 0), (True, False, 0), (False, True, 0), (True, True, 0), (False, False, 2), (True, False, 4)]


@pytest.mark.parametrize("punch, frequency, dropped", EXPORTS)
def test_bytes_are_those_of_the_library(library, tmp_path, punch, frequency, dropped):
    (tmp_path / "a").mkdir(), (tmp_path / "b").mkdir()
    direct(library, tmp_path / "a" / "modes", punch, frequency, dropped)
    through_zel(tmp_path / "b" / "modes", punch, frequency, dropped)
    assert (tmp_path / "b" / "modes").read_bytes() == (tmp_path / "a" / "modes").read_bytes()
    assert os.listdir(tmp_path / "b") == ["modes"]


def export(path, **change):
    arguments = dict(TIME, frequency=False, dropped=0, format="op2")
    arguments.update(change)
    steps = arguments.pop("steps", STEPS)
    zel.export_modal(str(path), steps, **arguments)


BAD = [
    ({"format": "csv"}, "format"),
    ({"steps": np.zeros((N, 1))}, "steps 2-D"),
    ({"steps": []}, "no steps"),
    ({"modal_disp": np.zeros((N + 1, MODES))}, "modal rows"),
    ({"modal_vel": np.zeros((N, MODES + 1))}, "modes differ"),
    ({"modal_disp": np.zeros((N, 0))}, "no mode"),
    ({"body_disp": np.zeros((N, 5))}, "body columns"),
    ({"body_acc": np.zeros(N)}, "body 1-D"),
    ({"modal_acc": None}, "time output without accelerations"),
    ({"modal_disp": TIME["modal_disp"] * 1j}, "complex in time output"),
    ({"modal_disp": np.full((N, MODES), "x")}, "texts"),
    ({"dropped": N}, "every step dropped"),
    ({"dropped": -1}, "dropped below 0"),
    ({"dropped": 1.5}, "dropped not whole"),
    ({"frequency": True, "dropped": 1, **FREQ}, "dropped in frequency output"),
]


@pytest.mark.parametrize("change, why", BAD, ids=[why for _, why in BAD])
def test_refused_input_writes_nothing(tmp_path, change, why):
    with pytest.raises(ValueError):
        export(tmp_path / "modes.op2", **change)
    assert os.listdir(tmp_path) == []


def test_a_folder_is_no_target(tmp_path):
    with pytest.raises(IsADirectoryError):
        export(tmp_path)
