# gridquill-csv's tests (csv_test.cpp) run the built program; without it they skip. The
# schema validator is looked for beside the project, in shared/schema.
set(GRIDQUILL_SCHEMA_DIR "${PROJECT_SOURCE_DIR}/../shared/schema" CACHE PATH
    "Folder of the workbook schema and its validate script")
target_compile_definitions(csv_test PRIVATE GRIDQUILL_SCHEMA_DIR="${GRIDQUILL_SCHEMA_DIR}")
if(TARGET gridquill-csv)
  target_compile_definitions(csv_test PRIVATE GRIDQUILL_CSV_PATH="$<TARGET_FILE:gridquill-csv>")
  add_dependencies(csv_test gridquill-csv)
endif()
