# A C99 client built with strict warnings against the public header and the library,
# run in a folder of its own.
add_executable(c_client ${CMAKE_CURRENT_SOURCE_DIR}/c_client.c)
set_target_properties(c_client PROPERTIES C_STANDARD 99 C_STANDARD_REQUIRED ON C_EXTENSIONS OFF)
target_compile_options(c_client PRIVATE -std=c99 -Wall -Wextra -Wpedantic -Werror)
target_link_libraries(c_client PRIVATE gridquill EXPAT::EXPAT)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/c_client_run)
add_test(NAME c_client COMMAND c_client WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/c_client_run)
