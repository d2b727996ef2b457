// The link and comment given for the next cell, written with it.
#pragma once

#include "state.hpp"

namespace gridquill::detail {

// The pending link's attributes, put at o (at most their bounds).
char *put_link(const WriterState &w, char *o) noexcept;
// The pending comment, if any, and the cell's end tag; the extras are then spent.
void end_cell_with_comment(WriterState &w) noexcept;

}  // namespace gridquill::detail
