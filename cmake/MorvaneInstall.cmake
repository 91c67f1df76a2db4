# Install rules of the library, its headers, the command-line classifier and
# the example data, with a pkg-config file and a CMake package
# (find_package(Morvane) gives the target Morvane::classifier).
include(CMakePackageConfigHelpers)

install(TARGETS morvaneclassifier EXPORT MorvaneTargets
  LIBRARY DESTINATION ${MORVANE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${MORVANE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/morvane DESTINATION ${MORVANE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/templates ${PROJECT_SOURCE_DIR}/examples/workdir
  DESTINATION ${MORVANE_INSTALL_DATADIR})
if(TARGET morvane-classify)
  install(TARGETS morvane-classify RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

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
