# Install test: `cmake --install` into a temporary prefix, then out-of-tree clients built
# against it through find_package(Gridquill) and through pkg-config (tests/install/).
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(install_flags "-Wall -Wextra -Wpedantic -Werror")
if(GRIDQUILL_SANITIZE)
  string(APPEND install_flags " -fsanitize=${GRIDQUILL_SANITIZE} -fno-omit-frame-pointer")
endif()
add_test(NAME install_clients
         COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
                 -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/install_clients
                 -DSOURCE_DIR=${CMAKE_CURRENT_SOURCE_DIR}/install
                 -DCC=${CMAKE_C_COMPILER} -DCXX=${CMAKE_CXX_COMPILER}
                 -DPYTHON=${Python3_EXECUTABLE} "-DFLAGS=${install_flags}"
                 -DVERSION=${PROJECT_VERSION}
                 -P ${CMAKE_CURRENT_SOURCE_DIR}/install/run.cmake)
set_tests_properties(install_clients PROPERTIES TIMEOUT 300)
