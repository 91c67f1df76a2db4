# The Debian package (cpack -G DEB in the build tree): everything
# cmake --install puts under the prefix, installed under /usr. Its
# dependencies are computed from the installed binaries (dpkg-shlibdeps).
set(CPACK_PACKAGE_NAME "morvane")
set(CPACK_PACKAGE_VERSION "${MORVANE_VERSION}")
set(CPACK_PACKAGE_VENDOR "Morvane")
set(CPACK_PACKAGE_CONTACT "Morvane Classifier maintainers <morvane@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Tells which known document type a scanned page shows")
set(CPACK_PACKAGE_DESCRIPTION
  "Morvane Classifier classifies scanned pages (identity cards, passports, driving\n licences, forms) against XML templates. The package holds the library, its\n headers, pkg-config and CMake files, the tools morvane-classify,\n morvane-template and morvane-measure with their man pages, the recognition\n engine and scanner plug-ins, and example templates and pages.")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The plug-ins find their own session library beside them ($ORIGIN).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
  "${CMAKE_BINARY_DIR}/plugins")
# The library is a shared library others link: ldconfig after install and
# removal.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_GENERATOR "DEB")
include(CPack)
