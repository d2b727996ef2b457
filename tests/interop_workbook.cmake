# Interoperability of what a workbook carries besides its cells: names, print area and
# titles, document properties, output through a stream. Label "interop"; skipped (exit 77)
# when LibreOffice is not installed.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_executable(interop_workbook_extras interop/workbook_extras.cpp)
target_link_libraries(interop_workbook_extras PRIVATE gridquill)
add_test(NAME interop_workbook
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/interop/workbook_check.py
                 $<TARGET_FILE:interop_workbook_extras> ${CMAKE_CURRENT_BINARY_DIR}/interop_workbook)
set_tests_properties(interop_workbook PROPERTIES LABELS interop SKIP_RETURN_CODE 77 TIMEOUT 600
                     ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)

# The merge of other producers' workbooks read back in LibreOffice and Gnumeric.
add_executable(interop_merge_edit interop/merge_edit.cpp)
target_link_libraries(interop_merge_edit PRIVATE gridquill)
add_test(NAME interop_merge
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/interop/merge_check.py
                 $<TARGET_FILE:interop_merge_edit> ${CMAKE_CURRENT_SOURCE_DIR}/merge_corpus
                 ${CMAKE_CURRENT_BINARY_DIR}/interop_merge)
set_tests_properties(interop_merge PROPERTIES LABELS interop SKIP_RETURN_CODE 77 TIMEOUT 900
                     ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
