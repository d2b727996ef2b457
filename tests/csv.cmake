# gridquill-csv's tests (csv_test.cpp) run the built program; without it they skip. The
# schema validator is looked for beside the project, in shared/schema.
set(GRIDQUILL_SCHEMA_DIR "${PROJECT_SOURCE_DIR}/../shared/schema" CACHE PATH
    "Folder of the workbook schema and its validate script")
target_compile_definitions(csv_test PRIVATE GRIDQUILL_SCHEMA_DIR="${GRIDQUILL_SCHEMA_DIR}")
if(TARGET gridquill-csv)
  target_compile_definitions(csv_test PRIVATE GRIDQUILL_CSV_PATH="$<TARGET_FILE:gridquill-csv>")
  add_dependencies(csv_test gridquill-csv)
endif()

# gridquill-csv's workbook in LibreOffice (and Gnumeric for the filter): label "interop".
if(TARGET gridquill-csv)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  add_test(NAME csv_interop
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/interop/csv_check.py
                   $<TARGET_FILE:gridquill-csv> ${PROJECT_SOURCE_DIR}/examples/data/vendite.csv
                   ${CMAKE_CURRENT_BINARY_DIR}/csv_interop)
  set_tests_properties(csv_interop PROPERTIES LABELS interop SKIP_RETURN_CODE 77 TIMEOUT 600
                       ENVIRONMENT PYTHONDONTWRITEBYTECODE=1)
endif()
