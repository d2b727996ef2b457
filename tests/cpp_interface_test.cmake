# The C++ interface test is built as C++17, the oldest standard gridquill.hpp supports.
set_target_properties(cpp_interface_test PROPERTIES CXX_STANDARD 17)
