// Named ranges: the workbook's, written before its first worksheet, and the open
// worksheet's, written in its head.
#pragma once

#include <string_view>

#include "state.hpp"

namespace gridquill::detail {

// The workbook's Names element, once, when it has names (after the Styles or, in a merge,
// before the first copied worksheet).
void write_workbook_names(WriterState &w) noexcept;

// The open worksheet's head, when still due: Worksheet start, its Names, Table start.
void write_sheet_head(WriterState &w) noexcept;

// The hidden name _FilterDatabase of the open worksheet's filter range, while its head is
// due (xlsAutoFilter).
int add_filter_name(WriterState &w, const CellRange &range) noexcept;

}  // namespace gridquill::detail
