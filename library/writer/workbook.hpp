// Opening a workbook, with its prologue, and closing it.
#pragma once

#include "state.hpp"

namespace gridquill::detail {

// Opens a workbook to `path`, or to the client's function `write` when given, and writes
// the prologue; xlsInit and xlsInitStream.
int start_workbook(WriterState &w, const char *path, const char *author,
                   xlsWriteFunction write = nullptr, void *context = nullptr,
                   bool stream = false) noexcept;

}  // namespace gridquill::detail
