# The C++ interface test is built as C++17, the oldest standard gridquill.hpp supports.
# So is the README's C++ example, which must write the same workbook as its C example
# and be quoted whole in the README.
if(CMAKE_SCRIPT_MODE_FILE)  # run by the test: -DCPP -DC -DWORK -DPYTHON -DREADME -DSOURCE
  foreach(example CPP C)
    file(REMOVE_RECURSE ${WORK}/${example})
    file(MAKE_DIRECTORY ${WORK}/${example})
    execute_process(COMMAND ${${example}} WORKING_DIRECTORY ${WORK}/${example} RESULT_VARIABLE rc)
    execute_process(COMMAND ${PYTHON} -c
      "import sys, xml.parsers.expat as e; e.ParserCreate().Parse(open(sys.argv[1], 'rb').read(), True)"
      ${WORK}/${example}/report.xml RESULT_VARIABLE xml_rc ERROR_VARIABLE xml_err)
    if(NOT rc EQUAL 0 OR NOT xml_rc EQUAL 0)
      message(FATAL_ERROR "the ${example} example failed (${rc}) or its workbook is not well-formed:\n${xml_err}")
    endif()
    file(READ ${WORK}/${example}/report.xml ${example}_text)
    string(REGEX REPLACE "<Created>[^<]*</Created>" "" ${example}_text "${${example}_text}")
  endforeach()
  if(NOT CPP_text STREQUAL C_text)
    message(FATAL_ERROR "the C++ example wrote other bytes than the C example")
  endif()
  file(READ ${README} readme)
  file(READ ${SOURCE} source)
  string(FIND "${readme}" "${source}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "README.md does not contain examples/cpp/minimal.cpp as it stands")
  endif()
  return()
endif()

set_target_properties(cpp_interface_test PROPERTIES CXX_STANDARD 17)

find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_executable(cpp_readme_example ${PROJECT_SOURCE_DIR}/examples/cpp/minimal.cpp)
set_target_properties(cpp_readme_example PROPERTIES CXX_STANDARD 17)
target_link_libraries(cpp_readme_example PRIVATE gridquill)
add_executable(c_readme_example ${PROJECT_SOURCE_DIR}/examples/minimal.c)
target_link_libraries(c_readme_example PRIVATE gridquill)
add_test(NAME cpp_readme_example
         COMMAND ${CMAKE_COMMAND} -DCPP=$<TARGET_FILE:cpp_readme_example>
                 -DC=$<TARGET_FILE:c_readme_example> -DWORK=${CMAKE_CURRENT_BINARY_DIR}/cpp_readme
                 -DPYTHON=${Python3_EXECUTABLE} -DREADME=${PROJECT_SOURCE_DIR}/README.md
                 -DSOURCE=${PROJECT_SOURCE_DIR}/examples/cpp/minimal.cpp
                 -P ${CMAKE_CURRENT_LIST_FILE})
