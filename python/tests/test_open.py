"""Opening: what is not a readable file of either format raises, and how."""

import numpy as np
import pytest

import zel


def test_missing_file(tmp_path):
    with pytest.raises(FileNotFoundError):
        zel.open(tmp_path / "missing.rsp")


def test_folder(tmp_path):
    with pytest.raises(IsADirectoryError):
        zel.open(tmp_path)


@pytest.mark.parametrize("content", [b"", b"x", b"this is neither format\n", bytes(4096)])
def test_neither_format_is_refused_with_code_2(tmp_path, content):
    (tmp_path / "junk").write_bytes(content)
    with pytest.raises(zel.ZelError) as refused:
        zel.open(tmp_path / "junk")
    assert refused.value.code == 2


def test_rpc_header_claiming_more_than_the_file_holds(tmp_path):
    path = tmp_path / "cut.rsp"
    zel.write_rpc(path, np.zeros((5000, 2)), 0.1)
    path.write_bytes(path.read_bytes()[:4096])
    with pytest.raises(zel.ZelError) as refused:
        zel.open(path)
    assert (refused.value.code, refused.value.message) == (6, "RPC file header is not compatible with file size.")


@pytest.mark.parametrize("interval", [b"-1.0", b"0.0", b"NAN"])
def test_rpc_interval_not_above_0_is_refused_as_a_bad_header(tmp_path, interval):
    path = tmp_path / "dt.rsp"
    zel.write_rpc(path, np.zeros((4, 1)), 0.1)
    raw = bytearray(path.read_bytes())
    at = raw.index(b"DELTA_T\0") + 32
    raw[at : at + 96] = interval.ljust(96, b"\0")
    path.write_bytes(bytes(raw))
    with pytest.raises(zel.ZelError) as refused:
        zel.open(path)
    assert refused.value.code == 5


def test_dac_file_cut_short_loses_its_extra_details(tmp_path):
    path = tmp_path / "cut.dac"
    zel.write_dac(path, np.zeros(5000), 0.1)
    path.write_bytes(path.read_bytes()[:4096])
    with pytest.raises(zel.ZelError) as refused:
        zel.open(path)
    assert (refused.value.code, refused.value.message) == (16, "Error reading extra details")


def test_dac_file_cut_after_it_was_opened(tmp_path):
    path = tmp_path / "cut.dac"
    zel.write_dac(path, np.zeros(5000), 0.1)
    with zel.open(path) as f:
        path.write_bytes(path.read_bytes()[:4096])
        with pytest.raises(zel.ZelError):
            f.read(1)


def test_error_text_names_message_and_code():
    assert str(zel.ZelError(9, "Out of range.")) == "Out of range. (code 9)"


def test_paths_may_be_path_objects_or_bytes(tmp_path):
    path = tmp_path / "a.dac"
    zel.write_dac(path, [1.0], 1.0)
    with zel.open(path) as f, zel.open(bytes(path)) as g:
        assert (f.points, g.points) == (1, 1)


def test_version_is_the_release_version():
    parts = zel.__version__.split(".")
    assert (len(parts), all(p.isdigit() for p in parts)) == (3, True)
