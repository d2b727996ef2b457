# The demo test runs the built gridquill_demo; it is told where the program is.
if(TARGET demo_test AND TARGET gridquill_demo)
  target_compile_definitions(demo_test PRIVATE GRIDQUILL_DEMO_PATH="$<TARGET_FILE:gridquill_demo>")
  add_dependencies(demo_test gridquill_demo)
endif()
