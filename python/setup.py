"""Builds the package with the project's CMake build: the library and the
extension module come out of <build>/python/zel (module, library copy
found through $ORIGIN) and are copied into the package.

    /usr/bin/python3 -m pip install --no-build-isolation ./python

Everything the build needs comes from the machine (cmake, a C++17
compiler, pybind11, numpy): nothing is fetched.
"""

import os
import pathlib
import re
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = pathlib.Path(__file__).resolve().parent.parent


def release_version():
    """YYYY.major.minor, as the top CMakeLists.txt sets it."""
    text = (ROOT / "CMakeLists.txt").read_text()
    year = re.search(r"set\(ZEL_RELEASE_YEAR (\d+)\)", text).group(1)
    major, minor = re.search(r"project\(zel\s+VERSION (\d+)\.(\d+)", text).groups()
    return f"{year}.{major}.{minor}"


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        configure = [
            "cmake", "-S", str(ROOT), "-B", str(build),
            "-DCMAKE_BUILD_TYPE=Release",
            "-DZEL_BUILD_TESTS=OFF",
            "-DZEL_BUILD_TOOLS=OFF",
            "-DZEL_BUILD_PYTHON=ON",
            f"-DZEL_PYTHON_EXECUTABLE={sys.executable}",
        ]
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", "2")
        subprocess.run(configure, check=True)
        subprocess.run(["cmake", "--build", str(build), "--target", "zel_python", "-j", jobs], check=True)
        target = pathlib.Path(self.get_ext_fullpath(ext.name)).parent
        target.mkdir(parents=True, exist_ok=True)
        for built in (build / "python" / "zel").iterdir():
            if built.name.startswith(("_core", "libzel")):
                shutil.copy2(built, target / built.name)


setup(
    version=release_version(),
    ext_modules=[Extension("zel._core", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
)
