// Worksheet end, shared by the next worksheet's start and by the workbook's close, and the
// pieces of it that the worksheet options add.
#pragma once

#include <string_view>

#include "state.hpp"

namespace gridquill::detail {

// Registers a worksheet name as a reader sees it (references replaced, UTF-8), compared
// with the names registered before without case, as readers compare them.
decltype(WriterState::sheetNames)::Add register_sheet_name(std::string_view seen) noexcept;

// Ends the open row, the table and writes the worksheet options of currentSheet.
void __ChiudiSheet() noexcept;

// The range in R1C1 form ("R2C1:R9C3", or "R2C1" for one cell); lastRow 0 taken as the
// last row written.
void append_range(BoundedText<8192> &out, const CellRange &range) noexcept;

// Inside Print: fit, scale and paper size.
void write_print_options(BoundedText<8192> &out) noexcept;
// Whether the worksheet carries <Selected/>: the active sheet named before the open, else
// the first visible one; one worksheet at most.
bool sheet_selected() noexcept;
// Inside WorksheetOptions, after Print: view options, panes, protection.
void write_sheet_options(BoundedText<8192> &out) noexcept;
// After WorksheetOptions: page breaks, validations, the autofilter, conditional formats.
void write_after_options() noexcept;

}  // namespace gridquill::detail
