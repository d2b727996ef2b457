// Document properties, written by a workbook's open into its DocumentProperties element.
#pragma once

#include <string_view>

#include "state.hpp"

namespace gridquill::detail {

// The DocumentProperties sequence, in its order.
inline constexpr std::string_view kPropertySequence[] = {"Title",
                                                         "Subject",
                                                         "Author",
                                                         "Keywords",
                                                         "Description",
                                                         "LastAuthor",
                                                         "Revision",
                                                         "AppName",
                                                         "TotalTime",
                                                         "LastPrinted",
                                                         "Created",
                                                         "LastSaved",
                                                         "Pages",
                                                         "Words",
                                                         "Characters",
                                                         "Category",
                                                         "PresentationFormat",
                                                         "Manager",
                                                         "Company",
                                                         "Guid",
                                                         "HyperlinkBase",
                                                         "Bytes",
                                                         "Lines",
                                                         "Paragraphs",
                                                         "CharactersWithSpaces",
                                                         "Version"};

// Places in the DocumentProperties sequence of the two elements every workbook has.
constexpr int kLastAuthorOrder = 5;
constexpr int kVersionOrder = 25;

// The properties set whose place in the DocumentProperties sequence comes before `order`,
// from where the last call stopped.
void write_properties_before(WriterState &w, int order) noexcept;

// The client's property `i` (0 to kPropertyCount - 1): its element's name and place in
// the DocumentProperties sequence.
struct PropertySlot {
    std::string_view name;
    int order;
};
PropertySlot property_slot(int i) noexcept;

}  // namespace gridquill::detail
