"""The package as installed: its version, its signatures and docstrings, its type stubs."""

import doctest
import importlib.metadata
import inspect
import pathlib
import pickle
import re

import kessa
from conftest import ROOT


def test_version_is_the_projects():
    version = re.search(r"project\(kessa2json VERSION ([0-9.]+)",
                        (ROOT / "CMakeLists.txt").read_text()).group(1)
    assert kessa.__version__ == version == importlib.metadata.version("kessa")


def test_signatures_as_help_shows_them():
    keyword, positional = inspect.Parameter.KEYWORD_ONLY, inspect.Parameter.POSITIONAL_OR_KEYWORD
    expected = {
        kessa.loads: [("s", positional, inspect.Parameter.empty), ("object_hook", keyword, None),
                      ("object_pairs_hook", keyword, None),
                      ("errors", keyword, "surrogateescape")],
        kessa.load: [("fp", positional, inspect.Parameter.empty), ("object_hook", keyword, None),
                     ("object_pairs_hook", keyword, None),
                     ("errors", keyword, "surrogateescape")],
        kessa.to_json: [("s", positional, inspect.Parameter.empty),
                        ("errors", keyword, "surrogateescape")],
        kessa.check: [("s", positional, inspect.Parameter.empty), ("schema", positional, None),
                      ("schema_draft", keyword, None)],
        kessa.format: [("s", positional, inspect.Parameter.empty), ("indent", keyword, 4)],
        kessa.dumps: [("obj", positional, inspect.Parameter.empty), ("sort_keys", keyword, False),
                      ("indent", keyword, 4)],
        kessa.dump: [("obj", positional, inspect.Parameter.empty),
                     ("fp", positional, inspect.Parameter.empty), ("sort_keys", keyword, False),
                     ("indent", keyword, 4)],
    }
    for function, parameters in expected.items():
        signature = inspect.signature(function)
        assert [(p.name, p.kind, p.default) for p in signature.parameters.values()] == parameters
        assert function.__doc__ and not function.__doc__.startswith(function.__name__)
    assert kessa.__doc__ and kessa.KessaDecodeError.__doc__ and kessa.Finding.__doc__
    assert kessa.KessaEncodeError.__doc__


def test_types_are_shipped():
    folder = pathlib.Path(kessa.__file__).parent
    assert (folder / "py.typed").is_file() and (folder / "_kessa.pyi").is_file()


def test_the_example_in_the_docstring():
    assert doctest.testmod(kessa).failed == 0


def test_the_examples_of_the_package_page():
    """python/README.md, what a package index shows of the wheel: its sessions run as shown."""
    page = (ROOT / "python/README.md").read_text()
    sessions = re.findall(r"^```pycon\n(.*?)^```$", page, re.M | re.S)
    assert sessions
    runner = doctest.DocTestRunner()
    for number, session in enumerate(sessions):
        runner.run(doctest.DocTestParser().get_doctest(session, {}, f"README.md {number}", None, 0))
    assert runner.summarize(verbose=False).failed == 0


def test_errors_and_findings_pickle_as_the_packages():
    finding = kessa.check("a=007\n")[0]
    assert pickle.loads(pickle.dumps(finding)) == finding
    assert type(finding).__module__ == kessa.KessaDecodeError.__module__ == "kessa"
    assert kessa.KessaEncodeError.__module__ == "kessa"
