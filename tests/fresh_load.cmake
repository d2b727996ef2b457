# Cases about the state right after loading: one process per case, which CTest gives to
# discovered GoogleTest cases.
add_executable(fresh_load ${CMAKE_CURRENT_SOURCE_DIR}/fresh_load.cpp)
target_link_libraries(fresh_load PRIVATE gridquill_test_support GTest::gtest_main)
gtest_discover_tests(fresh_load WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                     DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
