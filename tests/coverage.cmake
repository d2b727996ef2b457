# Line coverage of the library (the coverage preset builds with --coverage): the target
# `coverage` reports it with gcovr from the counters the tests left, and fails under 95 %.
if(CMAKE_CXX_FLAGS MATCHES "--coverage")
  find_program(GCOVR_EXECUTABLE gcovr)
  if(GCOVR_EXECUTABLE)
    add_custom_target(coverage
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/coverage
      COMMAND ${GCOVR_EXECUTABLE} --root ${PROJECT_SOURCE_DIR}
              --filter ${PROJECT_SOURCE_DIR}/library/ --object-directory ${PROJECT_BINARY_DIR}
              --txt ${PROJECT_BINARY_DIR}/coverage/coverage.txt
              --html-details ${PROJECT_BINARY_DIR}/coverage/index.html
              --print-summary --fail-under-line 95
      COMMAND ${CMAKE_COMMAND} -E cat ${PROJECT_BINARY_DIR}/coverage/coverage.txt
      WORKING_DIRECTORY ${PROJECT_BINARY_DIR}
      USES_TERMINAL
      VERBATIM)
  else()
    add_custom_target(coverage
      COMMAND ${CMAKE_COMMAND} -E echo "gcovr not found: apt-get install gcovr"
      COMMAND ${CMAKE_COMMAND} -E false
      VERBATIM)
  endif()
endif()
