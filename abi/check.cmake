# The library's ABI against the baseline kept in this folder, with libabigail (Debian:
# abigail-tools): run by the abi_check test, and with -DREGENERATE=ON by the abi-baseline
# target, which writes the baseline anew from the built library.
#   -DLIBRARY=libgridquill.so -DHEADERS=dir of gridquill.h -DBASELINE=x.abi
#   -DCONSTANTS=x.txt -DCC=C compiler [-DREGENERATE=ON]
# Fails on a removed or changed exported call or variable, on a changed record reachable from
# them (size, field, offset, type), and on a removed or changed constant of gridquill.h; an
# added call or constant passes. Says it is skipped without abidiff.
cmake_minimum_required(VERSION 3.25)
find_program(ABIDW abidw)
find_program(ABIDIFF abidiff)
if(NOT ABIDW OR NOT ABIDIFF)
  message("SKIPPED: abidw and abidiff are not installed (Debian: apt-get install abigail-tools)")
  return()
endif()

# The records are read from the library's debug information: without it abidiff would compare
# the symbols alone and miss a changed record.
find_program(READELF readelf REQUIRED)
execute_process(COMMAND ${READELF} -S ${LIBRARY} OUTPUT_VARIABLE sections)
if(NOT sections MATCHES "\\.debug_info")
  set(why "${LIBRARY} has no debug information (build it with -g, as the default preset does)")
  if(REGENERATE)
    message(FATAL_ERROR "${why}")
  endif()
  message("SKIPPED: ${why}")
  return()
endif()

# The public types only: what gridquill.h declares; the library's own types stay free. The
# baseline keeps the file names of declarations: a type without one would count as private.
set(public --headers-dir ${HEADERS} --drop-private-types)
# The header's constants, one "#define NAME VALUE" a line, as the preprocessor reads them.
execute_process(COMMAND ${CC} -E -dM -x c ${HEADERS}/gridquill.h
                OUTPUT_VARIABLE macros RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${CC} could not read ${HEADERS}/gridquill.h")
endif()
string(REGEX MATCHALL "#define XLS_[^\n]*" constants "${macros}")
list(SORT constants)

if(REGENERATE)
  execute_process(COMMAND ${ABIDW} ${public} --exported-interfaces-only --type-id-style hash
                          --no-corpus-path --no-comp-dir-path --short-locs
                          --out-file ${BASELINE} ${LIBRARY} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "abidw failed on ${LIBRARY}")
  endif()
  list(JOIN constants "\n" text)
  file(WRITE ${CONSTANTS} "${text}\n")
  message(STATUS "ABI baseline written: ${BASELINE}, ${CONSTANTS}")
  return()
endif()

# abidiff's result is a bit mask: 1 an error, 2 a usage error, 4 a change, 8 an incompatible
# change. Added symbols are left out of the report, so any change left is a failure.
execute_process(COMMAND ${ABIDIFF} --headers-dir2 ${HEADERS} --drop-private-types
                        --no-added-syms ${BASELINE} ${LIBRARY}
                RESULT_VARIABLE status OUTPUT_VARIABLE report ERROR_VARIABLE report)
if(NOT status MATCHES "^[0-9]+$" OR status GREATER_EQUAL 16)
  message(FATAL_ERROR "abidiff did not run (${status}):\n${report}")
endif()
math(EXPR errors "${status} & 3")
math(EXPR changes "${status} & 12")
if(errors)
  message(FATAL_ERROR "abidiff could not compare ${LIBRARY} with ${BASELINE}:\n${report}")
endif()
if(changes)
  message(SEND_ERROR "the ABI differs from the baseline ${BASELINE}:\n${report}")
endif()

file(STRINGS ${CONSTANTS} expected)
foreach(constant IN LISTS expected)
  if(NOT constant IN_LIST constants)
    string(REGEX MATCH "#define [A-Z0-9_]+ " name "${constant}")
    set(now "now removed")
    foreach(current IN LISTS constants)
      string(FIND "${current}" "${name}" at)
      if(at EQUAL 0)
        set(now "now '${current}'")
      endif()
    endforeach()
    message(SEND_ERROR "a constant of gridquill.h changed: was '${constant}', ${now}")
    set(changes ON)
  endif()
endforeach()
if(NOT changes)
  message(STATUS "ABI as the baseline's, with any additions")
endif()
