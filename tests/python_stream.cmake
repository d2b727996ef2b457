# Python's init_stream writes to a file object the bytes a path gets.
if(CMAKE_SCRIPT_MODE_FILE)  # run by the test: -DPYTHON -DBINDING -DLIBRARY -DOUT
  set(script [=[
import io, re, sys
sys.path.insert(0, sys.argv[1])
from gridquill import Gridquill
def write(gq, start):
    gq.set_property("Title", "Vendite")
    start()
    gq.add_name("Tasso", "=Dati!R1C2")
    gq.add_sheet("Dati")
    gq.print_titles(1, 1)
    for i in range(30000):
        gq.cell("riga %d" % i); gq.new_line()
    gq.close()
gq, memory = Gridquill(sys.argv[2]), io.BytesIO()
write(gq, lambda: gq.init(sys.argv[3], "P"))
write(gq, lambda: gq.init_stream(memory, "P"))
created = re.compile(rb"<Created>[^<]*</Created>")
sys.exit(created.sub(b"", open(sys.argv[3], "rb").read()) != created.sub(b"", memory.getvalue()))
]=])
  execute_process(COMMAND ${PYTHON} -c "${script}" ${BINDING} ${LIBRARY} ${OUT}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the stream differs from the file, or the script failed (${rc}):\n${out}${err}")
  endif()
  return()
endif()

find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_test(NAME python_stream
         COMMAND ${CMAKE_COMMAND} -DPYTHON=${Python3_EXECUTABLE}
                 -DBINDING=${PROJECT_SOURCE_DIR}/examples/python
                 -DLIBRARY=$<TARGET_FILE:gridquill> -DOUT=${CMAKE_CURRENT_BINARY_DIR}/python_stream.xml
                 -P ${CMAKE_CURRENT_LIST_FILE})
set_tests_properties(python_stream PROPERTIES ENVIRONMENT "${python_env}")
