"""Pages of PDFs and multi-page TIFFs through Classifier.classify_pages().

The files are written here, from the example pages: a PDF of a JPEG page
(DCT) and a 1-bit page (Flate rows), each placed at its own resolution, and
an uncompressed 1-bit TIFF of three pages.
"""

from __future__ import annotations

import io
import struct
import zlib
from pathlib import Path
from typing import List, Tuple

import numpy as np
import pytest

import morvane


def jpeg_size(data: bytes) -> Tuple[int, int, int]:
    """(width, height, components) from a JPEG's frame header."""
    pos = 2
    while pos + 4 <= len(data):
        marker, length = data[pos + 1], int.from_bytes(data[pos + 2:pos + 4], "big")
        if marker in (0xC0, 0xC1, 0xC2):
            height, width = struct.unpack(">HH", data[pos + 5:pos + 9])
            return width, height, data[pos + 9]
        pos += 2 + length
    raise ValueError("no frame header")


def image_page(dictionary: str, stream: bytes, width: int, height: int, dpi: int) -> Tuple[str, bytes, float, float]:
    return dictionary, stream, width * 72.0 / dpi, height * 72.0 / dpi


def make_pdf(pages: List[Tuple[str, bytes, float, float]]) -> bytes:
    """A PDF of image pages, each image filling its page."""
    objects: List[bytes] = []

    def add(body: bytes) -> int:
        objects.append(body)
        return len(objects)

    catalog = add(b"")
    tree = add(b"")
    kids = []
    for dictionary, stream, w, h in pages:
        image = add(f"<< /Type /XObject /Subtype /Image {dictionary} /Length {len(stream)} >>\nstream\n".encode()
                    + stream + b"\nendstream")
        content = f"q {w:.4f} 0 0 {h:.4f} 0 0 cm /Im0 Do Q".encode()
        contents = add(f"<< /Length {len(content)} >>\nstream\n".encode() + content + b"\nendstream")
        kids.append(add(f"<< /Type /Page /Parent {tree} 0 R /MediaBox [0 0 {w:.4f} {h:.4f}] "
                        f"/Resources << /XObject << /Im0 {image} 0 R >> >> /Contents {contents} 0 R >>".encode()))
    objects[catalog - 1] = f"<< /Type /Catalog /Pages {tree} 0 R >>".encode()
    objects[tree - 1] = f"<< /Type /Pages /Kids [{' '.join(f'{k} 0 R' for k in kids)}] /Count {len(kids)} >>".encode()
    out = bytearray(b"%PDF-1.7\n")
    offsets = []
    for number, body in enumerate(objects, 1):
        offsets.append(len(out))
        out += f"{number} 0 obj\n".encode() + body + b"\nendobj\n"
    xref = len(out)
    out += f"xref\n0 {len(objects) + 1}\n0000000000 65535 f \n".encode()
    out += b"".join(f"{o:010d} 00000 n \n".encode() for o in offsets)
    out += f"trailer\n<< /Size {len(objects) + 1} /Root {catalog} 0 R >>\nstartxref\n{xref}\n%%EOF\n".encode()
    return bytes(out)


def jpeg_page(path: Path, dpi: int) -> Tuple[str, bytes, float, float]:
    data = path.read_bytes()
    w, h, components = jpeg_size(data)
    space = "/DeviceGray" if components == 1 else "/DeviceRGB"
    return image_page(f"/Width {w} /Height {h} /BitsPerComponent 8 /ColorSpace {space} /Filter /DCTDecode",
                      data, w, h, dpi)


def bilevel_page(gray: "np.ndarray", dpi: int) -> Tuple[str, bytes, float, float]:
    h, w = gray.shape
    rows = np.packbits(gray >= 128, axis=1)  # PDF gray: 1 white
    return image_page(f"/Width {w} /Height {h} /BitsPerComponent 1 /ColorSpace /DeviceGray /Filter /FlateDecode",
                      zlib.compress(rows.tobytes()), w, h, dpi)


def make_tiff(pages: List[Tuple["np.ndarray", int]]) -> bytes:
    """An uncompressed 1-bit TIFF (white is zero) of the gray pages, each with its resolution."""
    out = bytearray(b"II*\x00\x00\x00\x00\x00")
    link = 4  # where the offset of the next directory goes
    for gray, dpi in pages:
        h, w = gray.shape
        strip = np.packbits(gray < 128, axis=1).tobytes()
        strip_at = len(out)
        out += strip
        if len(out) % 2:
            out += b"\x00"
        rational_at = len(out)
        out += struct.pack("<II", dpi, 1)
        entries = [(256, 4, w), (257, 4, h), (258, 3, 1), (259, 3, 1), (262, 3, 0), (273, 4, strip_at),
                   (277, 3, 1), (278, 4, h), (279, 4, len(strip)), (282, 5, rational_at), (283, 5, rational_at),
                   (296, 3, 2)]
        ifd_at = len(out)
        struct.pack_into("<I", out, link, ifd_at)
        out += struct.pack("<H", len(entries))
        for tag, kind, value in entries:
            out += struct.pack("<HHI", tag, kind, 1)
            out += struct.pack("<HH", value, 0) if kind == 3 else struct.pack("<I", value)
        link = len(out)
        out += b"\x00\x00\x00\x00"
    return bytes(out)


@pytest.fixture()
def pages_dir(root: Path) -> Path:
    return root / "examples" / "pages"


@pytest.fixture()
def two_page_pdf(pages_dir: Path, bmp_reader) -> bytes:
    return make_pdf([jpeg_page(pages_dir / "200dpi" / "A4_page.jpg", 200),
                     bilevel_page(bmp_reader(pages_dir / "300dpi" / "ID1_card.bmp"), 300)])


def test_every_pdf_page_is_classified_at_its_own_resolution(classifier, main_index, two_page_pdf, tmp_path):
    assert classifier.set_file_resolution(True)
    path = tmp_path / "two.pdf"
    path.write_bytes(two_page_pdf)
    assert classifier.page_count(path) == 2
    results = list(classifier.classify_pdf(path, main_index))
    assert [(r.page, r.name, r.ok) for r in results] == [(1, f"{path}#page=1", True), (2, f"{path}#page=2", True)]
    assert [r.result.id for r in results if r.result] == ["A4", "ID1"]
    assert [(r.result.resolution, r.result.resolution_source) for r in results if r.result] == [
        ((200, 200), "file"), ((300, 300), "file")]


def test_bytes_file_objects_and_paths_agree(classifier, main_index, two_page_pdf, tmp_path):
    assert classifier.set_file_resolution(True)
    path = tmp_path / "two.pdf"
    path.write_bytes(two_page_pdf)
    for source in (two_page_pdf, io.BytesIO(two_page_pdf), str(path)):
        got = [(r.page, r.result.id if r.result else None) for r in classifier.classify_pages(source, main_index)]
        assert got == [(1, "A4"), (2, "ID1")], type(source)


def test_page_selection(classifier, main_index, two_page_pdf):
    assert classifier.set_file_resolution(True)
    assert [(r.name, r.result.id if r.result else None)
            for r in classifier.classify_pages(two_page_pdf, main_index, first=2)] == [("<bytes>#page=2", "ID1")]
    assert [r.page for r in classifier.classify_pages(two_page_pdf, main_index, first=1, last=1)] == [1]
    assert list(classifier.classify_pages(two_page_pdf, main_index, first=3)) == []
    with pytest.raises(ValueError):
        classifier.classify_pages(two_page_pdf, main_index, first=2, last=1)


def test_multi_page_tiff(classifier, main_index, pages_dir, bmp_reader, tmp_path):
    assert classifier.set_file_resolution(True)
    pages = [(bmp_reader(pages_dir / "300dpi" / "ID1_card.bmp"), 300),
             (bmp_reader(pages_dir / "400dpi" / "IDCARD_photo_left.bmp"), 400),
             (bmp_reader(pages_dir / "400dpi" / "DRIVING_photo_right.bmp"), 400)]
    path = tmp_path / "three.tif"
    path.write_bytes(make_tiff(pages))
    expected = [classifier.classify(pages_dir / name, main_index, dpi=dpi).id
                for name, dpi in (("300dpi/ID1_card.bmp", 300), ("400dpi/IDCARD_photo_left.bmp", 400),
                                  ("400dpi/DRIVING_photo_right.bmp", 400))]
    got = [(r.name, r.result.id if r.result else str(r.error)) for r in classifier.classify_pages(path, main_index)]
    assert got == [(f"{path}#page={n}", want) for n, want in enumerate(expected, 1)]


def test_unreadable_files_raise_with_their_cause(classifier, main_index, two_page_pdf, tmp_path):
    with pytest.raises(FileNotFoundError):
        classifier.classify_pages(tmp_path / "missing.pdf", main_index)
    with pytest.raises(morvane.MorvaneError) as damaged:
        classifier.page_count(b"%PDF-1.7\n")
    assert "damaged PDF" in damaged.value.detail
    # A page whose image data is corrupt is that page's error; the other page is read.
    stream_at = two_page_pdf.index(b"stream\n", two_page_pdf.index(b"/FlateDecode")) + len(b"stream\n")
    broken = two_page_pdf[:stream_at] + b"\x00" * 64 + two_page_pdf[stream_at + 64:]
    results = list(classifier.classify_pages(broken, main_index))
    assert [r.ok for r in results] == [True, False]
    assert results[1].error is not None and "<bytes>#page=2" in results[1].error.detail


def test_pdf_render_resolution_is_checked(classifier):
    with pytest.raises(morvane.MorvaneError):
        classifier.set_pdf_dpi(20)
    classifier.set_pdf_dpi(150)
    classifier.set_pdf_dpi(0)
