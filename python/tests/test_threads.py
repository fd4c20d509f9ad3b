"""Reading and writing on several threads at once."""

import concurrent.futures
import os

import numpy as np

import zel
from conftest import rpc_samples

FILES = 8


def make(folder):
    paths = []
    for k in range(FILES):
        path = str(folder / f"f{k}.rsp")
        values = np.random.default_rng(k).normal(size=(5000 + 100 * k, 1 + k % 4))
        zel.write_rpc(path, values, 0.001)
        paths.append(path)
    return paths


def read_all(path):
    with zel.open(path) as f:
        return f.read_all()


def test_different_files_read_on_a_thread_pool(tmp_path):
    paths = make(tmp_path)
    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        results = list(pool.map(read_all, paths * 4))
    for k, got in enumerate(results):
        np.testing.assert_array_equal(got, rpc_samples(paths[k % FILES]), err_msg=paths[k % FILES])


def test_one_file_shared_by_threads(tmp_path):
    path = make(tmp_path)[3]
    expected = rpc_samples(path)
    with zel.open(path) as f, concurrent.futures.ThreadPoolExecutor(4) as pool:
        results = list(pool.map(lambda c: f.read(c, start=0.5), [1, 2, 3, 4] * 8))
    for k, got in enumerate(results):
        np.testing.assert_array_equal(got, expected[500:, k % 4])


def test_writes_and_exports_on_a_thread_pool(tmp_path):
    steps, modal, body = np.arange(4.0), np.ones((4, 2)), np.ones((4, 6))

    def work(k):
        zel.write_dac(str(tmp_path / f"w{k}.dac"), np.full(1000, float(k)), 0.01)
        zel.export_modal(str(tmp_path / f"m{k}.op2"), steps, modal * k, modal, modal, body, body, body)
        return k

    with concurrent.futures.ThreadPoolExecutor(4) as pool:
        list(pool.map(work, range(16)))
    zel.export_modal(str(tmp_path / "serial.op2"), steps, modal * 5, modal, modal, body, body, body)
    assert (tmp_path / "m5.op2").read_bytes() == (tmp_path / "serial.op2").read_bytes()
    for k in range(16):
        with zel.open(tmp_path / f"w{k}.dac") as f:
            np.testing.assert_array_equal(f.read(1), np.full(1000, float(k)))
    assert len(os.listdir(tmp_path)) == 33
