"""The classifier object: a typed wrapper over the library's C interface."""

from __future__ import annotations

import ctypes
import errno
import json
import numbers
import os
import tempfile
import threading
import weakref
from pathlib import Path
from dataclasses import dataclass
from typing import IO, TYPE_CHECKING, Any, Dict, Iterable, Iterator, List, Optional, Tuple, Union

from ._library import Calls, Library, data_directory, load_library
from .result import Mrz, Result, TextLine, score_and_margin

if TYPE_CHECKING:  # pragma: no cover
    import numpy as np
    import numpy.typing as npt

    ImageArray = npt.NDArray[np.uint8]

PathLike = Union[str, "os.PathLike[str]"]
Dpi = Union[int, Tuple[int, int], None]
#: What classify() takes: a path, the bytes of an encoded image file, a
#: binary file object, or a NumPy image.
Page = Union[PathLike, bytes, bytearray, memoryview, IO[bytes], "ImageArray"]

# The range of the library's int arguments.
_INT_MIN, _INT_MAX = -(1 << 31), (1 << 31) - 1

# Result codes of the library (the ones this wrapper names).
ERR_CLASSIFY = -8
ERR_READ_IMAGE = -16
ERR_CALL_ORDER = -58
ERR_UNINITIALIZED = -60
ERR_INVALID_PARAMETER = -61

#: What classify_pages() takes: a path, the bytes of an encoded image file or
#: a binary file object.
PagedFile = Union[PathLike, bytes, bytearray, memoryview, IO[bytes]]

# Where the resolution a page was measured with came from, as the library
# numbers the sources.
_RESOLUTION_SOURCES = {0: "template", 1: "file", 2: "option"}


class MorvaneError(Exception):
    """A failure reported by the library: its result code, its message and
    the detail (the library's own account of the failure when it gives one,
    else what the call was about)."""

    def __init__(self, code: int, message: str, detail: str = "") -> None:
        self.code = code
        self.message = message
        self.detail = detail
        text = f"{message} ({code})"
        super().__init__(f"{text}: {detail}" if detail else text)


class PageNotFoundError(MorvaneError, FileNotFoundError):
    """A page or template file that does not exist (a FileNotFoundError)."""

    def __init__(self, code: int, message: str, path: str) -> None:
        MorvaneError.__init__(self, code, message, path)
        self.errno = errno.ENOENT
        self.strerror = os.strerror(errno.ENOENT)
        self.filename = path


class PagePermissionError(MorvaneError, PermissionError):
    """A page or template file that may not be read (a PermissionError)."""

    def __init__(self, code: int, message: str, path: str) -> None:
        MorvaneError.__init__(self, code, message, path)
        self.errno = errno.EACCES
        self.strerror = os.strerror(errno.EACCES)
        self.filename = path


# A library with classifier handles gives every Classifier its own, with a
# lock of its own: several may be open and work at once on their threads.
# An older library holds one classifier per process: there one Classifier
# may be open at a time, and every call goes through this lock. The open
# one is only referred to weakly, so a Classifier dropped without close() is
# collected, releases the library, and the next one may open.
_process_lock = threading.RLock()
_open_classifier: Optional["weakref.ReferenceType[Classifier]"] = None


def _c_int(value: object, what: str) -> int:
    """A whole number that fits the library's int arguments."""
    if isinstance(value, bool) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{what} must be a whole number, got {value!r}")
    number = int(value)
    if not _INT_MIN <= number <= _INT_MAX:
        raise ValueError(f"{what} is out of range: {number}")
    return number


# Leading bytes of the image formats the library reads, with the file name
# suffix its readers are chosen by.
_SIGNATURES = ((b"\x89PNG\r\n\x1a\n", ".png"), (b"\xff\xd8\xff", ".jpg"), (b"II*\x00", ".tif"),
               (b"MM\x00*", ".tif"), (b"BM", ".bmp"), (b"GIF8", ".gif"), (b"\xff\x4f\xff\x51", ".j2k"))


def _suffix_of(data: bytes) -> str:
    for signature, suffix in _SIGNATURES:
        if data.startswith(signature):
            return suffix
    return ".png"


_malloc_tuned = False


def _tune_malloc() -> None:
    """Keeps freed page buffers in the heap for the next page.

    With glibc's adaptive defaults a Python process hands the library's
    multi-megabyte page buffers back to the system after every page and
    faults them in again for the next one, which costs several times the
    classification itself. A fixed mmap threshold of 32 MiB and a trim
    threshold of 128 MiB keep them (the C tool's workers do the same). Done
    once per process, on glibc only; MORVANE_KEEP_MALLOC=1 leaves malloc
    alone."""
    global _malloc_tuned
    if _malloc_tuned or os.environ.get("MORVANE_KEEP_MALLOC") == "1":
        return
    _malloc_tuned = True
    try:
        libc = ctypes.CDLL(None)
        mallopt = libc.mallopt
        libc.gnu_get_libc_version  # present on glibc only
    except (OSError, AttributeError):
        return
    mallopt.argtypes = [ctypes.c_int, ctypes.c_int]
    mallopt.restype = ctypes.c_int
    M_TRIM_THRESHOLD, M_MMAP_THRESHOLD = -1, -3
    # 64 MiB: above OpenJPEG's one-block colour components of an A4 300-dpi
    # page (34.8 MB), which at 32 MiB were mapped and faulted in afresh for
    # every page (see tools/parallel_batch.cpp for the measurement).
    mallopt(M_MMAP_THRESHOLD, 64 * 1024 * 1024)
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024)


def _rows_from_array(image: "ImageArray") -> Tuple["ImageArray", int]:
    """Converts a NumPy image to the library's rows: 8-bit gray rows, or
    24-bit rows of blue, green, red; each row padded to a multiple of 4
    bytes. Returns the padded rows (height x stride) and the bits per pixel.

    Accepts uint8 arrays of shape (h, w) (gray), (h, w, 1) (gray) or
    (h, w, 3) (RGB, as NumPy users hold it), contiguous or not (they are
    copied anyway)."""
    import numpy as np

    if not isinstance(image, np.ndarray):
        raise TypeError(f"expected a NumPy array or a path, got {type(image).__name__}")
    if image.dtype != np.uint8:
        raise TypeError(f"expected an array of dtype uint8, got {image.dtype}")
    if image.ndim == 3 and image.shape[2] == 1:
        image = image[:, :, 0]
    if image.ndim == 2:
        channels = 1
    elif image.ndim == 3 and image.shape[2] == 3:
        channels = 3
    else:
        raise ValueError(f"expected an image of shape (h, w) or (h, w, 3), got {image.shape}")
    height, width = int(image.shape[0]), int(image.shape[1])
    if height == 0 or width == 0:
        raise ValueError(f"the image is empty (shape {image.shape})")
    row_bytes = width * channels
    if height > 0x7FFFFFFF or row_bytes > 0x7FFFFFFF - 3:
        raise ValueError(f"the image is too large (shape {image.shape})")
    stride = (row_bytes + 3) // 4 * 4
    rows = np.zeros((height, stride), dtype=np.uint8)
    if channels == 1:
        rows[:, :width] = image
    else:
        rows[:, :row_bytes].reshape(height, width, 3)[...] = image[:, :, ::-1]
    return rows, 8 * channels


def _dpi_pair(dpi: Dpi) -> Tuple[int, int]:
    if dpi is None:
        return 0, 0  # the templates' own resolution
    h: object
    v: object
    if isinstance(dpi, tuple) and len(dpi) == 2:
        h, v = dpi
    else:
        h = v = dpi
    pair: List[int] = []
    for value in (h, v):
        if isinstance(value, bool) or not isinstance(value, numbers.Integral) or not 0 < int(value) <= 100000:
            raise ValueError(f"dpi must be a whole number from 1 to 100000 or a pair of them, got {dpi!r}")
        pair.append(int(value))
    return pair[0], pair[1]


class Classifier:
    """The library's classifier, loaded with a working directory.

    ``workdir`` holds the device list ``ClasDevices.dat`` (and engine data);
    None takes the example working directory that comes with the library
    (installed ``share/morvane/workdir`` or the checkout's
    ``examples/workdir``). ``library`` names the shared library file; None
    finds it (see :func:`morvane.load_library`).

    Use it as a context manager. Several Classifiers may be open at once,
    each with its own templates, settings and last result; each may be used
    from its own thread while the others work (calls on one Classifier are
    served one after another).
    """

    def __init__(self, workdir: Optional[PathLike] = None, library: Optional[PathLike] = None) -> None:
        global _open_classifier
        self._lib: Library = load_library(os.fspath(library) if library is not None else None)
        if workdir is None:
            data = data_directory(self._lib)
            workdir = data / "workdir" if data is not None else None
        self._open = False
        self._handle: Optional[int] = None
        directory = None
        if workdir is not None:
            text = os.fspath(workdir)
            directory = self._lib.utf16(text if text.endswith("/") else text + "/")
        with _process_lock:
            _tune_malloc()
        if self._lib.has_handles and self._lib.MorvaneClassifierCreate is not None:
            # A classifier of its own: any number may be open, each used from
            # its own thread while the others work.
            self._lock = threading.RLock()
            handle = ctypes.c_void_p(None)
            code = self._lib.MorvaneClassifierCreate(directory, ctypes.byref(handle))
            if code != 0:
                raise MorvaneError(code, self._lib.message(code), f"working directory {os.fspath(workdir or '')!r}")
            self._handle = handle.value
            self._calls = Calls(self._lib, self._handle)
            self._open = True
        else:
            # An older library: its one classifier, one Classifier at a time.
            self._lock = _process_lock
            self._calls = Calls(self._lib)
            with _process_lock:
                if _open_classifier is not None and _open_classifier() is not None:
                    raise MorvaneError(ERR_CALL_ORDER, self._lib.message(ERR_CALL_ORDER),
                                       "another Classifier is open in this process; close it first")
                code = self._lib.LoadClassifier(None, directory)
                if code != 0:
                    raise MorvaneError(code, self._lib.message(code),
                                       f"working directory {os.fspath(workdir or '')!r}")
                self._open = True
                _open_classifier = weakref.ref(self)
        self.workdir: Optional[Path] = Path(workdir) if workdir is not None else None

    # -- lifetime -------------------------------------------------------------

    def close(self) -> None:
        """Releases the templates (and, on an older library, the devices);
        further calls raise MorvaneError."""
        global _open_classifier
        lock = getattr(self, "_lock", None)
        if lock is None:  # __init__ failed before it made one
            return
        with lock:
            if not self._open:
                return
            self._open = False
            if self._handle is not None:
                if self._lib.MorvaneClassifierDestroy is not None:
                    self._lib.MorvaneClassifierDestroy(self._handle)
                self._handle = None
                return
        with _process_lock:
            self._lib.FreeClassifier()
            if _open_classifier is not None and _open_classifier() in (self, None):
                _open_classifier = None

    def __enter__(self) -> "Classifier":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:
            pass

    @property
    def library_path(self) -> str:
        """The file of the shared library this classifier runs in."""
        return self._lib.path

    @property
    def version(self) -> str:
        """The library's version (GetSDKVersion), the package's as well."""
        return self._lib.version()

    def _check(self, code: int, detail: str = "") -> None:
        if code != 0:
            raise self._error(code, detail)

    def _error(self, code: int, detail: str = "", path: Optional[str] = None) -> MorvaneError:
        """The exception for a failed call: for a file that is missing or may
        not be read, the matching OSError (still a MorvaneError); the
        library's own detail text when it offers one."""
        message = self._lib.message(code)
        if path is not None:
            if not os.path.lexists(path):
                return PageNotFoundError(code, message, path)
            if not os.access(path, os.R_OK):
                return PagePermissionError(code, message, path)
        library_detail = self._last_error_detail()
        if library_detail:
            detail = f"{detail}: {library_detail}" if detail else library_detail
        return MorvaneError(code, message, detail)

    def _last_error_detail(self) -> str:
        """What the library tells about this classifier's last failure."""
        if self._calls.MorvaneGetLastErrorDetail is None:
            return ""
        return self._lib.read_text(self._calls.MorvaneGetLastErrorDetail) or ""

    def _require_open(self) -> None:
        if not self._open:
            raise MorvaneError(ERR_UNINITIALIZED, self._lib.message(ERR_UNINITIALIZED), "the Classifier is closed")

    # -- templates and settings -------------------------------------------------

    def add_template(self, path: PathLike) -> int:
        """Loads a main template file; returns its index."""
        name = os.fspath(path)
        text = self._lib.utf16(name)
        with self._lock:
            self._require_open()
            index = ctypes.c_int(-1)
            code = self._calls.AddMainTemplate(text, ctypes.byref(index))
            if code != 0:
                raise self._error(code, name, name)
            return index.value

    def set_valid(self, ids: Union[str, Iterable[str]], template: int = 0) -> None:
        """Restricts answers of a main template to these sub-template IDs
        (one ID as a string, or a sequence of them)."""
        if isinstance(ids, str):
            ids = [ids]
        elif isinstance(ids, (bytes, bytearray)) or not isinstance(ids, Iterable):
            raise TypeError(f"ids must be a sub-template ID or a sequence of them, got {type(ids).__name__}")
        listed = list(ids)
        for i in listed:
            if not isinstance(i, str):
                raise TypeError(f"sub-template IDs are strings, got {i!r}")
        encoded = [self._lib.utf16(i) for i in listed]
        with self._lock:
            self._require_open()
            self._check_index(template)
            self._check(self._calls.ResetAllTemplates(0, template))
            for text in encoded:
                self._check(self._calls.SetTemplateValid(text, 0, template))

    def set_shortcut(self, on: bool, template: int = 0) -> None:
        """Answers from the single valid sub-template when its template allows it."""
        with self._lock:
            self._require_open()
            self._check_index(template)
            self._check(self._calls.SetAttribute(0, 1 if on else 0, template))

    def _check_index(self, template: int) -> None:
        template = _c_int(template, "template (an index from add_template)")
        # The setters above do not check the index; SetPixelResolution does
        # (and classify sets the resolution again anyway).
        self._check(self._calls.SetPixelResolution(0, 0, template), f"template index {template}")

    # -- classification -------------------------------------------------------

    def classify(self, page: Page, template: int = 0, dpi: Dpi = None, *, explain: bool = False,
                 mrz: bool = False) -> Result:
        """Classifies one page with a main template and returns everything
        known about the answer as one immutable :class:`Result`.

        ``page``: a path; the bytes of an encoded image file (PNG, JPEG,
        TIFF, BMP, GIF, JPEG-2000) or a binary file object holding one; or a
        uint8 NumPy array of shape (h, w) (gray levels, 0 black) or (h, w, 3)
        (RGB). ``template``: an index from :meth:`add_template`. ``dpi``: the
        page's resolution (one number or (horizontal, vertical)); None uses
        the template's own. ``explain=True`` adds the decision trace,
        ``mrz=True`` the machine-readable zone read from the recognised text.

        Raises FileNotFoundError or PermissionError (both also MorvaneError)
        for a path that is missing or may not be read, MorvaneError when the
        page cannot be read or matches nothing, TypeError and ValueError for
        arguments the library cannot take.
        """
        h, v = _dpi_pair(dpi)
        index = _c_int(template, "template (an index from add_template)")
        if hasattr(page, "read") and not isinstance(page, (str, os.PathLike)):
            data = page.read()
            if not isinstance(data, bytes):
                raise TypeError("a file object handed to classify() must be opened in binary mode")
            page = data
        if isinstance(page, (bytes, bytearray, memoryview)):
            return self._classify_encoded(bytes(page), index, h, v, explain, mrz)
        if isinstance(page, (str, os.PathLike)):
            path = os.fspath(page)
            if isinstance(path, bytes):
                path = os.fsdecode(path)
            text = self._lib.utf16(path)
            with self._lock:
                self._require_open()
                self._check(self._calls.SetPixelResolution(h, v, index), f"template index {index}")
                code = self._calls.ClassifyImageFile(text, index)
                if code != 0:
                    raise self._error(code, path, path)
                return self._answer(index, path, explain, mrz)
        rows, bits = _rows_from_array(page)
        width = int(page.shape[1])
        detail = f"image {tuple(page.shape)}"
        with self._lock:
            self._require_open()
            self._check(self._calls.SetPixelResolution(h, v, index), f"template index {index}")
            height, stride = rows.shape
            base = rows.ctypes.data
            pointers = (ctypes.c_void_p * height)(*range(base, base + height * stride, stride))
            code = self._calls.ClassifyImageMemory(ctypes.cast(pointers, ctypes.c_void_p), width, height, bits, index)
            self._check(code, detail)
            return self._answer(index, detail, explain, mrz)

    def _classify_encoded(self, data: bytes, index: int, h: int, v: int, explain: bool, mrz: bool) -> Result:
        """An encoded image file held in memory: handed over as it is when the
        library takes encoded images, else through a private temporary file
        named with the suffix its readers go by."""
        if not data:
            raise ValueError("the page is empty (no bytes)")
        detail = f"{len(data)} bytes"
        with self._lock:
            self._require_open()
            self._check(self._calls.SetPixelResolution(h, v, index), f"template index {index}")
            if self._calls.MorvaneClassifyEncodedImage is not None:
                self._check(self._calls.MorvaneClassifyEncodedImage(data, len(data), 0, index), detail)
                return self._answer(index, detail, explain, mrz)
            with tempfile.TemporaryDirectory(prefix="morvane-") as directory:
                path = os.path.join(directory, "page" + _suffix_of(data))
                with open(path, "wb") as f:
                    f.write(data)
                self._check(self._calls.ClassifyImageFile(self._lib.utf16(path), index), detail)
                return self._answer(index, detail, explain, mrz)

    # -- the pages of multi-page files (PDF, TIFF) ------------------------------

    def _paged_source(self, source: PagedFile) -> Tuple[Optional[str], Optional[bytes]]:
        """A path, or the bytes of a buffer or binary file object."""
        if hasattr(source, "read") and not isinstance(source, (str, os.PathLike)):
            data = source.read()
            if not isinstance(data, bytes):
                raise TypeError("a file object handed to classify_pages() must be opened in binary mode")
            return None, data
        if isinstance(source, (bytes, bytearray, memoryview)):
            return None, bytes(source)
        if isinstance(source, (str, os.PathLike)):
            path = os.fspath(source)
            return (os.fsdecode(path) if isinstance(path, bytes) else path), None
        raise TypeError(f"classify_pages() takes a path, bytes or a binary file object, not {type(source).__name__}")

    def _count_pages(self, path: Optional[str], data: Optional[bytes]) -> int:
        """Pages in a file or buffer (under the lock); raises when unreadable."""
        count = ctypes.c_int(0)
        if path is not None:
            if self._calls.MorvaneGetImagePageCount is None:
                return 1
            code = self._calls.MorvaneGetImagePageCount(self._lib.utf16(path), ctypes.byref(count))
            if code != 0:
                raise self._error(code, path, path)
            return count.value
        assert data is not None
        if not data:
            raise ValueError("the file is empty (no bytes)")
        if self._calls.MorvaneGetEncodedImagePageCount is None:
            return 1
        code = self._calls.MorvaneGetEncodedImagePageCount(data, len(data), ctypes.byref(count))
        self._check(code, f"{len(data)} bytes")
        return count.value

    def page_count(self, source: PagedFile) -> int:
        """Pages in an image file, its bytes or a binary file object: every
        page of a PDF or a multi-page TIFF, 1 for the other formats. Raises
        like :meth:`classify` when the file cannot be read (an encrypted or
        damaged PDF names its cause in the error's detail)."""
        path, data = self._paged_source(source)
        with self._lock:
            return self._count_pages(path, data)

    def classify_pages(self, source: PagedFile, template: int = 0, dpi: Dpi = None, *, first: int = 1,
                       last: Optional[int] = None, explain: bool = False,
                       mrz: bool = False) -> Iterator["PageResult"]:
        """Classifies every page of a PDF or a multi-page TIFF (any other image
        file is one page), from page ``first`` to ``last`` (counted from 1,
        both included; None: to the end), and yields one :class:`PageResult`
        per page, in order, as each is classified. A page that cannot be read
        or matches nothing yields its error and the pages after it follow;
        a file that cannot be read at all raises (FileNotFoundError,
        PermissionError, MorvaneError) before the first page.

        A PDF page that is one scanned image is read at that image's own
        resolution (``resolution_source`` "file" with
        :meth:`set_file_resolution`); other PDF pages are rendered at the
        resolution :meth:`set_pdf_dpi` sets."""
        first = _c_int(first, "first (a page from 1)")
        if first < 1 or (last is not None and _c_int(last, "last (a page from 1)") < first):
            raise ValueError(f"pages {first} to {last} are not a range of pages counted from 1")
        h, v = _dpi_pair(dpi)
        index = _c_int(template, "template (an index from add_template)")
        path, data = self._paged_source(source)
        with self._lock:
            self._require_open()
            self._check_index(index)
            count = self._count_pages(path, data)
        name = path if path is not None else "<bytes>"
        pdf = _is_pdf(path, data)
        end = count if last is None else min(last, count)
        return self._page_results(path, data, name, pdf or count > 1, range(first - 1, end), index, h, v,
                                  explain, mrz)

    def _page_results(self, path: Optional[str], data: Optional[bytes], name: str, numbered: bool,
                      pages: range, index: int, h: int, v: int, explain: bool,
                      mrz: bool) -> Iterator["PageResult"]:
        for page in pages:
            label = f"{name}#page={page + 1}" if numbered else name
            try:
                with self._lock:
                    self._require_open()
                    self._check(self._calls.SetPixelResolution(h, v, index), f"template index {index}")
                    if data is not None:
                        if self._calls.MorvaneClassifyEncodedImage is None:
                            raise MorvaneError(ERR_INVALID_PARAMETER, self._lib.message(ERR_INVALID_PARAMETER),
                                               "the library cannot classify pages held in memory")
                        code = self._calls.MorvaneClassifyEncodedImage(data, len(data), page, index)
                    elif page == 0 and not numbered or self._calls.MorvaneClassifyImageFilePage is None:
                        code = self._calls.ClassifyImageFile(self._lib.utf16(label), index)
                    else:
                        code = self._calls.MorvaneClassifyImageFilePage(self._lib.utf16(path or ""), page, index)
                    self._check(code, label)
                    result = self._answer(index, label, explain, mrz)
            except MorvaneError as error:
                yield PageResult(page=page + 1, name=label, error=error)
                continue
            yield PageResult(page=page + 1, name=label, result=result)

    def classify_pdf(self, source: PagedFile, template: int = 0, dpi: Dpi = None, *, first: int = 1,
                     last: Optional[int] = None, explain: bool = False,
                     mrz: bool = False) -> Iterator["PageResult"]:
        """The pages of a PDF: :meth:`classify_pages` under the name a reader
        looks for."""
        return self.classify_pages(source, template, dpi, first=first, last=last, explain=explain, mrz=mrz)

    def set_pdf_dpi(self, dpi: int) -> None:
        """Renders PDF pages that are not one scanned image at ``dpi`` dots
        per inch (50 to 1200; 0: the default 300). Raises MorvaneError when
        the library cannot render PDF pages at a chosen resolution."""
        with _process_lock:
            if self._lib.MorvaneSetPdfRenderResolution is None:
                raise MorvaneError(ERR_INVALID_PARAMETER, self._lib.message(ERR_INVALID_PARAMETER),
                                   "the library has no PDF render resolution")
            self._check(self._lib.MorvaneSetPdfRenderResolution(_c_int(dpi, "dpi")), f"PDF render resolution {dpi!r}")

    def _answer(self, index: int, detail: str, explain: bool, mrz: bool) -> Result:
        """Collects the result of the classification just made (under the lock)."""
        ident = self._lib.read_text(self._calls.GetTemplateID)
        if ident is None:
            self._check(ERR_CLASSIFY, detail)
        name = self._lib.read_text(self._calls.GetTemplateName) or ""
        output_id = self._lib.read_text(self._calls.GetTemplateOutputID) or ""
        degrees = ctypes.c_int(0)
        turn = degrees.value if self._calls.MorvaneGetPageTurn(ctypes.byref(degrees)) == 0 else 0
        lines: Tuple[TextLine, ...] = ()
        code, text = self._lib.read_text_or_code(self._calls.MorvaneGetRecognisedText)
        if code == 0:
            value = json.loads(text)
            items = value.get("lines", []) if isinstance(value, dict) else []
            lines = tuple(TextLine.from_json(item) for item in items if isinstance(item, dict))
        trace: Optional[Dict[str, Any]] = None
        code, text = self._lib.read_text_or_code(self._calls.MorvaneGetDecisionTrace)
        if code == 0:
            parsed = json.loads(text)
            trace = parsed if isinstance(parsed, dict) else None
        score, margin = score_and_margin(trace) if trace is not None else (None, None)
        zone: Optional[Mrz] = None
        if mrz and lines:
            # The zone decoded with the engine's candidates when the library
            # offers it, else the lines read as they are.
            if self._calls.MorvaneGetRecognisedZone is not None:
                code, text = self._lib.read_text_or_code(self._calls.MorvaneGetRecognisedZone)
            else:
                code, text = self._lib.read_text_or_code(self._lib.MorvaneParseMrz,
                                                         self._lib.utf16("".join(line.text + "\n" for line in lines)))
            if code == 0:
                parsed = json.loads(text)
                zone = Mrz.from_json(parsed) if isinstance(parsed, dict) else None
        resolution: Optional[Tuple[int, int]] = None
        source: Optional[str] = None
        if self._calls.MorvaneGetPageResolution is not None:
            x, y, which = ctypes.c_int(0), ctypes.c_int(0), ctypes.c_int(0)
            if self._calls.MorvaneGetPageResolution(ctypes.byref(x), ctypes.byref(y), ctypes.byref(which)) == 0:
                resolution = (x.value, y.value)
                source = _RESOLUTION_SOURCES.get(which.value)
        return Result(id=ident or "", name=name, output_id=output_id, template=index, score=score, margin=margin,
                      resolution=resolution, resolution_source=source, page_turn=turn, text=lines, mrz=zone,
                      trace=trace if explain else None)

    # -- beyond the answer: why, what was read, how the page lay -------------------

    def _json(self, getter_name: str) -> Dict[str, Any]:
        with self._lock:
            self._require_open()
            code, text = self._lib.read_text_or_code(getattr(self._calls, getter_name))
            self._check(code)
        value = json.loads(text)
        if not isinstance(value, dict):
            raise MorvaneError(ERR_CLASSIFY, "unexpected answer", text[:80])
        return value

    def _raw_json(self, getter_name: str) -> str:
        """The JSON text a getter of the last classification gives ("" when
        it gives none), as the library wrote it."""
        with self._lock:
            self._require_open()
            code, text = self._lib.read_text_or_code(getattr(self._calls, getter_name))
        return text if code == 0 else ""

    def set_file_resolution(self, on: bool) -> bool:
        """Measures pages read from files with the resolution their file
        states (75 to 1200 dpi with a unit; 72 and 96 count as unstated) when
        no ``dpi`` is given, before the templates' own. Returns False when
        the library cannot (an older library)."""
        with self._lock:
            self._require_open()
            if self._calls.MorvaneSetFileResolution is None:
                return False
            self._check(self._calls.MorvaneSetFileResolution(1 if on else 0))
            return True

    def _last_decision(self) -> Tuple[Optional[Tuple[int, int, str]], int, int]:
        """The last classification's resolution with its source, and its
        winning score and margin (-1 each when no level was decided by score),
        as the library reports them."""
        resolution: Optional[Tuple[int, int, str]] = None
        score, margin = -1, -1
        with self._lock:
            if self._calls.MorvaneGetPageResolution is not None:
                x, y, which = ctypes.c_int(0), ctypes.c_int(0), ctypes.c_int(0)
                if (self._calls.MorvaneGetPageResolution(ctypes.byref(x), ctypes.byref(y), ctypes.byref(which)) == 0
                        and which.value in _RESOLUTION_SOURCES):
                    resolution = (x.value, y.value, _RESOLUTION_SOURCES[which.value])
            if self._calls.MorvaneGetDecisionMargin is not None:
                a, b = ctypes.c_int(-1), ctypes.c_int(-1)
                if self._calls.MorvaneGetDecisionMargin(ctypes.byref(a), ctypes.byref(b)) == 0:
                    score, margin = a.value, b.value
        return resolution, score, margin

    def _raw_zone(self) -> str:
        """The last classification's zone decoded with the engine's candidates
        ("" when the library cannot say)."""
        if self._calls.MorvaneGetRecognisedZone is None:
            return ""
        return self._raw_json("MorvaneGetRecognisedZone")

    def _raw_mrz(self, zone: str) -> str:
        """The library's JSON reading of a zone ("" when it gives none)."""
        code, text = self._lib.read_text_or_code(self._lib.MorvaneParseMrz, self._lib.utf16(zone))
        return text if code == 0 else ""

    def explain(self) -> Dict[str, Any]:
        """The decision trace of the last classification (the walked path, per
        level each child's score per filter, the gate and the choice).
        Raises MorvaneError (-58) before any classification."""
        return self._json("MorvaneGetDecisionTrace")

    def recognised_text(self) -> Dict[str, Any]:
        """The text lines the text filters recognised on the way to the last
        answer, with their boxes. Raises MorvaneError (-58) before any
        classification."""
        return self._json("MorvaneGetRecognisedText")

    def set_orientation_search(self, on: bool) -> None:
        """Retries pages that end in a default branch turned by 90, 180 and 270
        degrees (off by default)."""
        with self._lock:
            self._require_open()
            self._check(self._calls.MorvaneSetOrientationSearch(1 if on else 0))

    @property
    def page_turn(self) -> int:
        """Degrees the last page was turned to reach its answer (0 unless the
        orientation search turned it)."""
        with self._lock:
            self._require_open()
            degrees = ctypes.c_int(0)
            self._check(self._calls.MorvaneGetPageTurn(ctypes.byref(degrees)))
            return degrees.value

    def set_decode_resolution(self, dpi: int) -> None:
        """Decodes JPEG and JPEG-2000 pages straight to the smallest size that
        keeps at least ``dpi`` dots per inch (75 to 1200; 0: full size)."""
        with self._lock:
            self._check(self._calls.MorvaneSetDecodeResolution(int(dpi)), f"decode resolution {dpi!r}")


def _is_pdf(path: Optional[str], data: Optional[bytes]) -> bool:
    """True when the file or bytes start with the PDF header."""
    if data is not None:
        return data[:5] == b"%PDF-"
    try:
        with open(path or "", "rb") as f:
            return f.read(5) == b"%PDF-"
    except OSError:
        return False


@dataclass(frozen=True)
class PageResult:
    """One page of a file classified by :meth:`Classifier.classify_pages`:
    ``page`` counted from 1, ``name`` as the command-line tool prints it
    (``PATH#page=N`` for every page of a PDF and of a multi-page TIFF), and
    either ``result`` or, for a page that failed, ``error``."""

    page: int
    name: str
    result: Optional[Result] = None
    error: Optional[MorvaneError] = None

    @property
    def ok(self) -> bool:
        return self.result is not None


def parse_mrz(zone: str, library: Optional[PathLike] = None) -> Dict[str, Any]:
    """Parses a travel document's machine-readable zone (TD1, TD2, TD3, MRV-A,
    MRV-B; lines separated by newlines): every field and check digit, each
    marked valid or not. A zone that does not check out is reported invalid,
    never corrected. Needs no open Classifier."""
    lib = load_library(os.fspath(library) if library is not None else None)
    code, text = lib.read_text_or_code(lib.MorvaneParseMrz, lib.utf16(zone))
    if code != 0:
        raise MorvaneError(code, lib.message(code), "machine-readable zone")
    value = json.loads(text)
    if not isinstance(value, dict):
        raise MorvaneError(ERR_CLASSIFY, "unexpected answer", text[:80])
    return value


def default_template() -> Path:
    """The example main template that comes with the library."""
    data = data_directory(load_library())
    if data is None:
        raise FileNotFoundError("no example data found beside the Morvane library; set MORVANE_DATA_DIR")
    return data / "templates" / "main.xml"
