# The shared library exports exactly the interface's functions and nothing else.
find_program(GRIDQUILL_NM NAMES nm REQUIRED)
add_test(NAME exported_symbols
         COMMAND ${CMAKE_COMMAND} -DNM=${GRIDQUILL_NM} -DLIBRARY=$<TARGET_FILE:gridquill>
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/symbols_check.cmake.script)
