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

# The kessa library, as CMakeLists.txt lists its sources, and the parts of pelmo it stands on
# (its JSON nodes and writers, UTF-8, and the files a schema is read from), relative to this
# folder, as setuptools requires.
kessa_sources = re.search(
    r"add_library\(kessa STATIC\s+([^)]*)\)", (root / "CMakeLists.txt").read_text()
).group(1)
library = [root / name for name in kessa_sources.split()] + sorted(root.glob("pelmo/json/*.cpp"))
library += [root / "pelmo/exception.cpp", root / "pelmo/file/utf8.cpp"]
cmake = (root / "CMakeLists.txt").read_text()
# The schema check: kessa_schema, the validator under it (schema/) with the drafts' meta-schemas
# written into a source as CMake writes them, and the fetch of schemas by URL; over RE2 and
# libcurl, which the system gives.
for target in ("kessa_schema", "kessa_validator"):
    names = re.search(rf"add_library\({target} STATIC\s+([^)]*)\)", cmake).group(1).split()
    library += [root / name for name in names if "PROJECT_BINARY_DIR" not in name]
library += [root / "kessa/schema_fetch.cpp", root / "pelmo/file/file_uri.cpp"]
library += sorted(root.glob("pelmo/file/*_posix.cpp"))
library += [root / f"pelmo/file/{name}.cpp"
            for name in ("file_io", "file_sink", "output_file", "background_sink", "stream_read")]


def meta_schemas():
    """schema/meta_schemas.cpp, as schema/meta_schemas.cmake writes it, in the build folder."""
    meta = root / "schema/meta"
    files = [(f"http://json-schema.org/draft-0{n}/schema", f"draft-0{n}/schema.json") for n in (4, 6, 7)]
    files += [(f"https://json-schema.org/draft/{d}/schema", f"{d}/schema.json")
              for d in ("2019-09", "2020-12")]
    files += [(f"https://json-schema.org/draft/2019-09/meta/{n}", f"2019-09/meta/{n}.json")
              for n in ("core", "applicator", "validation", "meta-data", "format", "content")]
    files += [(f"https://json-schema.org/draft/2020-12/meta/{n}", f"2020-12/meta/{n}.json")
              for n in ("core", "applicator", "unevaluated", "validation", "meta-data",
                        "format-annotation", "format-assertion", "content")]
    entries = "".join(f'    {{"{uri}", R"json({(meta / name).read_text()})json"}},\n'
                      for uri, name in files)
    text = ('#include "schema/meta_schemas.h"\n#include <utility>\nnamespace schema {\nnamespace {\n'
            "const std::pair<std::string_view, std::string_view> kMetaSchemas[] = {\n" + entries +
            "};\n}  // namespace\n"
            "std::optional<std::string_view> bundledMetaSchema(std::string_view uri) {\n"
            '    if (uri.substr(0, 7) == "http://") uri.remove_prefix(7);\n'
            '    else if (uri.substr(0, 8) == "https://") uri.remove_prefix(8);\n'
            "    else return std::nullopt;\n"
            "    if (!uri.empty() && uri.back() == '#') uri.remove_suffix(1);\n"
            "    for (const auto& [known, text] : kMetaSchemas) {\n"
            '        if (known.substr(known.find("://") + 3) == uri) return text;\n'
            "    }\n    return std::nullopt;\n}\n}  // namespace schema\n")
    out = here / "build/generated/meta_schemas.cpp"
    out.parent.mkdir(parents=True, exist_ok=True)
    if not out.exists() or out.read_text() != text:
        out.write_text(text)
    return out


library.append(meta_schemas())
sources = ["src/module.cpp", "src/object_builder.cpp", "src/object_encoder.cpp"]
sources += [os.path.relpath(path, here).replace(os.sep, "/") for path in library]
# A change to any header builds the module again.
headers = [*root.glob("kessa/*.h"), *root.glob("schema/*.h"), *root.glob("pelmo/**/*.h"),
           *here.glob("src/*.h")]
depends = [f"../{path.relative_to(root).as_posix()}" for path in sorted(headers)]

setup(
    version=version,
    ext_modules=[
        Extension(
            "kessa._kessa",
            sources=sources,
            depends=depends,
            include_dirs=[".."],
            define_macros=[("KESSA2JSON_VERSION", f'"{version}"'), ("KESSA2JSON_RE2", "1"),
                           ("KESSA2JSON_CURL", "1")],
            libraries=["re2", "curl"],
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
