"""Morvane Classifier for Python: tells which known document type a page shows.

    import morvane
    with morvane.Classifier() as classifier:
        index = classifier.add_template(morvane.default_template())
        result = classifier.classify("page.png", index, dpi=300)
        print(result.id, result.name, result.output_id)
"""

from ._library import LibraryNotFoundError, load_library
from .classifier import Classifier, MorvaneError, Result, default_template, parse_mrz

__all__ = ["Classifier", "LibraryNotFoundError", "MorvaneError", "Result", "default_template", "load_library",
           "parse_mrz"]
__version__ = "6.1.1.2"
