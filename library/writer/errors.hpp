// The error convention: the message into the state's error text, printed on stderr, and
// the failure result 0; and the refusals several calls share.
#pragma once

#include <initializer_list>
#include <string_view>

#include "state.hpp"

namespace gridquill::detail {

// The message, printed with "%s"; 0.
int fail(WriterState &w, std::initializer_list<std::string_view> parts) noexcept;
// The same for what fails to open or write: the message, then perror's reason for errno.
int fail_open(WriterState &w, std::initializer_list<std::string_view> parts) noexcept;
// Forgets the last failure, as an open does.
void clear_error(WriterState &w) noexcept;

// A worksheet call made while no worksheet is open.
[[gnu::cold]] int refuse_no_sheet(WriterState &w, std::string_view call) noexcept;

}  // namespace gridquill::detail
