# Installs the built tree into a fresh prefix, then builds and runs the out-of-tree
# clients against it: through find_package(Gridquill) and through pkg-config.
# Run by CTest with -DBUILD_DIR -DWORK_DIR -DSOURCE_DIR -DCC -DCXX -DPYTHON -DFLAGS -DVERSION.
cmake_minimum_required(VERSION 3.25)

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

# The workbook must be well-formed (expat, through Python's pyexpat) and hold the two cells.
function(check_workbook path)
  run("expat check of ${path}" ${PYTHON} -c
      "import sys, xml.parsers.expat as e; e.ParserCreate().Parse(open(sys.argv[1], 'rb').read(), True)"
      ${path})
  file(READ ${path} text)
  foreach(line
      "    <Cell ss:StyleID=\"bold\" ><Data ss:Type=\"String\">Libreria installata</Data></Cell>\n"
      "    <Cell ><Data ss:Type=\"Number\">42</Data></Cell>\n")
    string(FIND "${text}" "${line}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${path} lacks the line: ${line}")
    endif()
  endforeach()
  string(REGEX REPLACE "<Created>[^<]*</Created>" "" text "${text}")
  set(content "${text}" PARENT_SCOPE)
endfunction()

set(prefix ${WORK_DIR}/prefix)
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
run("cmake --install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(file include/gridquill.h include/gridquill.hpp lib/libgridquill.so.${VERSION}
        lib/cmake/Gridquill/GridquillConfig.cmake lib/cmake/Gridquill/GridquillConfigVersion.cmake
        lib/pkgconfig/gridquill.pc bin/gridquill_demo)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
foreach(link libgridquill.so:libgridquill.so.1 libgridquill.so.1:libgridquill.so.${VERSION})
  string(REPLACE ":" ";" link ${link})
  list(GET link 0 name)
  list(GET link 1 target)
  file(READ_SYMLINK ${prefix}/lib/${name} points_to)
  if(NOT points_to STREQUAL target)
    message(FATAL_ERROR "lib/${name} points to '${points_to}', not ${target}")
  endif()
endforeach()

# find_package: a C99 and a C++20 client, warnings as errors.
run("configure the find_package clients" ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/cmake
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_C_COMPILER=${CC} -DCMAKE_CXX_COMPILER=${CXX}
    "-DCMAKE_C_FLAGS=${FLAGS}" "-DCMAKE_CXX_FLAGS=${FLAGS}")
run("build the find_package clients" ${CMAKE_COMMAND} --build ${WORK_DIR}/cmake)
run("client_c" ${WORK_DIR}/cmake/client_c ${WORK_DIR}/package_c.xml)
check_workbook(${WORK_DIR}/package_c.xml)
set(expected "${content}")
run("client_cpp" ${WORK_DIR}/cmake/client_cpp ${WORK_DIR}/package_cpp.xml)
check_workbook(${WORK_DIR}/package_cpp.xml)
if(NOT content STREQUAL expected)
  message(FATAL_ERROR "the C++ client wrote other bytes than the C client")
endif()

# pkg-config: the C client compiled and linked by hand with the flags it gives.
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
run("pkg-config" pkg-config --cflags --libs gridquill)
separate_arguments(pc_flags UNIX_COMMAND "${last_output}")
separate_arguments(flags UNIX_COMMAND "${FLAGS}")
run("build the pkg-config client" ${CC} -std=c99 ${flags} ${SOURCE_DIR}/client.c ${pc_flags}
    -o ${WORK_DIR}/pc_client)
set(ENV{LD_LIBRARY_PATH} ${prefix}/lib)
run("pc_client" ${WORK_DIR}/pc_client ${WORK_DIR}/pc.xml)
check_workbook(${WORK_DIR}/pc.xml)
if(NOT content STREQUAL expected)
  message(FATAL_ERROR "the pkg-config client wrote other bytes than the find_package one")
endif()
message(STATUS "installed Gridquill found through find_package and pkg-config")
