# The ABI check catches what it must: a stand-in library (probe.c) is built from gridquill.h,
# its ABI taken as the baseline, then rebuilt with a record, a call or a constant changed.
# Run with -DCHECK=abi/check.cmake -DHEADER=gridquill.h -DPROBE=probe.c -DCC -DWORK.
cmake_minimum_required(VERSION 3.25)
find_program(ABIDIFF abidiff)
if(NOT ABIDIFF)
  message("SKIPPED: abidiff is not installed (Debian: apt-get install abigail-tools)")
  return()
endif()
file(REMOVE_RECURSE ${WORK})
file(READ ${HEADER} header)

# A library from the header with `from` replaced by `to`, built with the extra flags.
function(probe name from to)
  string(REPLACE "${from}" "${to}" changed "${header}")
  if(changed STREQUAL header AND NOT from STREQUAL "")
    message(FATAL_ERROR "the header no longer holds '${from}': update this test")
  endif()
  file(WRITE ${WORK}/${name}/gridquill.h "${changed}")
  execute_process(COMMAND ${CC} -g -shared -fPIC ${ARGN} -I${WORK}/${name} ${PROBE}
                          -o ${WORK}/${name}/libprobe.so RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "could not build the probe ${name}")
  endif()
endfunction()

set(args -DHEADERS=${WORK}/baseline -DBASELINE=${WORK}/probe.abi
    -DCONSTANTS=${WORK}/constants.txt -DCC=${CC})
probe(baseline "" "")
execute_process(COMMAND ${CMAKE_COMMAND} -DLIBRARY=${WORK}/baseline/libprobe.so ${args}
                        -DREGENERATE=ON -P ${CHECK})

# name | change to the header | extra flags | whether the check passes | what it must say
probe(same "" "")
probe(added_call "" "" -DADDED_CALL)
probe(record "char reserved2[3];" "char reserved2[7];")
probe(removed_call "" "" -DNO_VALIDATION)
probe(constant "#define XLS_MAX_ROWS 1048576" "#define XLS_MAX_ROWS 2097152")
foreach(case same:0:baseline added_call:0:baseline record:1:xlsStyle
        removed_call:1:xlsAddValidation constant:1:XLS_MAX_ROWS)
  string(REPLACE ":" ";" case ${case})
  list(GET case 0 name)
  list(GET case 1 fails)
  list(GET case 2 says)
  string(REPLACE "-DHEADERS=${WORK}/baseline" "-DHEADERS=${WORK}/${name}" case_args "${args}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DLIBRARY=${WORK}/${name}/libprobe.so ${case_args}
                          -P ${CHECK}
                  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL fails OR NOT out MATCHES "${says}")
    message(SEND_ERROR "case ${name}: the check returned ${status}, not ${fails}, "
                       "or did not name ${says}:\n${out}")
  endif()
endforeach()
