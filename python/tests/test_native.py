"""The package as a Python user meets it: one typed result per page, the
usual input kinds and exceptions, checked arguments, a classifier that goes
away with its object, the command line's everyday options, one version."""

from __future__ import annotations

import dataclasses
import gc
import os
import pydoc
import re
import subprocess
import sys
from pathlib import Path

import pytest

import morvane

TEXT_PAGE = "examples/pages/text/300dpi/TEXT-PASSPORT_mrz.png"


@pytest.fixture()
def text_index(classifier: morvane.Classifier, root: Path) -> int:
    return classifier.add_template(root / "examples/templates/text.xml")


def test_one_call_returns_everything_about_a_page(classifier, text_index, root):
    result = classifier.classify(root / TEXT_PAGE, text_index, dpi=300, explain=True, mrz=True)
    assert (result.id, result.output_id, result.template) == ("TEXT-PASSPORT", "TEXT-PASSPORT", text_index)
    assert result.page_turn == 0
    # The recognised lines, typed: the zone's two lines with their boxes.
    assert len(result.text) == 2 and all(isinstance(line, morvane.TextLine) for line in result.text)
    first = result.text[0]
    assert first.text.startswith("P<UTO") and first.width > 1000 and first.height > 10
    assert first.filter_name == "Machine-readable zone" and first.template == "TEXT-PASSPORT"
    # The zone, as read from those lines (its check digits do not all match:
    # it is reported, not corrected).
    zone = result.mrz
    assert isinstance(zone, morvane.Mrz) and zone.layout == "TD3"
    assert zone.lines == tuple(line.text for line in result.text)
    assert isinstance(zone.document_number, morvane.MrzField)
    assert zone.valid == (not zone.errors)
    assert zone.issuing_state == "UTO"
    # Beside it the zone decoded with the engine's candidates: every position
    # the decoder changed is listed, and nothing else differs.
    assert zone.raw_valid is zone.valid
    decoded = zone.decoded
    assert isinstance(decoded, morvane.Mrz) and decoded.valid == (not decoded.errors)
    assert decoded.changes == zone.changes
    assert all(isinstance(c, morvane.MrzChange) and c.reason in ("class", "check", "trim") for c in zone.changes)
    # A position may change twice (its class, then its check digit): the
    # first change starts from the character read, the last gives the one
    # decoded.
    first, last = {}, {}
    for change in zone.changes:
        first.setdefault((change.line, change.position), change.old)
        last[(change.line, change.position)] = change.new
    for (line, position), new in last.items():
        assert decoded.lines[line][position] == new
    if not any(c.reason == "trim" for c in zone.changes):
        for i, (raw, dec) in enumerate(zip(zone.lines, decoded.lines)):
            assert len(raw) == len(dec)
            for k, (a, b) in enumerate(zip(raw, dec)):
                assert (a == b) if (i, k) not in first else (first[(i, k)] == a and last[(i, k)] == b)
    # The trace names the answer, and score and margin come from its last
    # level decided by scores.
    assert result.trace is not None and result.trace["result"]["id"] == "TEXT-PASSPORT"
    scored = [level for level in result.trace["levels"] if level["choice"]["by"] == "score"][-1]
    totals = {c["child"]: c["total"] for c in scored["children"]}
    chosen = scored["choice"]["child"]
    assert result.score == totals.pop(chosen)
    assert result.margin == result.score - max(totals.values())
    # Immutable, snake_case, and without explain/mrz no trace or zone.
    with pytest.raises(dataclasses.FrozenInstanceError):
        result.id = "X"  # type: ignore[misc]
    assert all(re.fullmatch(r"[a-z_]+", f.name) for f in dataclasses.fields(morvane.Result))
    plain = classifier.classify(root / TEXT_PAGE, text_index, dpi=300)
    assert plain.trace is None and plain.mrz is None and plain.text == result.text
    assert plain == result  # the same answer
    # The resolution the page was measured with, and where it came from.
    assert (result.resolution, result.resolution_source) == ((300, 300), "option")
    own = classifier.classify(root / TEXT_PAGE, text_index)
    assert own.resolution_source == "template" and own.id == result.id


@pytest.mark.parametrize("page", ["examples/pages/300dpi/A5_page.jpg", "examples/pages/300dpi/A4_page.png",
                                  "examples/pages/text/400dpi/TEXT-VISA_mrz.tif"])
def test_bytes_and_binary_files_classify_like_their_paths(classifier, main_index, root, page):
    path = root / page
    index = main_index if "/text/" not in page else classifier.add_template(root / "examples/templates/text.xml")
    expected = classifier.classify(path, index, dpi=300)
    data = path.read_bytes()
    for given in (data, bytearray(data), memoryview(data)):
        assert classifier.classify(given, index, dpi=300) == expected
    with open(path, "rb") as f:
        assert classifier.classify(f, index, dpi=300) == expected
    with open(path, "r", encoding="latin-1") as text_file, pytest.raises(TypeError, match="binary"):
        classifier.classify(text_file, index)  # type: ignore[arg-type]
    with pytest.raises(ValueError, match="empty"):
        classifier.classify(b"", index)
    with pytest.raises(morvane.MorvaneError) as e:
        classifier.classify(b"\x89PNG\r\n\x1a\n not really", index)
    assert e.value.code == -16


def test_missing_files_raise_file_not_found(classifier, main_index, tmp_path):
    missing = tmp_path / "missing.png"
    with pytest.raises(FileNotFoundError) as e:
        classifier.classify(missing, main_index)
    assert e.value.filename == str(missing) and isinstance(e.value, morvane.MorvaneError)
    with pytest.raises(FileNotFoundError):
        classifier.add_template(tmp_path / "missing.xml")
    # A file that exists but is no image stays a plain library failure.
    broken = tmp_path / "broken.png"
    broken.write_bytes(b"x")
    with pytest.raises(morvane.MorvaneError) as failure:
        classifier.classify(broken, main_index)
    assert not isinstance(failure.value, OSError)


def test_unreadable_files_raise_permission_error(classifier, main_index, root, tmp_path):
    if os.geteuid() == 0:
        pytest.skip("running as root: every file is readable, so no permission can be denied")
    page = tmp_path / "page.png"
    page.write_bytes((root / "examples/pages/300dpi/A4_page.png").read_bytes())
    page.chmod(0)
    with pytest.raises(PermissionError):
        classifier.classify(page, main_index)


def test_a_dropped_classifier_releases_the_library(root):
    first = morvane.Classifier()
    first.add_template(root / "examples/templates/main.xml")
    del first  # never closed
    gc.collect()
    with morvane.Classifier() as second:
        index = second.add_template(root / "examples/templates/main.xml")
        assert second.classify(root / "examples/pages/300dpi/A4_page.png", index, dpi=300).id == "A4"


@pytest.mark.parametrize("ids, page_answer", [("A4", "A4"), (["A4"], "A4"), (("A5", "A4"), "A4"),
                                             ("A5", None), (iter(["A4"]), "A4")])
def test_valid_ids_take_one_string_or_a_sequence(classifier, main_index, root, ids, page_answer):
    classifier.set_valid(ids, main_index)
    page = root / "examples/pages/300dpi/A4_page.png"
    if page_answer is None:
        with pytest.raises(morvane.MorvaneError):
            classifier.classify(page, main_index, dpi=300)
    else:
        assert classifier.classify(page, main_index, dpi=300).id == page_answer


@pytest.mark.parametrize("ids", [b"A4", [b"A4"], [4], 4, None])
def test_valid_ids_of_other_types_are_refused(classifier, main_index, ids):
    with pytest.raises(TypeError):
        classifier.set_valid(ids, main_index)


@pytest.mark.parametrize("template, error", [(2**31, ValueError), (-(2**31) - 1, ValueError), (2**63, ValueError),
                                             (2**64 + 0, ValueError), (1.0, TypeError), (True, TypeError),
                                             ("0", TypeError), (None, TypeError)])
def test_template_indexes_are_checked_before_the_library(classifier, main_index, root, template, error):
    page = root / "examples/pages/300dpi/A4_page.png"
    with pytest.raises(error):
        classifier.classify(page, template)
    with pytest.raises(error):
        classifier.set_shortcut(True, template)
    with pytest.raises(error):
        classifier.set_valid(["A4"], template)


def test_numpy_integer_indexes_are_taken(classifier, main_index, root):
    np = pytest.importorskip("numpy")
    page = root / "examples/pages/300dpi/A4_page.png"
    assert classifier.classify(page, np.int64(main_index), dpi=300).id == "A4"


@pytest.mark.parametrize("options", [["--explain", "--text", "--mrz", "--orient"],
                                     ["--json", "--explain", "--text", "--mrz", "--orient"],
                                     ["--text", "--jobs", "2"]])
def test_everyday_options_print_what_the_c_tool_prints(c_tool, root, env_with_package, options):
    args = ["-t", str(root / "examples/templates/text.xml"), "--dpi", "300", *options,
            str(root / "examples/pages/text/300dpi")]
    py = subprocess.run([sys.executable, "-m", "morvane", *args], env=env_with_package, capture_output=True,
                        text=True, timeout=300)
    c = subprocess.run([str(c_tool), *args], env=env_with_package, capture_output=True, text=True, timeout=300)
    assert py.stderr == ""
    assert (py.stdout, py.returncode) == (c.stdout, c.returncode)
    assert ("text:" in py.stdout or '"text":' in py.stdout) if "--text" in options else True


def test_a_closed_pipe_ends_the_run_quietly(root, env_with_package):
    reader = subprocess.Popen([sys.executable, "-m", "morvane", "--dpi", "300", str(root / "examples/pages")],
                              env=env_with_package, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    assert reader.stdout is not None and reader.stderr is not None
    first = reader.stdout.readline()
    reader.stdout.close()  # as `| head -1` does
    errors = reader.stderr.read().decode()
    status = reader.wait(timeout=300)
    assert b"\t" in first
    assert errors == ""
    assert status != 0  # not every page was written


def test_one_version_everywhere(root):
    library = morvane.load_library().version()
    assert morvane.__version__ == library
    expected = os.environ.get("MORVANE_VERSION")  # the build's, when CTest runs this
    if expected:
        assert library == expected
    project = (root / "CMakeLists.txt").read_text()
    assert re.search(r"project\(MorvaneClassifier VERSION " + re.escape(library) + r"\b", project)
    pyproject = (root / "python/pyproject.toml").read_text()
    assert 'dynamic = ["version"]' in pyproject and "morvane._version.__version__" in pyproject


def test_help_documents_everything_public():
    text = pydoc.render_doc(morvane, renderer=pydoc.plaintext)
    for name in morvane.__all__:
        obj = getattr(morvane, name)
        if name == "__version__":
            continue
        assert obj.__doc__ and obj.__doc__.strip(), name
        assert name in text, name
    for name, member in vars(morvane.Classifier).items():
        if not name.startswith("_") and callable(member) or isinstance(member, property):
            assert member.__doc__ and member.__doc__.strip(), f"Classifier.{name}"
