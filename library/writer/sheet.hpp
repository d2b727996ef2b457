// Worksheet end, shared by the next worksheet's start and by the workbook's close.
#pragma once

#include <string_view>

#include "state.hpp"

namespace gridquill::detail {

// Registers a worksheet name as a reader sees it (references replaced, UTF-8), compared
// with the names registered before without case, as readers compare them.
decltype(Workbook::sheetNames)::Add register_sheet_name(WriterState &w,
                                                        std::string_view seen) noexcept;

// Ends the open row and the table, and writes the worksheet's options.
void __ChiudiSheet(WriterState &w) noexcept;

}  // namespace gridquill::detail
