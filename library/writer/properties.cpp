// Document properties: set before a workbook is opened, written by the open into the
// DocumentProperties element in the order the format fixes, or into a merge input's.
#include "properties.hpp"

#include "../textutil/names.hpp"
#include "errors.hpp"
#include "merge_port.hpp"

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

}  // namespace

void write_properties_before(WriterState &w, int order) noexcept {
    for (; w.book.propertiesCursor < kPropertyCount &&
           kProperties[w.book.propertiesCursor].order < order;
         ++w.book.propertiesCursor) {
        const auto &value = w.settings.properties[w.book.propertiesCursor];
        if (value.empty()) continue;
        std::string_view name = kProperties[w.book.propertiesCursor].name;
        w.out.write("  <");
        w.out.write(name);
        w.out.write(">");
        w.out.write(value.view());
        w.out.write("</");
        w.out.write(name);
        w.out.write(">\n");
    }
}

void forget_properties(WriterState &w) noexcept { w.settings.forget_properties(); }

PropertySlot property_slot(int i) noexcept { return {kProperties[i].name, kProperties[i].order}; }

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" int xlsSetDocumentProperty(const char *name, const char *value) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    std::string_view which = arg(name), text = arg(value);
    int index = 0;
    while (index < kPropertyCount && !same_ignoring_ascii_case(kProperties[index].name, which))
        ++index;
    if (index == kPropertyCount)
        return fail(w, {"Proprieta' '", which, "' sconosciuta in xlsSetDocumentProperty().\n"});
    std::string_view known = kProperties[index].name;
    if (text.size() > kMaxPropertyText)
        return fail(w, {"Valore troppo lungo (al massimo 255 byte) per la proprieta' '", known,
                        "' in xlsSetDocumentProperty().\n"});
    if (!keep_escaped(w.settings.properties[index], text, Place::content, w.settings.encoding))
        return fail(w, {"Valore troppo lungo per la proprieta' '", known,
                        "' in xlsSetDocumentProperty().\n"});
    return kYes;
}
