// Document properties: set before a workbook is opened, written by the open into the
// DocumentProperties element in the order the format fixes, or into a merge input's.
#include "../textutil/escape.hpp"
#include "extras.hpp"

namespace gridquill::detail {

namespace {

// The DocumentProperties sequence, in its order.
constexpr std::string_view kSequence[] = {
    "Title",      "Subject",   "Author",     "Keywords",  "Description",
    "LastAuthor", "Revision",  "AppName",    "TotalTime", "LastPrinted",
    "Created",    "LastSaved", "Pages",      "Words",     "Characters",
    "Category",   "PresentationFormat",      "Manager",   "Company",
    "Guid",       "HyperlinkBase",           "Bytes",     "Lines",
    "Paragraphs", "CharactersWithSpaces",    "Version"};
static_assert(kSequence[kLastAuthorOrder] == "LastAuthor" && kSequence[kVersionOrder] == "Version");

// The properties a client sets, each with its place in that sequence.
struct Property {
    std::string_view name;
    int order;
};
constexpr Property kProperties[kPropertyCount] = {
    {"Title", 0},     {"Subject", 1}, {"Keywords", 3}, {"Description", 4},
    {"Category", 15}, {"Manager", 17}, {"Company", 18}};

enum ElementPlace : int { before_element = 0, inside_element = 1, after_element = 2 };

bool same_ignoring_case(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
        if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
        if (x != y) return false;
    }
    return true;
}

// Place in the sequence of the element a line starts, -1 when none is known.
int order_of_line(std::string_view piece) noexcept {
    std::size_t at = piece.find('<');
    if (at == std::string_view::npos) return -1;
    std::string_view rest = piece.substr(at + 1);
    std::size_t end = rest.find_first_of(" />");
    std::string_view element = rest.substr(0, end);
    for (int i = 0; i < static_cast<int>(std::size(kSequence)); ++i)
        if (kSequence[i] == element) return i;
    return -1;
}

bool any_property() noexcept {
    for (const auto &value : g.properties)
        if (!value.empty()) return true;
    return false;
}

}  // namespace

void write_properties_before(int order) noexcept {
    for (; g.propertiesCursor < kPropertyCount && kProperties[g.propertiesCursor].order < order;
         ++g.propertiesCursor) {
        const auto &value = g.properties[g.propertiesCursor];
        if (value.empty()) continue;
        std::string_view name = kProperties[g.propertiesCursor].name;
        emit("  <");
        emit(name);
        emit(">");
        emit(value.view());
        emit("</");
        emit(name);
        emit(">\n");
    }
}

void forget_properties() noexcept {
    for (auto &value : g.properties) value.clear();
}

void copy_prologue_line(std::string_view piece) noexcept {
    constexpr auto npos = std::string_view::npos;
    switch (g.propertiesPlace) {
    case before_element:
        if (piece.find("<DocumentProperties") != npos) {
            g.propertiesPlace = inside_element;
        } else if (any_property() &&
                   (piece.find("<CustomDocumentProperties") != npos ||
                    piece.find("<OfficeDocumentSettings") != npos ||
                    piece.find("<ExcelWorkbook") != npos || piece.find("<Styles") != npos)) {
            emit(" <DocumentProperties xmlns=\"urn:schemas-microsoft-com:office:office\">\n");
            write_properties_before(kVersionOrder + 1);
            emit(" </DocumentProperties>\n");
            g.propertiesPlace = after_element;
        }
        break;
    case inside_element: {
        if (piece.find("</DocumentProperties>") != npos) {
            write_properties_before(kVersionOrder + 1);
            g.propertiesPlace = after_element;
            break;
        }
        int order = order_of_line(piece);
        if (order < 0) break;
        write_properties_before(order);
        for (int i = 0; i < kPropertyCount; ++i)
            if (kProperties[i].order == order && !g.properties[i].empty()) return;  // replaced
        break;
    }
    default: break;
    }
    emit(piece);
}

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" int xlsSetDocumentProperty(const char *name, const char *value) noexcept {
    if (!attached()) return kNo;
    std::string_view which = arg(name), text = arg(value);
    int index = 0;
    while (index < kPropertyCount && !same_ignoring_case(kProperties[index].name, which)) ++index;
    if (index == kPropertyCount)
        return fail({"Proprieta' '", which, "' sconosciuta in xlsSetDocumentProperty().\n"});
    std::string_view known = kProperties[index].name;
    if (text.size() > kMaxPropertyText)
        return fail({"Valore troppo lungo (al massimo 255 byte) per la proprieta' '", known,
                     "' in xlsSetDocumentProperty().\n"});
    auto &stored = g.properties[index];
    stored.clear();
    if (!append_escaped(stored, text, Place::content)) {
        stored.clear();
        return fail({"Valore troppo lungo per la proprieta' '", known,
                     "' in xlsSetDocumentProperty().\n"});
    }
    return kYes;
}
