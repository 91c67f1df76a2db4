"""Morvane Classifier for Python: tells which known document type a page shows.

    import morvane
    with morvane.Classifier() as classifier:
        index = classifier.add_template(morvane.default_template())
        result = classifier.classify("page.png", index, dpi=300, explain=True)
        print(result.id, result.name, result.output_id, result.score, result.margin)
        for line in result.text:
            print(line.text, line.left, line.top)

``classify()`` takes a path, the bytes of an image file, a binary file
object or a NumPy image, and returns one immutable :class:`Result`. A
missing page raises FileNotFoundError, an unreadable one PermissionError;
other failures raise :class:`MorvaneError`. ``classify_pages()`` (also
``classify_pdf()``) yields one :class:`PageResult` per page of a PDF or a
multi-page TIFF. ``python -m morvane`` classifies
pages like the morvane-classify tool.
"""

from ._library import LibraryNotFoundError, load_library
from ._version import __version__
from .classifier import (Classifier, MorvaneError, PageNotFoundError, PagePermissionError, PageResult,
                         default_template, parse_mrz)
from .result import Mrz, MrzChange, MrzField, Result, TextLine

__all__ = ["Classifier", "LibraryNotFoundError", "MorvaneError", "Mrz", "MrzChange", "MrzField", "PageNotFoundError",
           "PagePermissionError", "PageResult", "Result", "TextLine", "__version__", "default_template",
           "load_library",
           "parse_mrz"]
