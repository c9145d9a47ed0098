"""Builds kessa._kessa from the module's sources and the library sources it uses, taken from the
checkout this folder is in; the version is the project's (project() in CMakeLists.txt)."""

import os
import pathlib
import re

from setuptools import Extension, setup

here = pathlib.Path(__file__).resolve().parent
root = here.parent

version = re.search(
    r"project\(kessa2json VERSION ([0-9.]+)", (root / "CMakeLists.txt").read_text()
).group(1)

# The kessa library, as CMakeLists.txt lists its sources (the schema check beside it needs more),
# and the parts of pelmo it stands on (its JSON nodes and writers, and UTF-8), relative to this
# folder, as setuptools requires.
kessa_sources = re.search(
    r"add_library\(kessa STATIC\s+([^)]*)\)", (root / "CMakeLists.txt").read_text()
).group(1)
library = [root / name for name in kessa_sources.split()] + sorted(root.glob("pelmo/json/*.cpp"))
library += [root / "pelmo/exception.cpp", root / "pelmo/file/utf8.cpp"]
sources = ["src/module.cpp", "src/object_builder.cpp", "src/object_encoder.cpp"]
sources += [f"../{path.relative_to(root).as_posix()}" for path in library]
# A change to any header builds the module again.
headers = [*root.glob("kessa/*.h"), *root.glob("pelmo/**/*.h"), *here.glob("src/*.h")]
depends = [f"../{path.relative_to(root).as_posix()}" for path in sorted(headers)]

setup(
    version=version,
    ext_modules=[
        Extension(
            "kessa._kessa",
            sources=sources,
            depends=depends,
            include_dirs=[".."],
            define_macros=[("KESSA2JSON_VERSION", f'"{version}"')],
            language="c++",
            # After Python's own flags, which ask for -O2 and debugging information.
            extra_compile_args=["-std=c++20", "-O3", "-g0", "-fvisibility=hidden", "-Wall", "-Wextra",
                                "-Wpedantic"],
            extra_link_args=["-s"],
        )
    ],
    # The library's sources compile side by side.
    options={"build_ext": {"parallel": os.cpu_count() or 1}},
)
