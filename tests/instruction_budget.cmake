# The cell path's instruction budget: callgrind counts what xlsWriteCell and xlsNewLine
# execute for the plain workload (bench/cell_workload) at two sizes, and the difference per
# cell is held to tests/instruction_budget.txt; a failure names both figures. Skipped, saying
# why, without valgrind or the workload program, and in builds whose counts mean nothing
# (sanitizers, coverage, no optimisation).
if(CMAKE_SCRIPT_MODE_FILE)  # run by the test: -DVALGRIND -DWORKLOAD -DBUDGET -DWORK
  if(NOT VALGRIND)
    message("SKIPPED: valgrind is not installed (Debian: apt-get install valgrind)")
    return()
  endif()
  file(STRINGS ${BUDGET} lines REGEX "^[a-z0-9]+ [0-9]+$")
  set(rows_small 4000)
  set(rows_large 12000)
  math(EXPR cells "(${rows_large} - ${rows_small}) * 10")
  foreach(line IN LISTS lines)
    string(REPLACE " " ";" fields "${line}")
    list(GET fields 0 way)
    list(GET fields 1 budget)
    set(counts "")
    foreach(rows ${rows_small} ${rows_large})
      execute_process(
        COMMAND ${VALGRIND} --tool=callgrind --callgrind-out-file=${WORK}/callgrind.out
                --toggle-collect=xlsWriteCell --toggle-collect=xlsNewLine
                ${WORKLOAD} ${way} ${rows} ${WORK}/budget.xml
        RESULT_VARIABLE rc ERROR_VARIABLE log OUTPUT_QUIET)
      string(REGEX MATCH "Collected : ([0-9]+)" found "${log}")
      if(NOT rc EQUAL 0 OR NOT found)
        message(FATAL_ERROR "${way}: the workload under callgrind failed (${rc}):\n${log}")
      endif()
      list(APPEND counts ${CMAKE_MATCH_1})
    endforeach()
    list(GET counts 0 small)
    list(GET counts 1 large)
    math(EXPR per_cell "(${large} - ${small}) / ${cells}")
    message("${way}: ${per_cell} instructions per cell, budget ${budget}")
    if(per_cell GREATER budget)
      list(APPEND over "${way}: ${per_cell} instructions per cell over the budget of ${budget}")
    endif()
  endforeach()
  file(REMOVE ${WORK}/callgrind.out ${WORK}/budget.xml)
  if(over)
    list(JOIN over "\n  " over)
    message(FATAL_ERROR "the cell path passed its instruction budget:\n  ${over}")
  endif()
  return()
endif()

find_program(GRIDQUILL_VALGRIND NAMES valgrind)
if(NOT GRIDQUILL_VALGRIND)
  set(GRIDQUILL_VALGRIND "")
endif()
set(budget_reason "")
if(NOT GRIDQUILL_BUILD_BENCH)
  set(budget_reason "the workload program is not built (GRIDQUILL_BUILD_BENCH=OFF)")
elseif(GRIDQUILL_SANITIZE OR CMAKE_CXX_FLAGS MATCHES "coverage" OR CMAKE_BUILD_TYPE STREQUAL "Debug")
  set(budget_reason "instruction counts of a sanitizer, coverage or Debug build mean nothing")
endif()
if(budget_reason)
  add_test(NAME instruction_budget COMMAND ${CMAKE_COMMAND} -E echo "SKIPPED: ${budget_reason}")
else()
  add_test(NAME instruction_budget
           COMMAND ${CMAKE_COMMAND} -DVALGRIND=${GRIDQUILL_VALGRIND}
                   -DWORKLOAD=$<TARGET_FILE:cell_workload>
                   -DBUDGET=${CMAKE_CURRENT_SOURCE_DIR}/instruction_budget.txt
                   -DWORK=${CMAKE_CURRENT_BINARY_DIR} -P ${CMAKE_CURRENT_LIST_FILE})
endif()
set_tests_properties(instruction_budget PROPERTIES SKIP_REGULAR_EXPRESSION "SKIPPED: "
                     TIMEOUT 300)
