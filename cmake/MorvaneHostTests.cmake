# Tests of the library as others take it up: installed and built against
# (pkg-config and find_package), and through the Python package.
# A sanitizer build of the library needs the sanitizer runtimes in the host,
# with clang's C++ part of UndefinedBehaviorSanitizer (the library's vptr
# checks) and the C++ library that part uses.
set(_morvane_host_flags "")
set(_morvane_host_libs "")
if(MORVANE_SANITIZE)
  set(_morvane_host_flags "-fsanitize=address,undefined")
  if(CMAKE_C_COMPILER_ID MATCHES "Clang")
    set(_morvane_host_libs "-fsanitize-link-c++-runtime -lstdc++")
  endif()
endif()
add_test(NAME MorvaneInstallAndHost
         COMMAND ${PROJECT_SOURCE_DIR}/tests/install/install_test.sh ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR}
                 ${MORVANE_VERSION} ${CMAKE_C_COMPILER} "${_morvane_host_flags}" "${_morvane_host_libs}")

# The Python package's tests load the library into a Python interpreter, which
# a sanitizer build of the library cannot run in; scripts/test.sh runs them
# against a release build instead.
if(NOT MORVANE_SANITIZE AND MORVANE_BUILD_TOOLS)
  if(EXISTS /usr/bin/python3)
    set(_morvane_python_default /usr/bin/python3)  # the interpreter Debian's python3-* packages serve
  else()
    set(_morvane_python_default python3)
  endif()
  set(MORVANE_PYTHON "${_morvane_python_default}" CACHE STRING "Python with NumPy, pytest and Dask for the Python tests")
  add_test(NAME MorvanePython
           COMMAND ${MORVANE_PYTHON} -m pytest -q -p no:cacheprovider ${PROJECT_SOURCE_DIR}/python/tests
                   ${PROJECT_SOURCE_DIR}/examples/cluster)
  set_tests_properties(MorvanePython PROPERTIES
    ENVIRONMENT "MORVANE_LIBRARY=$<TARGET_FILE:morvaneclassifier>;PYTHONDONTWRITEBYTECODE=1;MORVANE_VERSION=${MORVANE_VERSION}"
    TIMEOUT 900)
endif()

# The worker processes of morvane-classify --jobs, driven with a stand-in
# page classifier that crashes, hangs and fails on purpose.
target_sources(morvane_unit_tests PRIVATE ${PROJECT_SOURCE_DIR}/tools/parallel_batch.cpp
               ${PROJECT_SOURCE_DIR}/tools/classify_output.cpp)
target_include_directories(morvane_unit_tests PRIVATE ${PROJECT_SOURCE_DIR}/tools)

# The README's C example compiles as shown.
add_test(NAME MorvaneReadmeSnippet
         COMMAND ${PROJECT_SOURCE_DIR}/tests/install/readme_snippet_test.sh ${PROJECT_SOURCE_DIR} ${CMAKE_C_COMPILER})
