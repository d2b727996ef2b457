// What a workbook carries besides its cells: the output through a client's stream, the
// document properties, and named ranges with the worksheet head they are written in.
#pragma once

#include <string_view>

#include "state.hpp"

namespace gridquill::detail {

// Opens a workbook to `path`, or to the client's function when `target` is given, and
// writes the prologue; xlsInit and xlsInitStream.
int start_workbook(const char *path, const char *author, const StreamTarget *target) noexcept;

// The DocumentProperties sequence, in its order.
inline constexpr std::string_view kPropertySequence[] = {
    "Title",      "Subject",   "Author",     "Keywords",  "Description",
    "LastAuthor", "Revision",  "AppName",    "TotalTime", "LastPrinted",
    "Created",    "LastSaved", "Pages",      "Words",     "Characters",
    "Category",   "PresentationFormat",      "Manager",   "Company",
    "Guid",       "HyperlinkBase",           "Bytes",     "Lines",
    "Paragraphs", "CharactersWithSpaces",    "Version"};

// Places in the DocumentProperties sequence of the two elements every workbook has.
constexpr int kLastAuthorOrder = 5;
constexpr int kVersionOrder = 25;

// Document properties: those set whose place in the DocumentProperties sequence comes
// before `order`, from where the last call stopped.
void write_properties_before(int order) noexcept;
// Forgets the properties once an open has written them.
void forget_properties() noexcept;
// The client's property `i` (0 to kPropertyCount - 1): its element's name and place in
// the DocumentProperties sequence.
struct PropertySlot {
    std::string_view name;
    int order;
};
PropertySlot property_slot(int i) noexcept;

// The workbook's Names element, once, when it has names (after the Styles or, in a merge,
// before the first copied worksheet).
void write_workbook_names() noexcept;
// A merge copied the input's own workbook Names start line: the client's names go in it.
void write_workbook_names_inside() noexcept;

// The open worksheet's head, when still due: Worksheet start, its Names, Table start.
void write_sheet_head() noexcept;
// The open worksheet's Names element, when it has names; the head's middle part, for a
// head that carries more (attributes of the Worksheet start).
void write_sheet_names() noexcept;

// Adds a name to the open worksheet while its head is due; `call` names the exported
// call in messages. Shared with the worksheet features that need a name (a filter).
int add_sheet_scope_name(std::string_view name, std::string_view refersTo, bool hidden,
                         std::string_view call) noexcept;

// The hidden name _FilterDatabase of the open worksheet's filter range, while its head is
// due (xlsAutoFilter).
int add_filter_name(int firstRow, int firstColumn, int lastRow, int lastColumn) noexcept;

}  // namespace gridquill::detail
