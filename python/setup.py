"""Builds the wavepitch extension from the C library's own sources.

The module compiles the pitch tracker's sources and pitchtrack's mono mix,
resampling and window walk together with its thin binding layer, so that it gives exactly
what the C library and pitchtrack give. In the repository those sources lie
beside this folder; an sdist made here carries a copy of them in csrc/, so
that it also builds after pip has unpacked it somewhere else.
"""

import glob
import os
import re
import shutil

import pybind11
from setuptools import Extension, setup
from setuptools.command.sdist import sdist

HERE = os.path.dirname(os.path.abspath(__file__))
# The C sources, relative to the repository root (or to csrc/ in an sdist).
C_PARTS = ("pitch/src", "pitch/include", "app/pitchtrack/tracker_input.h",
           "app/pitchtrack/tracker_input.cpp")


def find_c_root():
    for root in (os.path.join(HERE, "csrc"), os.path.dirname(HERE)):
        if (os.path.isfile(os.path.join(root, "pitch", "include", "wavepitch.h")) and
                os.path.isfile(os.path.join(root, "app", "pitchtrack", "tracker_input.cpp"))):
            return root
    raise SystemExit(
        "wavepitch: cannot find the C library's sources (pitch/ and app/pitchtrack/) "
        "beside %s or in its csrc/ folder. Install from the repository's python/ folder, "
        "or from an sdist made there." % HERE)


def version():
    with open(os.path.join(HERE, "pyproject.toml"), encoding="utf-8") as f:
        return re.search(r'^version\s*=\s*"([^"]+)"', f.read(), re.M).group(1)


class SdistWithCSources(sdist):
    """An sdist that carries the C sources it is built from, in csrc/."""

    def add_defaults(self):
        super().add_defaults()
        # The extension's own source goes in by its path in this folder; those
        # outside it travel in csrc/ instead.
        files = []
        for f in self.filelist.files:
            if os.path.isabs(f):
                if not f.startswith(HERE + os.sep):
                    continue
                f = os.path.relpath(f, HERE)
            files.append(f)
        self.filelist.files = files

    def make_release_tree(self, base_dir, files):
        super().make_release_tree(base_dir, files)
        root = find_c_root()
        for part in C_PARTS:
            source = os.path.join(root, part)
            target = os.path.join(base_dir, "csrc", part)
            os.makedirs(os.path.dirname(target), exist_ok=True)
            if os.path.isdir(source):
                shutil.copytree(source, target, dirs_exist_ok=True)
            elif os.path.isfile(source):
                shutil.copy2(source, target)


def extension():
    root = find_c_root()
    pitch_sources = sorted(glob.glob(os.path.join(root, "pitch", "src", "*.cpp")))
    headers = sorted(glob.glob(os.path.join(root, "pitch", "src", "*.h")) +
                     glob.glob(os.path.join(root, "pitch", "include", "*.h")) +
                     [os.path.join(root, "app", "pitchtrack", "tracker_input.h")])
    return Extension(
        "wavepitch",
        sources=[os.path.join(HERE, "src", "module.cpp")] + pitch_sources +
        [os.path.join(root, "app", "pitchtrack", "tracker_input.cpp")],
        depends=headers,
        include_dirs=[os.path.join(root, "pitch", "include"),
                      os.path.join(root, "app", "pitchtrack"),
                      pybind11.get_include()],
        define_macros=[("WAVEPITCH_VERSION", '"%s"' % version())],
        extra_compile_args=["-std=c++17", "-fvisibility=hidden"],
        language="c++",
    )


# The module is one extension and no Python package; saying so keeps setuptools
# from taking src/ for a package folder.
setup(ext_modules=[extension()], packages=[], py_modules=[],
      cmdclass={"sdist": SdistWithCSources})
