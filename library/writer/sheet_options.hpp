// What a worksheet writes after its table, from the options kept while it is open.
#pragma once

#include "state.hpp"

namespace gridquill::detail {

// The range in R1C1 form ("R2C1:R9C3", or "R2C1" for one cell); lastRow 0 taken as the
// last row written.
void append_range(const WriterState &w, StagingText &out, const CellRange &range) noexcept;

// Inside Print: fit, scale and paper size.
void write_print_options(const Sheet &sheet, StagingText &out) noexcept;
// Whether the worksheet carries <Selected/>: the active sheet named before the open, else
// the first visible one; one worksheet at most.
bool sheet_selected(WriterState &w) noexcept;
// Inside WorksheetOptions, after Print: view options, panes, protection.
void write_sheet_options(const Sheet &sheet, StagingText &out) noexcept;
// After WorksheetOptions: page breaks, validations, the autofilter, conditional formats.
void write_after_options(WriterState &w) noexcept;

}  // namespace gridquill::detail
