"""python -m morvane: classifies page images like the morvane-classify tool.

Same options (the everyday ones: -t, -w, --dpi, --valid, --shortcut, --json,
--explain, --text, --mrz, --orient, --jobs), output lines and exit status: 0
when every page was classified, 1 when any page failed, 2 on usage errors or
when the classifier or a template cannot be loaded. A reader that goes away
(``| head``) ends the run quietly, as it ends the C tool.
"""

from __future__ import annotations

import argparse
import concurrent.futures
import json
import multiprocessing
import os
import signal
import sys
from dataclasses import dataclass
from typing import Callable, Dict, Iterator, List, Optional, Sequence, Tuple, Union

from ._library import LibraryNotFoundError, data_directory, load_library
from .classifier import ERR_CLASSIFY, ERR_READ_IMAGE, Classifier, MorvaneError
from .result import Result

IMAGE_EXTENSIONS = {"jpg", "jpeg", "jfif", "jpe", "png", "tif", "tiff", "bmp", "dib", "gif", "j2k", "j2c", "jp2",
                    "pdf"}


def is_image_file(name: str) -> bool:
    _, dot, ext = name.rpartition(".")
    return bool(dot) and ext.lower() in IMAGE_EXTENSIONS


def walk(root: str) -> List[str]:
    """Image files below root, sorted by path (as the C tool sorts them)."""
    found: List[str] = []
    for directory, subdirs, files in os.walk(root):
        subdirs.sort()
        base = directory if directory.endswith("/") else directory + "/"
        for name in files:
            path = base + name
            if is_image_file(name) and not os.path.isdir(path):
                found.append(path)
    found.sort(key=os.fsencode)
    return found


def pages_of(inputs: Sequence[str]) -> List[str]:
    pages: List[str] = []
    for item in inputs:
        pages.extend(walk(item) if os.path.isdir(item) else [item])
    return pages


# A page of a multi-page file: the file and the page's index (0 first).
PageSource = Tuple[str, int]


def _multi_page_kind(path: str) -> str:
    """"pdf" or "tiff" by the file's first bytes, "" for anything else."""
    try:
        with open(path, "rb") as f:
            head = f.read(5)
    except OSError:
        return ""
    if head.startswith(b"%PDF-"):
        return "pdf"
    if head[:4] in (b"II*\0", b"MM\0*"):
        return "tiff"
    return ""


def expand_pages(classifier: Classifier, files: Sequence[str]) -> Tuple[List[str], Dict[str, PageSource]]:
    """Every page of the files, named as the C tool names them: each page of a
    PDF (its only one included) and of a multi-page TIFF as PATH#page=N, any
    other file as itself. A file whose pages cannot be counted stays one
    page: reading it tells why it fails."""
    pages: List[str] = []
    sources: Dict[str, PageSource] = {}
    for path in files:
        kind = _multi_page_kind(path)
        count = 0
        if kind:
            try:
                count = classifier.page_count(path)
            except (MorvaneError, OSError, ValueError):
                count = 0
        if count > 1 or (kind == "pdf" and count == 1):
            for index in range(count):
                label = f"{path}#page={index + 1}"
                pages.append(label)
                sources[label] = (path, index)
        else:
            pages.append(path)
    return pages, sources


_ESCAPES = {"\\": "\\\\", "\n": "\\n", "\r": "\\r", "\t": "\\t"}


def _escaped(text: str, quote: bool, other: Callable[[int], Optional[str]]) -> str:
    """One walk for both output forms: backslash, line breaks and tab as
    \\\\, \\n, \\r, \\t; a double quote escaped when ``quote``; any other
    character as ``other`` writes it (None keeps it)."""
    out = []
    for ch in text:
        fixed = _ESCAPES.get(ch)
        if fixed is None and quote and ch == '"':
            fixed = '\\"'
        if fixed is None:
            fixed = other(ord(ch))
        out.append(ch if fixed is None else fixed)
    return "".join(out)


def _json_other(o: int) -> Optional[str]:
    return f"\\u{o:04x}" if o < 0x20 else None


def _field_other(o: int) -> Optional[str]:
    if o < 0x20 or o == 0x7F:
        return f"\\x{o:02x}"
    if 0x80 <= o <= 0x9F:
        return f"\\u{o:04x}"
    if 0xDC80 <= o <= 0xDCFF:
        return f"\\x{o - 0xDC00:02x}"
    return None


def json_string(text: str) -> str:
    """JSON string with the same escapes as the C tool (UTF-8 kept as is)."""
    return '"' + _escaped(text, True, _json_other) + '"'


def escape_field(text: str) -> str:
    """A field of a plain output line as the C tool writes it: backslash,
    tab, line breaks and other control characters escaped, bytes of a name
    that are not UTF-8 (surrogate escapes) as \\xNN."""
    return _escaped(text, False, _field_other)


@dataclass(frozen=True)
class Outcome:
    """One page's answer or failure, with what the library said about it."""

    result: Optional[Result]
    code: int
    message: str
    detail: str = ""
    resolution: Optional[Tuple[int, int, str]] = None
    score: int = -1
    margin: int = -1


def json_decision(outcome: Outcome) -> str:
    out = ""
    if outcome.resolution is not None:
        x, y, source = outcome.resolution
        out += f',"resolution":{{"x":{x},"y":{y},"source":"{source}"}}'
    if outcome.score >= 0:
        out += f',"score":{outcome.score},"margin":{outcome.margin}'
    else:
        out += ',"score":null,"margin":null'
    return out


def format_line(page: str, outcome: Outcome, as_json: bool) -> str:
    result = outcome.result
    if result is not None:
        if as_json:
            return (f'{{"path":{json_string(page)},"id":{json_string(result.id)},'
                    f'"name":{json_string(result.name)},"outputId":{json_string(result.output_id)}'
                    f'{json_decision(outcome)}}}')
        return "\t".join(escape_field(x) for x in (page, result.id, result.name, result.output_id))
    if as_json:
        detail = f',"detail":{json_string(outcome.detail)}' if outcome.detail else ""
        return (f'{{"path":{json_string(page)},"error":{json_string(outcome.message)},"code":{outcome.code}'
                f'{detail}{json_decision(outcome)}}}')
    detail = outcome.detail
    if detail.startswith(page + ": "):
        detail = detail[len(page) + 2:]
    suffix = f": {escape_field(detail)}" if detail else ""
    return f"{escape_field(page)}\terror: {escape_field(outcome.message)} ({outcome.code}){suffix}"


def parse_dpi(text: str) -> Union[str, Tuple[int, int]]:
    """--dpi: "auto" (the file's stated resolution, else the templates'),
    "template" (always the templates' own) or H[,V] dots per inch."""
    if text in ("auto", "template"):
        return text
    try:
        parts = [int(p, 10) for p in text.split(",")]
    except ValueError:
        parts = []
    if len(parts) == 1:
        parts.append(parts[0])
    if len(parts) != 2 or not all(0 < p <= 100000 for p in parts):
        raise argparse.ArgumentTypeError(f"bad --dpi value '{text}'")
    return parts[0], parts[1]


@dataclass(frozen=True)
class Options:
    """What a page's report holds besides the answer."""

    as_json: bool = False
    explain: bool = False
    text: bool = False
    mrz: bool = False
    orient: bool = False


def _classify_one(classifier: Classifier, page: str, source: Optional[PageSource], index: int,
                  dpi: Optional[Tuple[int, int]]) -> Result:
    """One page with one main template; a page of a multi-page file by its index."""
    if source is None:
        return classifier.classify(page, index, dpi)
    path, number = source
    for done in classifier.classify_pages(path, index, dpi, first=number + 1, last=number + 1):
        if done.error is not None:
            raise done.error
        assert done.result is not None
        return done.result
    raise MorvaneError(ERR_READ_IMAGE, "Failed to read image file", f"{path} has no page {number + 1}")


def classify_page(classifier: Classifier, page: str, indexes: Sequence[int],
                  dpi: Optional[Tuple[int, int]], source: Optional[PageSource] = None) -> Outcome:
    """Tries the main templates in order; the first that yields a sub-template answers."""
    code, message, detail = ERR_CLASSIFY, "", ""
    result: Optional[Result] = None
    for index in indexes:
        try:
            result = _classify_one(classifier, page, source, index, dpi)
            code, message, detail = 0, "", ""
            break
        except MorvaneError as e:
            code, message = e.code, e.message
            detail = classifier._last_error_detail()
            if code == ERR_READ_IMAGE:  # the page itself cannot be read
                break
        except ValueError as e:  # a path the library cannot take
            code, message, detail = ERR_READ_IMAGE, str(e), ""
            break
    if code == ERR_READ_IMAGE:
        return Outcome(result, code, message, detail)
    resolution, score, margin = classifier._last_decision()
    return Outcome(result, code, message, detail, resolution, score, margin)


def page_report(classifier: Classifier, page: str, indexes: Sequence[int], dpi: Optional[Tuple[int, int]],
                options: Options, source: Optional[PageSource] = None) -> Tuple[str, bool]:
    """A page's report as the C tool prints it, and whether it was classified."""
    outcome = classify_page(classifier, page, indexes, dpi, source)
    result, code = outcome.result, outcome.code
    line = format_line(page, outcome, options.as_json)
    turn = trace = text = zone = ""
    lines: List[str] = []
    if code != ERR_READ_IMAGE:
        if options.orient:
            turn = str(classifier.page_turn)
        if options.explain:
            trace = classifier._raw_json("MorvaneGetDecisionTrace")
        if options.text or options.mrz:
            raw = classifier._raw_json("MorvaneGetRecognisedText")
            parsed = json.loads(raw) if raw else {}
            lines = [str(item.get("text", "")) for item in parsed.get("lines", []) if isinstance(item, dict)]
            if options.text:
                text = raw
            if options.mrz:
                # The zone decoded with the engine's candidates when there
                # are lines to decode, else the zone as read.
                zone = classifier._raw_zone() if lines else ""
                zone = zone or classifier._raw_mrz("".join(x + "\n" for x in lines))
    if options.as_json:
        extra = (f',"turn":{turn}' if turn else "") + (f',"trace":{trace}' if trace else "")
        extra += (f',"text":{text}' if text else "") + (f',"mrz":{zone}' if zone else "")
        return line[:-1] + extra + "}\n", result is not None
    out = [line]
    if options.explain and outcome.resolution is not None:
        x, y, origin = outcome.resolution
        out.append(f"  resolution: {x}x{y} dpi ({origin})")
    if turn:
        out.append(f"  turn: {turn}")
    if trace:
        out.append(f"  trace: {trace}")
    if options.text and code != ERR_READ_IMAGE:
        shown = ["".join("?" if ord(c) < 0x20 or ord(c) == 0x7F else c for c in x) for x in lines]
        out.extend(f"  text: {x}" for x in shown) if shown else out.append("  text: (none)")
    if zone:
        out.append(f"  mrz: {zone}")
    return "\n".join(out) + "\n", result is not None


# -- worker processes of --jobs: each opens its own classifier --------------------

@dataclass(frozen=True)
class Setup:
    workdir: Optional[str]
    templates: Tuple[str, ...]
    valid: Tuple[str, ...]
    shortcut: bool
    orient: bool
    file_resolution: bool = True


_worker: Optional[Tuple[Classifier, List[int]]] = None


def open_classifier(setup: Setup) -> Tuple[Classifier, List[int]]:
    """A classifier with the templates and settings of the run; raises
    MorvaneError or ValueError when they cannot be loaded."""
    classifier = Classifier(workdir=setup.workdir)
    indexes = []
    for template in setup.templates:
        try:
            indexes.append(classifier.add_template(template))
        except (MorvaneError, ValueError) as e:
            classifier.close()
            raise ValueError(f"cannot load template {template}: {e}") from None
    for index in indexes:
        if setup.valid:
            classifier.set_valid(list(setup.valid), index)
        if setup.shortcut:
            classifier.set_shortcut(True, index)
    if setup.orient:
        classifier.set_orientation_search(True)
    classifier.set_file_resolution(setup.file_resolution)
    return classifier, indexes


def _start_worker(setup: Setup) -> None:
    global _worker
    signal.signal(signal.SIGINT, signal.SIG_IGN)  # the parent handles ^C
    _worker = open_classifier(setup)


def _work(job: Tuple[str, Optional[PageSource], Optional[Tuple[int, int]], Options]) -> Tuple[str, bool]:
    assert _worker is not None
    classifier, indexes = _worker
    return page_report(classifier, job[0], indexes, job[2], job[3], job[1])


def reports(setup: Setup, pages: Sequence[str], dpi: Optional[Tuple[int, int]], options: Options,
            jobs: int, sources: Optional[Dict[str, PageSource]] = None) -> Iterator[Tuple[str, bool]]:
    """Every page's report, in the order of the pages; sources gives the file
    and index of each page of a multi-page file."""
    sources = sources or {}
    if jobs <= 1 or len(pages) <= 1:
        classifier, indexes = open_classifier(setup)
        with classifier:
            for page in pages:
                yield page_report(classifier, page, indexes, dpi, options, sources.get(page))
        return
    context = multiprocessing.get_context("fork")
    with concurrent.futures.ProcessPoolExecutor(max_workers=min(jobs, len(pages)), mp_context=context,
                                                initializer=_start_worker, initargs=(setup,)) as pool:
        yield from pool.map(_work, [(page, sources.get(page), dpi, options) for page in pages], chunksize=1)


def positive(text: str) -> int:
    try:
        value = int(text, 10)
    except ValueError:
        value = 0
    if not 0 < value <= 1024:
        raise argparse.ArgumentTypeError(f"bad value '{text}': give 1 to 1024")
    return value


def main(argv: Optional[Sequence[str]] = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m morvane",
                                     description="Classifies page images with one or more main templates.")
    parser.add_argument("-t", dest="templates", action="append", default=[], metavar="MAIN.xml",
                        help="main template to load (repeatable; default: the example set)")
    parser.add_argument("-w", dest="workdir", metavar="WORKDIR", help="working directory holding ClasDevices.dat")
    parser.add_argument("--dpi", type=parse_dpi, default="auto", metavar="auto|template|H[,V]",
                        help="page resolution in dots per inch; auto (the default): the one the page's file "
                             "states, else the templates' own; template: always the templates' own")
    parser.add_argument("--valid", action="append", default=[], metavar="ID",
                        help="restrict the answer to these sub-template IDs (repeatable)")
    parser.add_argument("--shortcut", action="store_true", help="answer from the single --valid ID")
    parser.add_argument("--json", action="store_true", help="print one JSON object per page")
    parser.add_argument("--explain", action="store_true", help="also print the decision trace of each page")
    parser.add_argument("--text", action="store_true", help="also print the text lines the text filters read")
    parser.add_argument("--mrz", action="store_true", help="also read the lines as a machine-readable zone")
    parser.add_argument("--orient", action="store_true",
                        help="retry pages that end in a default branch turned by 90, 180 and 270 degrees")
    parser.add_argument("--jobs", type=positive, default=1, metavar="N", help="classify in N worker processes")
    parser.add_argument("--version", action="store_true", help="print the library version")
    parser.add_argument("paths", nargs="*", metavar="PATH")
    args = parser.parse_args(argv)

    try:
        library = load_library()
    except LibraryNotFoundError as e:
        print(f"morvane: {e}", file=sys.stderr)
        return 2
    if args.version:
        print(f"morvane-classify {library.version()}")
        return 0
    if not args.paths:
        parser.print_usage(sys.stderr)
        print("morvane: no page given", file=sys.stderr)
        return 2
    data = data_directory(library)
    templates = args.templates or ([str(data / "templates" / "main.xml")] if data is not None else [])
    if not templates:
        print("morvane: no main template given and no example set found (-t MAIN.xml)", file=sys.stderr)
        return 2
    dpi: Optional[Tuple[int, int]] = None if isinstance(args.dpi, str) else args.dpi
    setup = Setup(workdir=args.workdir, templates=tuple(templates), valid=tuple(args.valid),
                  shortcut=args.shortcut, orient=args.orient, file_resolution=args.dpi == "auto")
    options = Options(as_json=args.json, explain=args.explain, text=args.text, mrz=args.mrz, orient=args.orient)
    try:
        # Opened once here as well, so that a classifier or template that
        # cannot be loaded is reported before any page.
        first, _ = open_classifier(setup)
        with first:
            pages, sources = expand_pages(first, pages_of(args.paths))
    except MorvaneError as e:
        print(f"morvane: cannot load the classifier: {e}", file=sys.stderr)
        return 2
    except ValueError as e:
        print(f"morvane: {e}", file=sys.stderr)
        return 2
    any_failed = False
    out = sys.stdout
    for report, classified in reports(setup, pages, dpi, options, args.jobs, sources):
        any_failed |= not classified
        out.write(report)
        out.flush()
    return 1 if any_failed else 0


def run() -> int:
    """main() as a program: a closed output pipe ends it quietly, the way it
    ends the C tool (by SIGPIPE)."""
    try:
        return main()
    except BrokenPipeError:
        # Nothing more can be written; keep the interpreter from reporting
        # the failed flush of standard output at exit.
        devnull = os.open(os.devnull, os.O_WRONLY)
        os.dup2(devnull, sys.stdout.fileno())
        return 141
    except KeyboardInterrupt:
        return 130


if __name__ == "__main__":
    sys.exit(run())
