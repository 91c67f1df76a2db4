# Install rules of the library, its headers and the example data, with a pkg-config file and a CMake package
# (find_package(Morvane) gives the target Morvane::classifier).
include(CMakePackageConfigHelpers)

install(TARGETS morvaneclassifier EXPORT MorvaneTargets
  LIBRARY DESTINATION ${MORVANE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${MORVANE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/morvane DESTINATION ${MORVANE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/templates ${PROJECT_SOURCE_DIR}/examples/workdir
  DESTINATION ${MORVANE_INSTALL_DATADIR})
# The example pages, for trying the installed tools on.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/pages DESTINATION ${MORVANE_INSTALL_DATADIR})
# The tools, their man pages and completions: tools/CMakeLists.txt.

install(EXPORT MorvaneTargets NAMESPACE Morvane:: FILE MorvaneTargets.cmake
  DESTINATION ${MORVANE_INSTALL_CMAKEDIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/MorvaneConfig.cmake.in
  ${PROJECT_BINARY_DIR}/MorvaneConfig.cmake
  INSTALL_DESTINATION ${MORVANE_INSTALL_CMAKEDIR}
  PATH_VARS MORVANE_INSTALL_DATADIR MORVANE_INSTALL_PLUGINDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MorvaneConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/MorvaneConfig.cmake ${PROJECT_BINARY_DIR}/MorvaneConfigVersion.cmake
  DESTINATION ${MORVANE_INSTALL_CMAKEDIR})

# The pkg-config file finds the prefix from its own place, so the installed
# tree can be moved (or installed with cmake --install --prefix).
file(RELATIVE_PATH MORVANE_PC_TO_PREFIX "/prefix/${MORVANE_INSTALL_PKGCONFIGDIR}" "/prefix")
string(REGEX REPLACE "/$" "" MORVANE_PC_TO_PREFIX "${MORVANE_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/morvane.pc.in ${PROJECT_BINARY_DIR}/morvane.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/morvane.pc DESTINATION ${MORVANE_INSTALL_PKGCONFIGDIR})

# The Python package: its version file follows the project's version, and
# the package is installed where Debian's python3 finds it
# (<prefix>/lib/python3/dist-packages), finding the library in <prefix>/lib.
configure_file(${PROJECT_SOURCE_DIR}/python/morvane/_version.py.in
  ${PROJECT_SOURCE_DIR}/python/morvane/_version.py @ONLY)
option(MORVANE_INSTALL_PYTHON "Install the Python package under <prefix>/lib/python3/dist-packages" ON)
if(MORVANE_INSTALL_PYTHON)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/python/morvane DESTINATION lib/python3/dist-packages
    PATTERN "__pycache__" EXCLUDE PATTERN "*.in" EXCLUDE)
endif()
