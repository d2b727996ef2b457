# Interoperability: workbooks written by the library (the demo's, a styled report, a merge
# of it) opened in LibreOffice Calc headless. Label "interop": `ctest -L interop`.
# Skipped (exit 77) when LibreOffice is not installed; .ci/run installs it.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_executable(interop_workbooks interop/make_workbooks.cpp)
target_link_libraries(interop_workbooks PRIVATE gridquill)
add_test(NAME interop
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/interop/check.py
                 $<TARGET_FILE:gridquill_demo> $<TARGET_FILE:interop_workbooks>
                 ${CMAKE_CURRENT_BINARY_DIR}/interop)
set_tests_properties(interop PROPERTIES LABELS interop SKIP_RETURN_CODE 77 TIMEOUT 600
                     ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
