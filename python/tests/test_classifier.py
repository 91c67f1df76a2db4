"""The Classifier object over the shared library."""

from __future__ import annotations

import concurrent.futures
import os
import subprocess
import sys
from pathlib import Path

import numpy as np

import pytest

import morvane
from morvane.classifier import _rows_from_array


def bundled_pages(root: Path):
    """(page, dpi, expected ID) of every clean example page."""
    for folder in sorted((root / "examples" / "pages").glob("*dpi")):
        dpi = int(folder.name[:-3])
        for page in sorted(folder.iterdir()):
            yield page, dpi, page.name.split("_")[0]


def test_bundled_pages_come_out_as_named(classifier, main_index, root):
    pages = list(bundled_pages(root))
    assert len(pages) > 20
    wrong = [(p.name, dpi, classifier.classify(p, main_index, dpi=dpi).id, want)
             for p, dpi, want in pages if classifier.classify(p, main_index, dpi=dpi).id != want]
    assert wrong == []


def test_result_fields(classifier, main_index, root):
    result = classifier.classify(str(root / "examples/pages/300dpi/UNKNOWN_receipt.png"), main_index)
    assert result == morvane.Result(id="UNKNOWN", name="Unknown document", output_id="0")
    assert classifier.version == "6.1.1.2"


@pytest.mark.parametrize("page, dpi", [("300dpi/ID1_card.bmp", 300),  # width 1011: padded rows
                                       ("400dpi/IDCARD_photo_left.bmp", 400),
                                       ("400dpi/DRIVING_photo_right.bmp", (400, 400))])
def test_arrays_classify_like_their_files(classifier, main_index, root, bmp_reader, page, dpi):
    path = root / "examples" / "pages" / page
    expected = classifier.classify(path, main_index, dpi=dpi)
    gray = bmp_reader(path)
    assert classifier.classify(gray, main_index, dpi=dpi) == expected
    assert classifier.classify(gray[:, :, None], main_index, dpi=dpi) == expected
    rgb = np.repeat(gray[:, :, None], 3, axis=2)
    assert classifier.classify(rgb, main_index, dpi=dpi) == expected
    # A view with strides (every pixel of a twice-as-wide array) is copied.
    wide = np.repeat(rgb, 2, axis=1)[:, ::2]
    assert not wide.flags.c_contiguous
    assert classifier.classify(wide, main_index, dpi=dpi) == expected


def test_rows_are_blue_green_red_padded_to_four_bytes():
    rgb = np.array([[[1, 2, 3], [4, 5, 6]], [[7, 8, 9], [10, 11, 12]]], dtype=np.uint8)
    rows, bits = _rows_from_array(rgb)
    assert bits == 24
    assert rows.tolist() == [[3, 2, 1, 6, 5, 4, 0, 0], [9, 8, 7, 12, 11, 10, 0, 0]]
    gray = np.arange(10, dtype=np.uint8).reshape(2, 5)
    rows, bits = _rows_from_array(gray)
    assert bits == 8
    assert rows.tolist() == [[0, 1, 2, 3, 4, 0, 0, 0], [5, 6, 7, 8, 9, 0, 0, 0]]
    fortran = np.asfortranarray(rgb)
    assert _rows_from_array(fortran)[0].tolist() == _rows_from_array(rgb)[0].tolist()


@pytest.mark.parametrize("image, error, text", [
    (np.zeros((10, 10), dtype=np.float32), TypeError, "dtype uint8"),
    (np.zeros((10, 10), dtype=np.uint16), TypeError, "dtype uint8"),
    (np.zeros((10, 10), dtype=bool), TypeError, "dtype uint8"),
    (np.zeros((10, 10, 4), dtype=np.uint8), ValueError, "shape"),
    (np.zeros((10, 10, 2), dtype=np.uint8), ValueError, "shape"),
    (np.zeros(100, dtype=np.uint8), ValueError, "shape"),
    (np.zeros((2, 10, 10, 3), dtype=np.uint8), ValueError, "shape"),
    (np.zeros((0, 10), dtype=np.uint8), ValueError, "empty"),
    (np.zeros((10, 0, 3), dtype=np.uint8), ValueError, "empty"),
    ([[0, 255], [255, 0]], TypeError, "NumPy array"),
    (12, TypeError, "NumPy array"),
])
def test_bad_arrays_are_refused(classifier, main_index, image, error, text):
    with pytest.raises(error, match=text):
        classifier.classify(image, main_index)


@pytest.mark.parametrize("dpi", [0, -300, 100001, 300.0, True, (300,), (300, 0), "300"])
def test_bad_resolutions_are_refused(classifier, main_index, root, dpi):
    with pytest.raises(ValueError, match="dpi"):
        classifier.classify(root / "examples/pages/300dpi/A4_page.png", main_index, dpi=dpi)


def test_library_failures_raise_morvane_error(classifier, main_index, root, tmp_path):
    broken = tmp_path / "broken.png"
    broken.write_bytes(b"not an image")
    with pytest.raises(morvane.MorvaneError) as e:
        classifier.classify(broken, main_index)
    assert (e.value.code, e.value.message) == (-16, "Failed to read image file")
    assert str(broken) in str(e.value)

    with pytest.raises(morvane.MorvaneError) as e:
        classifier.add_template(tmp_path / "missing.xml")
    assert (e.value.code, e.value.message) == (-4, "Failed to read main template")

    with pytest.raises(morvane.MorvaneError) as e:
        classifier.classify(root / "examples/pages/300dpi/A4_page.png", main_index + 1)
    assert (e.value.code, e.value.message) == (-61, "Invalid parameter")

    classifier.set_valid(["A5"], main_index)
    with pytest.raises(morvane.MorvaneError) as e:
        classifier.classify(root / "examples/pages/300dpi/A4_page.png", main_index)
    assert (e.value.code, e.value.message) == (-8, "Failed to classify image")
    with pytest.raises(morvane.MorvaneError) as e:
        classifier.set_valid(["A4"], 7)
    assert e.value.code == -61


def test_several_classifiers_at_once(root):
    # Each Classifier has its own templates, settings and last result.
    with morvane.Classifier() as first, morvane.Classifier() as second:
        a = first.add_template(root / "examples/templates/main.xml")
        assert first.classify(root / "examples/pages/300dpi/A5_page.jpg", a, 300).id == "A5"
        # second has no template yet: first's index is not its own.
        with pytest.raises(morvane.MorvaneError) as e:
            second.classify(root / "examples/pages/300dpi/A5_page.jpg", a)
        assert e.value.code == -61
        b = second.add_template(root / "examples/templates/main.xml")
        second.set_orientation_search(True)
        assert second.classify(root / "examples/pages/200dpi/ID1_card.bmp", b, 200).id == "ID1"
        assert first.explain()["result"]["id"] == "A5"
        assert first.explain()["orientation"]["searched"] is False
        assert second.explain()["orientation"]["searched"] is True
        # A failure's detail stays with the Classifier that failed.
        with pytest.raises(FileNotFoundError):
            second.classify(root / "examples/pages/no_such_page.png", b)
        assert "no_such_page.png" in second._last_error_detail()
        assert first._last_error_detail() == ""
    # Closed by the with block: calls fail clearly, and new ones may open.
    with pytest.raises(morvane.MorvaneError) as e:
        first.classify(root / "examples/pages/300dpi/A4_page.png", a)
    assert e.value.code == -60
    with morvane.Classifier() as third:
        assert third.classify(root / "examples/pages/300dpi/A4_page.png",
                              third.add_template(morvane.default_template())).id == "A4"


def test_classifiers_on_threads_answer_as_one(root):
    # Two Classifiers on two threads classify the bundled pages at the same
    # time and answer as one Classifier does alone.
    pages = sorted(p for d in ("200dpi", "300dpi", "400dpi") for p in (root / "examples/pages" / d).iterdir())
    dpi = {p: int(p.parent.name[:-3]) for p in pages}

    def run(c, index, order):
        return {p: (c.classify(p, index, dpi[p]).id, c.explain()) for p in order}

    with morvane.Classifier() as alone:
        expected = run(alone, alone.add_template(morvane.default_template()), pages)
    assert len({answer for answer, _ in expected.values()}) > 3
    with morvane.Classifier() as one, morvane.Classifier() as two:
        work = [(one, one.add_template(morvane.default_template()), pages),
                (two, two.add_template(morvane.default_template()), list(reversed(pages)))]
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            answers = list(pool.map(lambda w: run(*w), work))
    assert answers[0] == expected
    assert answers[1] == expected


def test_missing_working_directory(tmp_path):
    with pytest.raises(morvane.MorvaneError) as e:
        morvane.Classifier(workdir=tmp_path / "nowhere")
    assert e.value.code == -2


def run_python(code: str, env: dict) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True, timeout=120)


@pytest.mark.parametrize("setting", ["{tmp}/missing/libmorvaneclassifier.so", "{tmp}/not-a-library.so", "{tmp}"])
def test_unusable_library_path_is_a_clear_error(env_with_package, tmp_path, setting):
    (tmp_path / "not-a-library.so").write_text("text")
    env = dict(env_with_package, MORVANE_LIBRARY=setting.format(tmp=tmp_path))
    done = run_python("import morvane\ntry:\n morvane.Classifier()\nexcept morvane.LibraryNotFoundError as e:\n"
                      " print(type(e).__name__, e)\n", env)
    assert done.returncode == 0, done.stderr
    assert done.stdout.startswith("LibraryNotFoundError cannot load the Morvane library")


def test_library_from_environment(env_with_package):
    lib = morvane.load_library().path
    env = dict(env_with_package, MORVANE_LIBRARY=os.path.dirname(lib))
    done = run_python("import morvane\nwith morvane.Classifier() as c: print(c.library_path)", env)
    assert done.returncode == 0, done.stderr
    assert os.path.realpath(done.stdout.strip()) == os.path.realpath(lib)


# -- explanations, recognised text, zones and settings beyond the answer ---------

ZONE_TD3 = ("P<UTOERIKSSON<<ANNA<MARIA<<<<<<<<<<<<<<<<<<<\n"
            "L898902C36UTO7408122F1204159ZE184226B<<<<<10")


def test_trace_and_text_need_a_classification_first(classifier):
    for ask in (classifier.explain, classifier.recognised_text):
        with pytest.raises(morvane.MorvaneError) as failure:
            ask()
        assert failure.value.code == -58


def test_trace_names_the_answer_and_text_lists_no_lines_without_text_filters(classifier, main_index, root):
    result = classifier.classify(root / "examples/pages/300dpi/A5_page.jpg", main_index, dpi=300)
    trace = classifier.explain()
    assert trace["code"] == 0
    assert trace["result"]["id"] == result.id == "A5"
    assert trace["levels"], "a classification walks at least the root level"
    text = classifier.recognised_text()
    assert text["lines"] == []
    assert (text["page"]["width"], text["page"]["height"]) == (1748, 2480)
    assert classifier.page_turn == 0


def test_decode_resolution_is_checked_and_keeps_the_answer(classifier, main_index, root):
    page = root / "examples/pages/300dpi/A5_page.jpg"
    with pytest.raises(morvane.MorvaneError) as failure:
        classifier.set_decode_resolution(74)
    assert failure.value.code == -61
    try:
        classifier.set_decode_resolution(150)
        assert classifier.classify(page, main_index, dpi=300).id == "A5"
        assert classifier.recognised_text()["page"]["width"] == 874
    finally:
        classifier.set_decode_resolution(0)
    assert classifier.classify(page, main_index, dpi=300).id == "A5"
    assert classifier.recognised_text()["page"]["width"] == 1748


@pytest.mark.parametrize("zone, valid, wrong", [
    (ZONE_TD3, True, []),
    # the birth date's check digit 2 made 3: that field and the composite fail
    (ZONE_TD3.replace("7408122F", "7408123F"), False, ["birthDate", "composite"]),
])
def test_parse_mrz_checks_digits_and_never_corrects(zone, valid, wrong):
    parsed = morvane.parse_mrz(zone)
    assert parsed["layout"] == "TD3"
    assert parsed["valid"] is valid
    failed = sorted(k for k, v in parsed.items() if isinstance(v, dict) and v.get("valid") is False)
    assert failed == sorted(wrong)
    assert parsed["birthDate"]["value"] == "740812"


def test_zone_decoding_fields_come_from_the_decoded_object():
    # A zone as MorvaneGetRecognisedZone gives it: the raw reading, and the
    # decoded one with the positions changed.
    raw_line = ZONE_TD3.split("\n")[1]
    read = raw_line.replace("7408122F", "74O8122F")
    item = {"layout": "TD3", "valid": False, "errors": ["check digit of birthDate does not match"],
            "lines": [ZONE_TD3.split("\n")[0], read], "rawValid": False,
            "decoded": {"layout": "TD3", "valid": True, "errors": [],
                        "lines": [ZONE_TD3.split("\n")[0], raw_line],
                        "changes": [{"line": 1, "position": read.index("O8"), "from": "O", "to": "0",
                                     "reason": "class"}]}}
    zone = morvane.Mrz.from_json(item)
    assert zone.raw_valid is False and zone.valid is False and zone.lines[1] == read
    assert zone.decoded is not None and zone.decoded.valid and zone.decoded.lines[1] == raw_line
    assert zone.changes == (morvane.MrzChange(line=1, position=read.index("O8"), old="O", new="0", reason="class"),)
    # None of the decoding's members leak into the other fields.
    assert not {"decoded", "changes", "raw_valid"} & set(zone.other)
    # A zone read without candidates has no decoding.
    plain = morvane.Mrz.from_json({"layout": "TD3", "valid": True, "lines": ZONE_TD3.split("\n")})
    assert plain.decoded is None and plain.changes == () and plain.raw_valid is None
