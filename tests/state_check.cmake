# All mutable library state lives in the writer states that current() reaches: the library
# holds no writable data but the thread-local pointers to them, the registry of live contexts
# (and what the toolchain adds), and every exported call asks attached() before it reaches
# its state (the cell calls ask attached_already() and hand a thread's first call to a
# function that asks attached()).
if(CMAKE_SCRIPT_MODE_FILE)  # run by the test: -DNM -DLIBRARY -DSOURCES
  cmake_policy(SET CMP0057 NEW)
  set(allowed gridquill::detail::current_state "gridquill::detail::(anonymous namespace)::selected"
      "gridquill::detail::(anonymous namespace)::own"
      # the registry of the contexts clients made, which tells a live one from any pointer
      "gridquill::detail::(anonymous namespace)::liveContexts"
      "gridquill::detail::(anonymous namespace)::selectedSlot"
      __tls_guard __dso_handle completed.0
      __TMC_END__ DW.ref.__gxx_personality_v0)
  execute_process(COMMAND ${NM} -C -f sysv ${LIBRARY} OUTPUT_VARIABLE listing RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
  endif()
  string(REGEX MATCHALL "[^\n]+\\|[ \t]*\\.t?(data|bss)[ \t]*(\n|$)" writable "${listing}")
  foreach(line IN LISTS writable)
    string(REGEX REPLACE " *\\|.*" "" name "${line}")
    if(NOT name IN_LIST allowed)
      list(APPEND unexpected "${name}")
    endif()
  endforeach()
  if(unexpected)
    message(FATAL_ERROR "writable data outside the writer state: ${unexpected}")
  endif()

  file(GLOB_RECURSE sources ${SOURCES}/*.cpp)
  foreach(source IN LISTS sources)
    file(READ ${source} text)
    string(REPLACE ";" "`" text "${text}")  # no list separators inside the bodies
    # Each exported definition, from its extern "C" to the closing brace: on its line, or
    # at the start of a later line.
    string(REGEX MATCHALL
           "extern \"C\"[^`{]*\\)[ \n]*noexcept {([^\n]*}\n|[^\n]*\n([^}\n][^\n]*\n|\n)*})"
           bodies "${text}")
    foreach(body IN LISTS bodies)
      string(REGEX MATCH "[A-Za-z0-9_]+\\(" name "${body}")
      # The two context calls that reach a state only through refuse_context(), and
      # xlsVersion, which reaches none.
      if(NOT body MATCHES "attached(_already)?\\(\\)" AND
         NOT name MATCHES "^xls((Get|Select)Context|Version)\\($")
        list(APPEND unguarded "${name}")
      endif()
    endforeach()
  endforeach()
  if(unguarded)
    message(FATAL_ERROR "exported calls that do not ask attached() first: ${unguarded}")
  endif()
  return()
endif()

# Sanitizers and coverage add writable data of their own.
if(NOT GRIDQUILL_SANITIZE AND NOT CMAKE_CXX_FLAGS MATCHES "coverage")
  find_program(GRIDQUILL_NM NAMES nm REQUIRED)
  add_test(NAME state_in_writer_state
           COMMAND ${CMAKE_COMMAND} -DNM=${GRIDQUILL_NM} -DLIBRARY=$<TARGET_FILE:gridquill>
                   -DSOURCES=${PROJECT_SOURCE_DIR}/library -P ${CMAKE_CURRENT_LIST_FILE})
endif()
