# The Python package's tests (tests/python, pytest) against the package built in
# <build>/python: cells and rows, errors and threads; DataFrames (skipped without pandas);
# what LibreOffice reads (label interop, skipped without it); and `pip install` of python/
# into a folder, which then runs the example.
if(CMAKE_SCRIPT_MODE_FILE)  # the pip test: -DPYTHON -DSOURCE -DWORK -DINCLUDE -DLIBRARY -DEXAMPLE
  file(REMOVE_RECURSE ${WORK})
  file(COPY ${SOURCE}/ DESTINATION ${WORK}/source)  # pip builds inside the tree it installs
  execute_process(COMMAND ${CMAKE_COMMAND} -E env GRIDQUILL_INCLUDE=${INCLUDE}
                          GRIDQUILL_LIBRARY=${LIBRARY}
                          ${PYTHON} -m pip install --no-build-isolation --no-deps --no-index
                          --quiet --target ${WORK}/site ${WORK}/source
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    if(err MATCHES "No module named pip")
      message("SKIPPED: pip is not installed (Debian: python3-pip)")
      return()
    endif()
    message(FATAL_ERROR "pip install failed (${rc}):\n${out}${err}")
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${WORK}/site
                          ${PYTHON} ${EXAMPLE} ${WORK}/vendite.xml
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT out STREQUAL "written ${WORK}/vendite.xml\n")
    message(FATAL_ERROR "the installed package failed (${rc}):\n${out}${err}")
  endif()
  return()
endif()

if(NOT GRIDQUILL_BUILD_PYTHON)
  return()
endif()
foreach(part package frames interop)
  add_test(NAME python_${part}
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/python/run.py
                   ${CMAKE_CURRENT_SOURCE_DIR}/python/test_${part}.py
                   --basetemp=${CMAKE_CURRENT_BINARY_DIR}/python_${part})
  set_tests_properties(python_${part} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600
    ENVIRONMENT "${python_env};GRIDQUILL_SCHEMA_VALIDATE=${GRIDQUILL_SCHEMA_VALIDATE}")
endforeach()
set_tests_properties(python_interop PROPERTIES LABELS interop)
if(GRIDQUILL_SANITIZE)
  return()  # pip's compilers and an uninstrumented extension have no place under a sanitizer
endif()
add_test(NAME python_pip_install
         COMMAND ${CMAKE_COMMAND} -DPYTHON=${Python3_EXECUTABLE}
                 -DSOURCE=${PROJECT_SOURCE_DIR}/python -DWORK=${CMAKE_CURRENT_BINARY_DIR}/pip
                 -DINCLUDE=${PROJECT_SOURCE_DIR}/library -DLIBRARY=$<TARGET_FILE:gridquill>
                 -DEXAMPLE=${PROJECT_SOURCE_DIR}/examples/python/example.py
                 -P ${CMAKE_CURRENT_LIST_FILE})
set_tests_properties(python_pip_install PROPERTIES SKIP_REGULAR_EXPRESSION "SKIPPED: "
                     TIMEOUT 600)
