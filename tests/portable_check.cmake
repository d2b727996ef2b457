# The library keeps to the C++ standard library and POSIX: no glibc-only stdio internals in
# its sources (stream fields, cookie streams, unlocked calls, a stream buffer set onto its own
# arrays) nor among the symbols it takes from the C library (what such macros expand to).
if(CMAKE_SCRIPT_MODE_FILE)  # run by the test: -DNM -DLIBRARY -DSOURCES
  set(pattern "_IO_[A-Za-z_]+|fopencookie|cookie_io_functions|__GLIBC__|[a-z]+_unlocked|__fsetlocking|__f(pending|reading|writing|bufsize|purge|lbf)|setvbuf")
  file(GLOB_RECURSE sources ${SOURCES}/*.cpp ${SOURCES}/*.hpp ${SOURCES}/*.h)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} lines REGEX "${pattern}")
    foreach(line IN LISTS lines)
      string(REGEX MATCH "${pattern}" what "${line}")
      file(RELATIVE_PATH name ${SOURCES} ${source})
      list(APPEND found "${name}: ${what}")
    endforeach()
  endforeach()
  execute_process(COMMAND ${NM} -D --undefined-only ${LIBRARY} OUTPUT_VARIABLE listing
                  RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
  endif()
  string(REGEX MATCHALL "[ \t](${pattern}|__uflow|__overflow)[@\n]" symbols "${listing}")
  foreach(symbol IN LISTS symbols)
    string(STRIP "${symbol}" symbol)
    string(REPLACE "@" "" symbol "${symbol}")
    list(APPEND found "symbol ${symbol}")
  endforeach()
  if(found)
    list(JOIN found "\n  " found)
    message(FATAL_ERROR "glibc-only stdio internals in the library:\n  ${found}")
  endif()
  return()
endif()

find_program(GRIDQUILL_NM NAMES nm REQUIRED)
add_test(NAME library_portable
         COMMAND ${CMAKE_COMMAND} -DNM=${GRIDQUILL_NM} -DLIBRARY=$<TARGET_FILE:gridquill>
                 -DSOURCES=${PROJECT_SOURCE_DIR}/library -P ${CMAKE_CURRENT_LIST_FILE})
