// Worksheet end, shared by the next worksheet's start and by the workbook's close.
#pragma once

namespace gridquill::detail {

// Ends the open row, the table and writes the worksheet options of currentSheet.
void __ChiudiSheet() noexcept;

}  // namespace gridquill::detail
