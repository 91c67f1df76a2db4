"""python -m morvane: classifies page images like the morvane-classify tool.

Same options, output lines and exit status: 0 when every page was
classified, 1 when any page failed, 2 on usage errors or when the classifier
or a template cannot be loaded.
"""

from __future__ import annotations

import argparse
import os
import sys
from typing import List, Optional, Sequence, Tuple

from ._library import LibraryNotFoundError, data_directory, load_library
from .classifier import ERR_CLASSIFY, ERR_READ_IMAGE, Classifier, MorvaneError
from .result import Result

IMAGE_EXTENSIONS = {"jpg", "jpeg", "jfif", "png", "tif", "tiff", "bmp", "gif", "j2k"}


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


def json_string(text: str) -> str:
    """JSON string with the same escapes as the C tool (UTF-8 kept as is)."""
    out = ['"']
    for ch in text:
        if ch == '"':
            out.append('\\"')
        elif ch == "\\":
            out.append("\\\\")
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\r":
            out.append("\\r")
        elif ch == "\t":
            out.append("\\t")
        elif ord(ch) < 0x20:
            out.append(f"\\u{ord(ch):04x}")
        else:
            out.append(ch)
    out.append('"')
    return "".join(out)


def format_line(page: str, result: Optional[Result], code: int, message: str, as_json: bool) -> str:
    if result is not None:
        if as_json:
            return (f'{{"path":{json_string(page)},"id":{json_string(result.id)},'
                    f'"name":{json_string(result.name)},"outputId":{json_string(result.output_id)}}}')
        return f"{page}\t{result.id}\t{result.name}\t{result.output_id}"
    if as_json:
        return f'{{"path":{json_string(page)},"error":{json_string(message)},"code":{code}}}'
    return f"{page}\terror: {message} ({code})"


def parse_dpi(text: str) -> Tuple[int, int]:
    try:
        parts = [int(p, 10) for p in text.split(",")]
    except ValueError:
        parts = []
    if len(parts) == 1:
        parts.append(parts[0])
    if len(parts) != 2 or not all(0 < p <= 100000 for p in parts):
        raise argparse.ArgumentTypeError(f"bad --dpi value '{text}'")
    return parts[0], parts[1]


def classify_page(classifier: Classifier, page: str, indexes: Sequence[int],
                  dpi: Optional[Tuple[int, int]]) -> Tuple[Optional[Result], int, str]:
    """Tries the main templates in order; the first that yields a sub-template answers."""
    code, message = ERR_CLASSIFY, ""
    for index in indexes:
        try:
            return classifier.classify(page, index, dpi), 0, ""
        except MorvaneError as e:
            code, message = e.code, e.message
            if code == ERR_READ_IMAGE:  # the page itself cannot be read
                break
        except ValueError as e:  # a path the library cannot take
            code, message = ERR_READ_IMAGE, str(e)
            break
    return None, code, message


def main(argv: Optional[Sequence[str]] = None) -> int:
    parser = argparse.ArgumentParser(prog="python -m morvane",
                                     description="Classifies page images with one or more main templates.")
    parser.add_argument("-t", dest="templates", action="append", default=[], metavar="MAIN.xml",
                        help="main template to load (repeatable; default: the example set)")
    parser.add_argument("-w", dest="workdir", metavar="WORKDIR", help="working directory holding ClasDevices.dat")
    parser.add_argument("--dpi", type=parse_dpi, metavar="H[,V]", help="page resolution in dots per inch")
    parser.add_argument("--valid", action="append", default=[], metavar="ID",
                        help="restrict the answer to these sub-template IDs (repeatable)")
    parser.add_argument("--shortcut", action="store_true", help="answer from the single --valid ID")
    parser.add_argument("--json", action="store_true", help="print one JSON object per page")
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
    try:
        classifier = Classifier(workdir=args.workdir)
    except MorvaneError as e:
        print(f"morvane: cannot load the classifier: {e}", file=sys.stderr)
        return 2
    with classifier:
        indexes = []
        for template in templates:
            try:
                indexes.append(classifier.add_template(template))
            except (MorvaneError, ValueError) as e:
                print(f"morvane: cannot load template {template}: {e}", file=sys.stderr)
                return 2
        for index in indexes:
            if args.valid:
                classifier.set_valid(args.valid, index)
            if args.shortcut:
                classifier.set_shortcut(True, index)
        any_failed = False
        out = sys.stdout
        for page in pages_of(args.paths):
            result, code, message = classify_page(classifier, page, indexes, args.dpi)
            any_failed |= result is None
            out.write(format_line(page, result, code, message, args.json) + "\n")
            out.flush()
    return 1 if any_failed else 0


if __name__ == "__main__":
    sys.exit(main())
