# Why tests were skipped: read from the JUnit file that the "test" preset writes, by the
# "skipped" preset, the last step of the test workflow (label "report").
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME skip_reasons
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/skip_reasons.py
                 ${PROJECT_BINARY_DIR}/test-results.xml)
set_tests_properties(skip_reasons PROPERTIES LABELS report)

# gridquill.hpp in a C++14 translation unit stops with its one #error.
add_test(NAME cxx14_header
         COMMAND ${CMAKE_COMMAND} -DCXX=${CMAKE_CXX_COMPILER}
                 -DINCLUDE=${PROJECT_SOURCE_DIR}/library -DWORK=${CMAKE_CURRENT_BINARY_DIR}
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/cxx14_header.cmake.script)
