// The merge's hooks in the writer: where a merged workbook's calls meet its input.
#pragma once

#include <string_view>

namespace gridquill::detail {

struct MergeInput;
void free_merge_input(MergeInput *m) noexcept;

// The input's head (up to the end of its styles) and the built-in styles it lacks, when
// not yet written: before the first style a client adds.
void merge_write_head() noexcept;

// Before xlsAddSheet checks a name (as a reader sees it): the input's sheets that stay
// count as names of the workbook. The input sheet that the new one replaces or continues,
// -1 for a sheet of the client's own.
int merge_sheet_turn(std::string_view seen) noexcept;

// Copies the input up to the place of the sheet being started (`turn` as above): the
// Styles end at the first sheet, the input's sheets before it less the marked ones.
void __CopiaSheet(int turn) noexcept;

// After xlsAddSheet has set up a sheet that continues an input sheet: its rows follow.
void merge_sheet_started() noexcept;

// The end of a continued sheet: the input's rest of it. False for any other sheet.
bool merge_close_sheet() noexcept;

// xlsClose of a merged workbook: the input after its sheets, up to its end. False when
// there is no input to finish from.
bool merge_finish() noexcept;

}  // namespace gridquill::detail
