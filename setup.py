"""The build step of `pip install .`: the extension orvane._orvane is built by
CMake (the engine and the module, no tests) for the interpreter that runs pip,
and copied where setuptools packs it; the .py files come from python/orvane.

Environment: ORVANE_BACKEND (auto, host or cuda; default auto), CMAKE_ARGS
(more -D options, separated by blanks), ORVANE_JOBS (parallel compile jobs;
default the number of processors).
"""
import os
import pathlib
import shlex
import shutil
import subprocess
import sys

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

SOURCE = pathlib.Path(__file__).parent.resolve()


class CMakeBuild(build_ext):
    def build_extension(self, ext):
        build = pathlib.Path(self.build_temp).resolve() / "cmake"
        configure = ["cmake", "-S", str(SOURCE), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                     "-DORVANE_BUILD_TESTS=OFF", "-DORVANE_BUILD_PYTHON=ON",
                     f"-DPython3_EXECUTABLE={sys.executable}",
                     f"-DORVANE_BACKEND={os.environ.get('ORVANE_BACKEND', 'auto')}"]
        configure += shlex.split(os.environ.get("CMAKE_ARGS", ""))
        jobs = os.environ.get("ORVANE_JOBS", str(os.cpu_count() or 2))
        try:
            subprocess.run(configure, check=True)
            subprocess.run(["cmake", "--build", str(build), "--target", "_orvane", "-j", jobs], check=True)
        except FileNotFoundError:
            sys.exit("orvane: building the module needs cmake (apt-get install cmake)")
        except subprocess.CalledProcessError as e:
            sys.exit(f"orvane: the CMake build of the module failed ({e}); see the lines above")
        built = sorted((build / "python" / "orvane").glob("_orvane*.so"))
        if not built:
            sys.exit("orvane: CMake skipped the module (see its 'Orvane Python module' line above); "
                     "it needs pybind11-dev, python3-dev and numpy: apt-get install pybind11-dev python3-dev python3-numpy")
        target = pathlib.Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(built[0], target)


# The build's folders stay apart from CMake's build/ of `make`.
setup(ext_modules=[Extension("orvane._orvane", sources=[])], cmdclass={"build_ext": CMakeBuild},
      options={"build": {"build_base": "build-pip"}, "egg_info": {"egg_base": "build-pip"}})
