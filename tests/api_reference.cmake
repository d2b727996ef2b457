# The API reference builds without a Doxygen warning, so every exported call, record field
# and constant stays documented, and every exported call has its man page. Skipped, saying
# why, without doxygen (.ci/run installs it).
find_program(GRIDQUILL_NM NAMES nm REQUIRED)
add_test(NAME api_reference
         COMMAND ${GRIDQUILL_REFERENCE_COMMAND} -DOUT=${CMAKE_CURRENT_BINARY_DIR}/reference
                 -DSTRICT=ON -DNM=${GRIDQUILL_NM} -DLIBRARY=$<TARGET_FILE:gridquill>
                 -P ${PROJECT_SOURCE_DIR}/docs/reference.cmake)
set_tests_properties(api_reference PROPERTIES SKIP_REGULAR_EXPRESSION "SKIPPED: ")
