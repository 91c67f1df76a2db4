"""python -m morvane against the C tool."""

from __future__ import annotations

import subprocess
import sys

import pytest

import morvane


def run(args, env, **kw):
    return subprocess.run(args, env=env, capture_output=True, text=True, timeout=300, **kw)


@pytest.mark.parametrize("options", [[], ["--json"], ["--dpi", "200"], ["--valid", "A4", "--json"],
                                     ["-t", "{root}/examples/templates/sizes.xml", "-t", "{root}/examples/templates/main.xml"]])
def test_same_lines_and_status_as_the_c_tool(c_tool, root, env_with_package, tmp_path, options):
    broken = tmp_path / "broken.png"
    broken.write_bytes(b"x")
    options = [o.format(root=root) for o in options]
    paths = [str(root / "examples/pages/300dpi"), str(root / "examples/pages/200dpi/ID1_card.bmp"), str(broken)]
    py = run([sys.executable, "-m", "morvane", *options, *paths], env_with_package)
    c = run([str(c_tool), "--jobs", "1", *options, *paths], env_with_package)
    assert py.stdout == c.stdout
    assert py.returncode == c.returncode == 1
    assert len(py.stdout.splitlines()) == 14


@pytest.mark.parametrize("args, status", [([], 2), (["--dpi", "x", "p.png"], 2), (["-t", "/nonexistent.xml", "p.png"], 2),
                                          (["-w", "/nonexistent/", "p.png"], 2), (["--version"], 0)])
def test_exit_status(env_with_package, args, status):
    done = run([sys.executable, "-m", "morvane", *args], env_with_package)
    assert done.returncode == status, done.stderr
    if args == ["--version"]:
        assert done.stdout == f"morvane-classify {morvane.load_library().version()}\n"
    else:
        assert done.stdout == ""
        assert done.stderr != ""


def test_pdf_and_multi_page_tiff_pages_are_expanded_like_the_c_tool(c_tool, root, env_with_package, bmp_reader,
                                                                      tmp_path):
    from test_pages import bilevel_page, jpeg_page, make_pdf, make_tiff

    pages = root / "examples" / "pages"
    pdf = tmp_path / "two.pdf"
    pdf.write_bytes(make_pdf([jpeg_page(pages / "200dpi" / "A4_page.jpg", 200),
                              bilevel_page(bmp_reader(pages / "300dpi" / "ID1_card.bmp"), 300)]))
    tiff = tmp_path / "three.tif"
    tiff.write_bytes(make_tiff([(bmp_reader(pages / "300dpi" / "ID1_card.bmp"), 300),
                                (bmp_reader(pages / "400dpi" / "IDCARD_photo_left.bmp"), 400),
                                (bmp_reader(pages / "400dpi" / "DRIVING_photo_right.bmp"), 400)]))
    one = tmp_path / "one.pdf"
    one.write_bytes(make_pdf([jpeg_page(pages / "200dpi" / "A4_page.jpg", 200)]))
    paths = [str(pdf), str(tiff), str(one), str(pages / "200dpi" / "ID1_card.bmp")]
    for options in ([], ["--json"]):
        py = run([sys.executable, "-m", "morvane", *options, *paths], env_with_package)
        c = run([str(c_tool), "--jobs", "1", *options, *paths], env_with_package)
        assert py.stdout == c.stdout
        assert py.returncode == c.returncode
    plain = run([sys.executable, "-m", "morvane", *paths], env_with_package)
    names = [line.split("\t")[0] for line in plain.stdout.splitlines()]
    assert names == [f"{pdf}#page=1", f"{pdf}#page=2", f"{tiff}#page=1", f"{tiff}#page=2", f"{tiff}#page=3",
                     f"{one}#page=1", str(pages / "200dpi" / "ID1_card.bmp")]
    # Worker processes see the same pages.
    jobs = run([sys.executable, "-m", "morvane", "--jobs", "2", *paths], env_with_package)
    assert jobs.stdout == run([str(c_tool), "--jobs", "1", *paths], env_with_package).stdout
