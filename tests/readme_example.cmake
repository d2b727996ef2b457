# The README's minimal client: compiled as C99, run, and checked to be the README's text.
add_executable(readme_example ${PROJECT_SOURCE_DIR}/examples/minimal.c)
set_target_properties(readme_example PROPERTIES C_STANDARD 99 C_EXTENSIONS OFF)
target_link_libraries(readme_example PRIVATE gridquill)
add_test(NAME readme_example COMMAND readme_example WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
add_test(NAME readme_example_in_readme
         COMMAND ${CMAKE_COMMAND} -DREADME=${PROJECT_SOURCE_DIR}/README.md
                 -DEXAMPLE=${PROJECT_SOURCE_DIR}/examples/minimal.c
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/readme_check.cmake.script)
# The worksheet features example, whose workbook docs/pictures.sh renders: C99, run, and
# quoted whole in its documentation page.
add_executable(features_example ${PROJECT_SOURCE_DIR}/examples/features.c)
set_target_properties(features_example PROPERTIES C_STANDARD 99 C_EXTENSIONS OFF)
target_link_libraries(features_example PRIVATE gridquill)
add_test(NAME features_example COMMAND features_example
         WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
add_test(NAME features_example_in_docs
         COMMAND ${CMAKE_COMMAND} -DREADME=${PROJECT_SOURCE_DIR}/docs/worksheet-features.md
                 -DEXAMPLE=${PROJECT_SOURCE_DIR}/examples/features.c
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/readme_check.cmake.script)
