"""Finding and binding libmorvaneclassifier with ctypes."""

from __future__ import annotations

import ctypes
import os
import shutil
import subprocess
import sys
import threading
from functools import partial
from pathlib import Path
from typing import Any, Callable, Dict, List, Optional, Tuple

SONAME = "libmorvaneclassifier.so.6"
DEVNAME = "libmorvaneclassifier.so"

# Folders of a source checkout's build trees, tried in this order when the
# package is used straight from the checkout (python/ beside src/).
_BUILD_TREES = ("build-release", "build-rel", "build", "build-dev")


# Argument kinds of the handle functions, as ctypes types.
_ARG_TYPES: Dict[str, Any] = {
    "int": ctypes.c_int,
    "text": ctypes.c_char_p,
    "out": ctypes.POINTER(ctypes.c_uint16),
    "intp": ctypes.POINTER(ctypes.c_int),
    "ptr": ctypes.c_void_p,
    "bytes": ctypes.c_char_p,
    "size": ctypes.c_longlong,
}

# The handle functions: name -> (result type, argument kinds after the handle).
HANDLE_FUNCTIONS: Dict[str, Tuple[Any, List[str]]] = {
    "MorvaneClassifierAddMainTemplate": (ctypes.c_int, ["text", "intp"]),
    "MorvaneClassifierSetPixelResolution": (ctypes.c_int, ["int", "int", "int"]),
    "MorvaneClassifierSetTemplateValid": (ctypes.c_int, ["text", "int"]),
    "MorvaneClassifierResetAllTemplates": (ctypes.c_int, ["int", "int"]),
    "MorvaneClassifierSetAttribute": (ctypes.c_int, ["int", "int", "int"]),
    "MorvaneClassifierSetDecodeResolution": (ctypes.c_int, ["int"]),
    "MorvaneClassifierSetFileResolution": (ctypes.c_int, ["int"]),
    "MorvaneClassifierSetOrientationSearch": (ctypes.c_int, ["int"]),
    "MorvaneClassifierClassifyImageFile": (ctypes.c_int, ["text", "int"]),
    "MorvaneClassifierClassifyImageMemory": (ctypes.c_int, ["ptr", "int", "int", "int", "int"]),
    "MorvaneClassifierClassifyEncodedImage": (ctypes.c_int, ["bytes", "size", "int", "int"]),
    "MorvaneClassifierClassifyImageFilePage": (ctypes.c_int, ["text", "int", "int"]),
    "MorvaneClassifierGetImagePageCount": (ctypes.c_int, ["text", "intp"]),
    "MorvaneClassifierGetEncodedImagePageCount": (ctypes.c_int, ["bytes", "size", "intp"]),
    "MorvaneClassifierGetTemplateName": (ctypes.c_int, ["out", "intp"]),
    "MorvaneClassifierGetTemplateID": (ctypes.c_int, ["out", "intp"]),
    "MorvaneClassifierGetTemplateOutputID": (ctypes.c_int, ["out", "intp"]),
    "MorvaneClassifierGetLastErrorDetail": (ctypes.c_int, ["out", "intp"]),
    "MorvaneClassifierGetDecisionTrace": (ctypes.c_int, ["out", "intp"]),
    "MorvaneClassifierGetRecognisedText": (ctypes.c_int, ["out", "intp"]),
    "MorvaneClassifierGetRecognisedZone": (ctypes.c_int, ["out", "intp"]),
    "MorvaneClassifierGetPageTurn": (ctypes.c_int, ["intp"]),
    "MorvaneClassifierGetPageResolution": (ctypes.c_int, ["intp", "intp", "intp"]),
    "MorvaneClassifierGetDecisionMargin": (ctypes.c_int, ["intp", "intp"]),
}


class LibraryNotFoundError(OSError):
    """The classifier library could not be found or loaded."""


class Library:
    """The loaded shared library with the prototypes of its exported functions."""

    # The exported functions (ctypes function pointers, set in __init__).
    LoadClassifier: Callable[..., int]
    FreeClassifier: Callable[[], None]
    AddMainTemplate: Callable[..., int]
    SetPixelResolution: Callable[[int, int, int], int]
    SetTemplateValid: Callable[..., int]
    ResetAllTemplates: Callable[[int, int], int]
    SetAttribute: Callable[[int, int, int], int]
    ClassifyImageFile: Callable[..., int]
    ClassifyImageMemory: Callable[..., int]
    GetTemplateName: Callable[..., int]
    GetTemplateID: Callable[..., int]
    GetTemplateOutputID: Callable[..., int]
    GetErrorMsg: Callable[..., int]
    GetSDKVersion: Callable[..., int]
    MorvaneGetDecisionTrace: Callable[..., int]
    MorvaneGetRecognisedText: Callable[..., int]
    MorvaneParseMrz: Callable[..., int]
    MorvaneSetOrientationSearch: Callable[[int], int]
    MorvaneGetPageTurn: Callable[..., int]
    MorvaneSetDecodeResolution: Callable[[int], int]
    MorvaneGetLastErrorDetail: Optional[Callable[..., int]]
    MorvaneClassifyEncodedImage: Optional[Callable[..., int]]
    MorvaneGetPageResolution: Optional[Callable[..., int]]
    MorvaneGetDecisionMargin: Optional[Callable[..., int]]
    MorvaneSetFileResolution: Optional[Callable[[int], int]]
    MorvaneGetRecognisedZone: Optional[Callable[..., int]]
    MorvaneGetImagePageCount: Optional[Callable[..., int]]
    MorvaneClassifyImageFilePage: Optional[Callable[..., int]]
    MorvaneGetEncodedImagePageCount: Optional[Callable[..., int]]
    MorvaneSetPdfRenderResolution: Optional[Callable[[int], int]]
    MorvaneClassifierCreate: Optional[Callable[..., int]]
    MorvaneClassifierDestroy: Optional[Callable[..., int]]

    def __init__(self, path: str) -> None:
        try:
            self.dll = ctypes.CDLL(path, mode=os.RTLD_NOW | os.RTLD_LOCAL)
        except OSError as e:
            raise LibraryNotFoundError(f"cannot load the Morvane library {path!r}: {e}") from None
        self.path = self._resolved_path(path)
        text = ctypes.c_char_p  # UTF-16 text, passed as the bytes of its code units
        out = ctypes.POINTER(ctypes.c_uint16)
        intp = ctypes.POINTER(ctypes.c_int)
        c_int = ctypes.c_int
        prototypes = {
            "LoadClassifier": (c_int, [text, text]),
            "FreeClassifier": (None, []),
            "AddMainTemplate": (c_int, [text, intp]),
            "SetPixelResolution": (c_int, [c_int, c_int, c_int]),
            "SetTemplateValid": (c_int, [text, c_int, c_int]),
            "ResetAllTemplates": (c_int, [c_int, c_int]),
            "SetAttribute": (c_int, [c_int, c_int, c_int]),
            "ClassifyImageFile": (c_int, [text, c_int]),
            "ClassifyImageMemory": (c_int, [ctypes.c_void_p, c_int, c_int, c_int, c_int]),
            "GetTemplateName": (c_int, [out, intp]),
            "GetTemplateID": (c_int, [out, intp]),
            "GetTemplateOutputID": (c_int, [out, intp]),
            "GetErrorMsg": (c_int, [c_int, out, intp]),
            "GetSDKVersion": (c_int, [out, intp]),
            "MorvaneGetDecisionTrace": (c_int, [out, intp]),
            "MorvaneGetRecognisedText": (c_int, [out, intp]),
            "MorvaneParseMrz": (c_int, [text, out, intp]),
            "MorvaneSetOrientationSearch": (c_int, [c_int]),
            "MorvaneGetPageTurn": (c_int, [intp]),
            "MorvaneSetDecodeResolution": (c_int, [c_int]),
        }
        for name, (restype, argtypes) in prototypes.items():
            try:
                fn = getattr(self.dll, name)
            except AttributeError:
                raise LibraryNotFoundError(f"{path!r} is not the Morvane library: it lacks {name}") from None
            fn.restype = restype
            fn.argtypes = argtypes
            setattr(self, name, fn)
        # Functions of newer libraries, bound when the library exports them
        # (None otherwise): the detail text of the last failure, and pages
        # handed over as encoded bytes, and the resolution a page was measured
        # with together with its source.
        optional: Dict[str, Tuple[Any, List[Any]]] = {
            "MorvaneGetPageResolution": (c_int, [intp, intp, intp]),
            "MorvaneGetDecisionMargin": (c_int, [intp, intp]),
            "MorvaneSetFileResolution": (c_int, [c_int]),
            "MorvaneGetRecognisedZone": (c_int, [out, intp]),
            "MorvaneGetLastErrorDetail": (c_int, [out, intp]),
            "MorvaneClassifyEncodedImage": (c_int, [ctypes.c_char_p, ctypes.c_longlong, c_int, c_int]),
            # The pages of multi-page files (TIFF, PDF) and the PDF render resolution.
            "MorvaneGetImagePageCount": (c_int, [text, intp]),
            "MorvaneClassifyImageFilePage": (c_int, [text, c_int, c_int]),
            "MorvaneGetEncodedImagePageCount": (c_int, [ctypes.c_char_p, ctypes.c_longlong, intp]),
            "MorvaneSetPdfRenderResolution": (c_int, [c_int]),
        }
        # Classifier handles: every function of a handle takes the handle
        # first, then the arguments of the default instance's function.
        handle = ctypes.c_void_p
        optional["MorvaneClassifierCreate"] = (c_int, [text, ctypes.POINTER(handle)])
        optional["MorvaneClassifierDestroy"] = (c_int, [handle])
        for name, (restype, argtypes) in HANDLE_FUNCTIONS.items():
            optional[name] = (restype, [handle] + [_ARG_TYPES[a] for a in argtypes])
        for name, (restype, argtypes) in optional.items():
            fn = getattr(self.dll, name, None)
            if fn is not None:
                fn.restype = restype
                fn.argtypes = argtypes
            setattr(self, name, fn)

    @property
    def has_handles(self) -> bool:
        """Whether the library makes independent classifiers (handles)."""
        return self.MorvaneClassifierCreate is not None and all(
            getattr(self, name, None) is not None for name in HANDLE_FUNCTIONS)

    @staticmethod
    def _resolved_path(path: str) -> str:
        if os.sep in path:
            return os.path.realpath(path)
        # Loaded by name through the dynamic linker: ask where it came from.
        try:
            with open("/proc/self/maps", encoding="utf-8", errors="replace") as maps:
                for line in maps:
                    if path in line:
                        return line.split(maxsplit=5)[-1].strip()
        except OSError:
            pass
        return path

    # -- text helpers -------------------------------------------------------

    @staticmethod
    def utf16(text: str) -> bytes:
        """Zero-terminated UTF-16 text in the byte order of this machine."""
        try:
            encoded = text.encode("utf-16-le" if sys.byteorder == "little" else "utf-16-be")
        except UnicodeEncodeError as e:
            raise ValueError(f"text cannot be passed to the library: {text!r} ({e.reason})") from None
        return encoded + b"\0\0"

    def read_text(self, getter: Callable[..., int], *leading: Any) -> Optional[str]:
        """Calls a string-out function (ask for the length, then copy)."""
        length = ctypes.c_int(0)
        getter(*leading, None, ctypes.byref(length))
        if length.value <= 0 or length.value > 1 << 20:
            return None
        buffer = (ctypes.c_uint16 * length.value)()
        if getter(*leading, buffer, ctypes.byref(length)) != 0:
            return None
        units = bytes(buffer)[: max(length.value - 1, 0) * 2]
        return units.decode("utf-16-le" if sys.byteorder == "little" else "utf-16-be", errors="replace")

    def read_text_or_code(self, getter: Callable[..., int], *leading: Any) -> Tuple[int, str]:
        """Like read_text, but gives the library's result code when it fails."""
        length = ctypes.c_int(0)
        code = getter(*leading, None, ctypes.byref(length))
        if length.value <= 0:
            return (code if code != 0 else -61), ""
        if length.value > 1 << 24:
            return -62, ""
        buffer = (ctypes.c_uint16 * length.value)()
        code = getter(*leading, buffer, ctypes.byref(length))
        if code != 0:
            return code, ""
        units = bytes(buffer)[: max(length.value - 1, 0) * 2]
        return 0, units.decode("utf-16-le" if sys.byteorder == "little" else "utf-16-be", errors="replace")

    def message(self, code: int) -> str:
        text = self.read_text(self.GetErrorMsg, code)
        return text if text else "Unknown error"

    def version(self) -> str:
        return self.read_text(self.GetSDKVersion) or ""

    def last_error_detail(self) -> str:
        """What the library tells about its last failure ("" when it cannot)."""
        if self.MorvaneGetLastErrorDetail is None:
            return ""
        return self.read_text(self.MorvaneGetLastErrorDetail) or ""


class Calls:
    """The classifier functions one Classifier calls, with the default
    instance's argument lists: the default instance's own functions, or the
    functions of one handle with the handle bound as their first argument."""

    AddMainTemplate: Callable[..., int]
    SetPixelResolution: Callable[..., int]
    SetTemplateValid: Callable[..., int]
    ResetAllTemplates: Callable[..., int]
    SetAttribute: Callable[..., int]
    ClassifyImageFile: Callable[..., int]
    ClassifyImageMemory: Callable[..., int]
    GetTemplateName: Callable[..., int]
    GetTemplateID: Callable[..., int]
    GetTemplateOutputID: Callable[..., int]
    MorvaneGetDecisionTrace: Callable[..., int]
    MorvaneGetRecognisedText: Callable[..., int]
    MorvaneSetOrientationSearch: Callable[..., int]
    MorvaneGetPageTurn: Callable[..., int]
    MorvaneSetDecodeResolution: Callable[..., int]
    MorvaneGetLastErrorDetail: Optional[Callable[..., int]]
    MorvaneClassifyEncodedImage: Optional[Callable[..., int]]
    MorvaneGetPageResolution: Optional[Callable[..., int]]
    MorvaneGetDecisionMargin: Optional[Callable[..., int]]
    MorvaneSetFileResolution: Optional[Callable[..., int]]
    MorvaneGetRecognisedZone: Optional[Callable[..., int]]
    MorvaneClassifyImageFilePage: Optional[Callable[..., int]]
    MorvaneGetImagePageCount: Optional[Callable[..., int]]
    MorvaneGetEncodedImagePageCount: Optional[Callable[..., int]]

    # Default instance's name -> the handle function's name.
    _HANDLE_NAMES = {
        "AddMainTemplate": "MorvaneClassifierAddMainTemplate",
        "SetPixelResolution": "MorvaneClassifierSetPixelResolution",
        "ResetAllTemplates": "MorvaneClassifierResetAllTemplates",
        "SetAttribute": "MorvaneClassifierSetAttribute",
        "ClassifyImageFile": "MorvaneClassifierClassifyImageFile",
        "ClassifyImageMemory": "MorvaneClassifierClassifyImageMemory",
        "GetTemplateName": "MorvaneClassifierGetTemplateName",
        "GetTemplateID": "MorvaneClassifierGetTemplateID",
        "GetTemplateOutputID": "MorvaneClassifierGetTemplateOutputID",
        "MorvaneGetDecisionTrace": "MorvaneClassifierGetDecisionTrace",
        "MorvaneGetRecognisedText": "MorvaneClassifierGetRecognisedText",
        "MorvaneSetOrientationSearch": "MorvaneClassifierSetOrientationSearch",
        "MorvaneGetPageTurn": "MorvaneClassifierGetPageTurn",
        "MorvaneSetDecodeResolution": "MorvaneClassifierSetDecodeResolution",
        "MorvaneGetLastErrorDetail": "MorvaneClassifierGetLastErrorDetail",
        "MorvaneClassifyEncodedImage": "MorvaneClassifierClassifyEncodedImage",
        "MorvaneGetPageResolution": "MorvaneClassifierGetPageResolution",
        "MorvaneGetDecisionMargin": "MorvaneClassifierGetDecisionMargin",
        "MorvaneSetFileResolution": "MorvaneClassifierSetFileResolution",
        "MorvaneGetRecognisedZone": "MorvaneClassifierGetRecognisedZone",
        "MorvaneClassifyImageFilePage": "MorvaneClassifierClassifyImageFilePage",
        "MorvaneGetImagePageCount": "MorvaneClassifierGetImagePageCount",
        "MorvaneGetEncodedImagePageCount": "MorvaneClassifierGetEncodedImagePageCount",
    }

    def __init__(self, library: Library, handle: Optional[int] = None) -> None:
        for name, handle_name in self._HANDLE_NAMES.items():
            if handle is None:
                setattr(self, name, getattr(library, name))
            else:
                setattr(self, name, partial(getattr(library, handle_name), handle))
        if handle is None:
            self.SetTemplateValid = library.SetTemplateValid
        else:
            valid = partial(getattr(library, "MorvaneClassifierSetTemplateValid"), handle)
            # The default instance's function has a reserved argument between.
            self.SetTemplateValid = lambda text, _reserved, index: int(valid(text, index))


def _package_checkout_root() -> Optional[Path]:
    """The source checkout this package lies in, if it lies in one."""
    root = Path(__file__).resolve().parent.parent.parent
    if (root / "include" / "morvane" / "classifier.h").is_file() and (root / "python" / "morvane").is_dir():
        return root
    return None


def _pkg_config_libdir() -> Optional[str]:
    exe = shutil.which("pkg-config")
    if not exe:
        return None
    try:
        result = subprocess.run([exe, "--variable=libdir", "morvane"], capture_output=True, text=True, timeout=10)
    except (OSError, subprocess.SubprocessError):
        return None
    libdir = result.stdout.strip()
    return libdir if result.returncode == 0 and libdir else None


def candidate_paths() -> List[str]:
    """Where the library is looked for when MORVANE_LIBRARY is not set."""
    found: List[str] = []
    # Installed with the library (the Debian package, or cmake --install):
    # <prefix>/lib/python3/dist-packages/morvane beside <prefix>/lib.
    package = Path(__file__).resolve().parent
    if package.parent.name in ("dist-packages", "site-packages") and len(package.parents) > 3:
        found.append(str(package.parents[2] / SONAME))
    libdir = _pkg_config_libdir()
    if libdir:
        found.append(os.path.join(libdir, SONAME))
    found.append(SONAME)  # the dynamic linker's own search path
    multiarch = getattr(sys.implementation, "_multiarch", "")
    prefixes = [sys.prefix, "/usr/local", "/usr"]
    for prefix in prefixes:
        for lib in ("lib", os.path.join("lib", multiarch) if multiarch else None, "lib64"):
            if lib:
                found.append(os.path.join(prefix, lib, SONAME))
    root = _package_checkout_root()
    if root is not None:
        for tree in _BUILD_TREES:
            found.append(str(root / tree / DEVNAME))
    return found


_lock = threading.Lock()
_loaded: Dict[str, Library] = {}


def load_library(path: Optional[str] = None) -> Library:
    """Loads the library once per path.

    With no path: MORVANE_LIBRARY (a file, or a folder holding the library),
    else the installed library, else a build tree of the checkout. A
    MORVANE_LIBRARY that cannot be loaded is an error, not a reason to look
    elsewhere.
    """
    with _lock:
        if path is None:
            path = os.environ.get("MORVANE_LIBRARY") or None
            if path is not None and os.path.isdir(path):
                path = os.path.join(path, DEVNAME) if os.path.exists(os.path.join(path, DEVNAME)) \
                    else os.path.join(path, SONAME)
        if path is not None:
            path = os.fspath(path)
            if os.sep in path and not os.path.isfile(path):
                raise LibraryNotFoundError(f"cannot load the Morvane library {path!r}: no such file")
            if path not in _loaded:
                _loaded[path] = Library(path)
            return _loaded[path]
        tried: List[str] = []
        for candidate in candidate_paths():
            if os.sep in candidate and not os.path.isfile(candidate):
                tried.append(candidate)
                continue
            if candidate in _loaded:
                return _loaded[candidate]
            try:
                lib = Library(candidate)
            except LibraryNotFoundError:
                tried.append(candidate)
                continue
            _loaded[candidate] = lib
            return lib
        raise LibraryNotFoundError(
            "cannot find the Morvane library; install it (cmake --install) or set MORVANE_LIBRARY. Tried: "
            + ", ".join(tried))


def data_directory(library: Library) -> Optional[Path]:
    """The example templates and working directory that go with the library:
    MORVANE_DATA_DIR, the installed share/morvane beside the library's lib
    folder, or the checkout's examples/."""
    env = os.environ.get("MORVANE_DATA_DIR")
    if env:
        return Path(env)
    libpath = Path(library.path)
    if libpath.is_absolute():
        for up in (libpath.parent.parent, libpath.parent.parent.parent):
            share = up / "share" / "morvane"
            if (share / "workdir").is_dir():
                return share
        # A build tree inside (or beside) a source checkout.
        for up in (libpath.parent.parent, libpath.parent.parent.parent):
            if (up / "examples" / "workdir").is_dir() and (up / "include" / "morvane").is_dir():
                return up / "examples"
    root = _package_checkout_root()
    if root is not None and (root / "examples" / "workdir").is_dir():
        return root / "examples"
    return None
