# The package writes to a binary file object the bytes a path gets.
if(CMAKE_SCRIPT_MODE_FILE)  # run by the test: -DPYTHON -DOUT
  set(script [=[
import io, re, sys
import gridquill
def write(target):
    with gridquill.Workbook(target, "P", properties={"Title": "Vendite"}) as book:
        book.name("Tasso", "=Dati!R1C2")
        book.sheet("Dati")
        book.print_titles(1, 1)
        book.write_rows(("riga %d" % i,) for i in range(30000))
memory = io.BytesIO()
write(sys.argv[1])
write(memory)
created = re.compile(rb"<Created>[^<]*</Created>")
sys.exit(created.sub(b"", open(sys.argv[1], "rb").read()) != created.sub(b"", memory.getvalue()))
]=])
  execute_process(COMMAND ${PYTHON} -c "${script}" ${OUT}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the stream differs from the file, or the script failed (${rc}):\n${out}${err}")
  endif()
  return()
endif()

if(NOT GRIDQUILL_BUILD_PYTHON)
  return()
endif()
add_test(NAME python_stream
         COMMAND ${CMAKE_COMMAND} -DPYTHON=${Python3_EXECUTABLE}
                 -DOUT=${CMAKE_CURRENT_BINARY_DIR}/python_stream.xml
                 -P ${CMAKE_CURRENT_LIST_FILE})
set_tests_properties(python_stream PROPERTIES ENVIRONMENT "${python_env}")
