// Document properties: set before a workbook is opened, written by the open into the
// DocumentProperties element in the order the format fixes, or into a merge input's.
#include "../textutil/escape.hpp"
#include "extras.hpp"

namespace gridquill::detail {

namespace {

static_assert(kPropertySequence[kLastAuthorOrder] == "LastAuthor" &&
              kPropertySequence[kVersionOrder] == "Version");

// The properties a client sets, each with its place in that sequence.
struct Property {
    std::string_view name;
    int order;
};
constexpr Property kProperties[kPropertyCount] = {
    {"Title", 0},     {"Subject", 1}, {"Keywords", 3}, {"Description", 4},
    {"Category", 15}, {"Manager", 17}, {"Company", 18}};

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

PropertySlot property_slot(int i) noexcept { return {kProperties[i].name, kProperties[i].order}; }

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
