// Cell references from the writer's position: A1 names up to column ZZ and R1C1 ranges
// relative to the next cell, in library-owned result buffers.
#include "state.hpp"

using namespace gridquill::detail;

namespace {

// Appends "[offset]" when the offset is not 0.
char *put_offset(char *o, long long offset) noexcept {
    if (offset == 0) return o;
    *o++ = '[';
    o = std::to_chars(o, o + 12, offset).ptr;
    *o++ = ']';
    return o;
}

}  // namespace

// A1 name of the next cell's position; null beyond ZZ, leaving the last text in place.
extern "C" const char *xlsGetPosition(void) noexcept {
    if (!attached()) return nullptr;
    WriterState &w = current();
    constexpr int kLastTwoLetterColumn = 26 * 27;  // ZZ
    int column = w.cells.currentColumn;
    if (column < 1 || column > kLastTwoLetterColumn) return nullptr;
    char *o = w.positionText;
    if (column > 26) *o++ = static_cast<char>('A' + (column - 1) / 26 - 1);
    *o++ = static_cast<char>('A' + (column - 1) % 26);
    o = std::to_chars(o, w.positionText + sizeof w.positionText - 1, w.cells.currentRow).ptr;
    *o = '\0';
    return w.positionText;
}

// R1C1 range from (row1, col1) to (row2, col2) relative to the next cell's position.
extern "C" const char *xlsGetRectangle(int row1, int col1, int row2, int col2) noexcept {
    if (!attached()) return "";
    WriterState &w = current();
    long long row = w.cells.currentRow, column = w.cells.currentColumn;
    char *o = w.rectangleText;
    *o++ = 'R';
    o = put_offset(o, row1 - row);
    *o++ = 'C';
    o = put_offset(o, col1 - column);
    *o++ = ':';
    *o++ = 'R';
    o = put_offset(o, row2 - row);
    *o++ = 'C';
    o = put_offset(o, col2 - column);
    *o = '\0';
    return w.rectangleText;
}
