// Client styles: the form in the file of the style IDs cells, rows and columns name.
#pragma once

#include <string_view>

#include "state.hpp"

namespace gridquill::detail {

// The form in the file of the style ID a cell, row or column names; false when no style
// has that ID. An ID that is not an XML name is written in Office's _xHHHH_ form, unless it
// came so from a merge input, whose own bytes then stay.
bool style_reference(const WriterState &w, std::string_view id, StyleName &written) noexcept;

}  // namespace gridquill::detail
