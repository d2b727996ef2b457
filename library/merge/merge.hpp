// The merge routine the first worksheet of a merged workbook calls.
#pragma once

namespace gridquill::detail {

// Copies the merge input's worksheets, less the marked ones, to the output and closes
// the input.
void __CopiaSheet() noexcept;

}  // namespace gridquill::detail
