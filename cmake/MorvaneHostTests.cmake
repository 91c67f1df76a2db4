# Tests of the library as others take it up: installed and built against
# (pkg-config and find_package), and through the Python package.
set(_morvane_host_flags "")
if(MORVANE_SANITIZE)
  set(_morvane_host_flags "-fsanitize=address,undefined")
endif()
add_test(NAME MorvaneInstallAndHost
         COMMAND ${PROJECT_SOURCE_DIR}/tests/install/install_test.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR}
                 ${CMAKE_C_COMPILER} "${_morvane_host_flags}")
