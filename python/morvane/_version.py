"""The package's version: the project's one version (CMakeLists.txt).

Written by CMake from _version.py.in when the project is configured; do not
edit _version.py by hand."""

__version__ = "6.1.1.2"
