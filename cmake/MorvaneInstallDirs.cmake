# Install layout. Included before the library and plug-ins are defined so
# their install rules can use these folders (all relative to the prefix).
#
#   MORVANE_INSTALL_LIBDIR      libmorvaneclassifier.so*
#   MORVANE_INSTALL_INCLUDEDIR  morvane/classifier.h, morvane/j2k.h
#   MORVANE_INSTALL_PLUGINDIR   plug-in folder: engines/ (recognition engine
#                               plug-ins and their data) and scanners/ (the
#                               scanner plug-ins). The library looks for them
#                               at these places relative to itself, so they
#                               follow MORVANE_INSTALL_LIBDIR.
#   MORVANE_INSTALL_ENGINEDIR, MORVANE_INSTALL_SCANNERDIR  those two folders
#   MORVANE_INSTALL_DATADIR     example templates and working directory
#   MORVANE_INSTALL_CMAKEDIR    MorvaneConfig.cmake and its companions
#   MORVANE_INSTALL_PKGCONFIGDIR  morvane.pc
include(GNUInstallDirs)
set(MORVANE_INSTALL_LIBDIR "${CMAKE_INSTALL_LIBDIR}" CACHE STRING "Library folder under the prefix")
set(MORVANE_INSTALL_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}" CACHE STRING "Header folder under the prefix")
set(MORVANE_INSTALL_PLUGINDIR "${MORVANE_INSTALL_LIBDIR}/morvane")
set(MORVANE_INSTALL_ENGINEDIR "${MORVANE_INSTALL_PLUGINDIR}/engines")
set(MORVANE_INSTALL_SCANNERDIR "${MORVANE_INSTALL_PLUGINDIR}/scanners")
set(MORVANE_INSTALL_DATADIR "${CMAKE_INSTALL_DATADIR}/morvane" CACHE STRING "Data folder under the prefix")
set(MORVANE_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/Morvane" CACHE STRING "CMake package folder under the prefix")
set(MORVANE_INSTALL_PKGCONFIGDIR "${CMAKE_INSTALL_LIBDIR}/pkgconfig" CACHE STRING "pkg-config folder under the prefix")
# The library's file name carries the whole version, its soname the major
# version only: libmorvaneclassifier.so.6 stays the name hosts load for as
# long as the exported functions stay compatible.
set(MORVANE_SOVERSION ${PROJECT_VERSION_MAJOR})
set(MORVANE_SONAME "libmorvaneclassifier.so.${MORVANE_SOVERSION}")
