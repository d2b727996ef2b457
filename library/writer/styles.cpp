// Client styles: the checks in their order, the registration of the ID and the Style
// element composed in one piece and written at once.
#include "../merge/merge.hpp"
#include "../textutil/names.hpp"
#include "state.hpp"

using namespace gridquill::detail;

namespace {

// Appends a text of the record (or a default) escaped for an attribute.
BoundedText<8192> &put(BoundedText<8192> &out, std::string_view text) noexcept {
    append_escaped(out, text, Place::attribute);
    return out;
}

// One Border line for a side whose weight is set.
void border_line(BoundedText<8192> &out, std::string_view side, std::string_view lineStyle,
                 int weight, std::string_view colorOption) noexcept {
    out.append("    <Border ss:Position=\"").append(side).append("\" ss:LineStyle=\"");
    put(out, lineStyle)
        .append("\" ss:Weight=\"")
        .append_int(weight)
        .append("\"")
        .append(colorOption)
        .append("/>\n");
}

// Composes the Style element with the record's defaults filled in, and writes it.
void write_style(const xlsStyle &s, std::string_view id) noexcept {
    auto &out = g.staging;
    std::string_view horizontal = field_view(s.horizontal), vertical = field_view(s.vertical);
    out.assign("  <Style ss:ID=\"").append(id).append("\">\n   <Alignment ss:Horizontal=\"");
    put(out, horizontal.empty() ? "Left" : horizontal).append("\" ss:Vertical=\"");
    put(out, vertical.empty() ? "Bottom" : vertical).append("\"");
    if (s.indent != 0) out.append(" ss:Indent=\"").append_int(s.indent).append("\"");
    if (s.wrapText == '1') out.append(" ss:WrapText=\"1\"");
    if (s.verticalText == '1') out.append(" ss:VerticalText=\"1\"");
    if (s.rotate != 0) out.append(" ss:Rotate=\"").append_int(s.rotate).append("\"");
    out.append("/>\n");

    if (s.weightTop != 0 || s.weightBottom != 0 || s.weightLeft != 0 || s.weightRight != 0) {
        BoundedText<6 * sizeof s.borderColor + 16> color;
        if (!field_view(s.borderColor).empty()) {
            color.append(" ss:Color=\"");
            append_escaped(color, field_view(s.borderColor), Place::attribute);
            color.append("\"");
        }
        std::string_view line = field_view(s.lineStyle);
        if (line.empty()) line = "Continuous";
        out.append("   <Borders>\n");
        if (s.weightTop != 0) border_line(out, "Top", line, s.weightTop, color.view());
        if (s.weightBottom != 0) border_line(out, "Bottom", line, s.weightBottom, color.view());
        if (s.weightLeft != 0) border_line(out, "Left", line, s.weightLeft, color.view());
        if (s.weightRight != 0) border_line(out, "Right", line, s.weightRight, color.view());
        out.append("   </Borders>\n");
    }

    std::string_view fontName = field_view(s.fontName), fontColor = field_view(s.fontColor);
    if (!fontName.empty() || s.bold != '0' || s.italic != '0' || s.fontSize != 0 ||
        !fontColor.empty()) {
        out.append("   <Font ");
        if (!fontName.empty()) put(out.append("ss:FontName=\""), fontName).append("\" ");
        if (s.bold == '1') out.append("ss:Bold=\"1\" ");
        if (s.italic == '1') out.append("ss:Italic=\"1\" ");
        if (s.fontSize != 0) out.append("ss:Size=\"").append_int(s.fontSize).append("\" ");
        if (!fontColor.empty()) put(out.append("ss:Color=\""), fontColor).append("\" ");
        out.append("/>\n");
    }

    std::string_view interior = field_view(s.interiorColor), pattern = field_view(s.pattern);
    if (!interior.empty() || !pattern.empty()) {
        out.append("   <Interior");
        if (!interior.empty()) put(out.append(" ss:Color=\""), interior).append("\" ");
        put(out.append(" ss:Pattern=\""), pattern.empty() ? "Solid" : pattern).append("\" ");
        std::string_view patternColor = field_view(s.patternColor);
        if (!patternColor.empty())
            put(out.append(" ss:PatternColor=\""), patternColor).append("\" ");
        out.append("/>\n");
    }

    std::string_view format = field_view(s.numberFormat);
    if (format.empty()) out.append("   <NumberFormat/>\n");
    else put(out.append("   <NumberFormat ss:Format=\""), format).append("\" />\n");
    out.append(s.isProtected == '1' ? "   <Protection ss:Protected=\"1\"/>\n"
                                    : "   <Protection ss:Protected=\"0\"/>\n");
    out.append("  </Style>\n");
    emit(out.view());
}

// Refuses an overlong ID; the ID is shortened in the message so its end still fits.
int fail_too_long(std::string_view id) noexcept {
    constexpr std::string_view head = "ID stile '";
    constexpr std::string_view tail = "' troppo lungo (al massimo 15 caratteri) in xlsAddStyle()\n";
    constexpr std::string_view cut = "...";
    constexpr std::size_t room = decltype(g.errorText)::capacity - head.size() - tail.size();
    if (id.size() <= room) return fail({head, id, tail});
    return fail({head, id.substr(0, room - cut.size()), cut, tail});
}

int refuse_full(std::string_view id) noexcept {
    return fail({"Troppi stili: non c'e' posto per l'ID stile '", id, "' in xlsAddStyle()\n"});
}

}  // namespace

namespace gridquill::detail {

bool style_reference(std::string_view id, StyleName &written) noexcept {
    BoundedText<kMaxEscapedId + 1> escaped;
    BoundedText<kMaxStoredId + 1> seen;
    if (!append_escaped(escaped, id, Place::attribute) || !append_decoded(seen, escaped.view()) ||
        !g.styleIds.contains(seen.view()))
        return false;
    written.clear();
    append_xml_name(written, seen.view());
    if (written.view() != seen.view() && written.size() <= kMaxStoredId &&
        !g.styleIds.contains(written.view()))
        written.assign(escaped.view());  // a merge input's ID, as the input writes it
    return true;
}

}  // namespace gridquill::detail

// Registers a client style under the argument's or the record's ID and writes its element.
extern "C" int xlsAddStyle(xlsStyle style, const char *styleId) noexcept {
    if (!attached()) return kNo;
    std::string_view id = arg(styleId);
    if (id.empty()) id = field_view(style.id);
    if (id.empty()) return fail({"Manca l'ID dello stile in xlsAddStyle()\n"});
    if (id.size() > kMaxStyleId) return fail_too_long(id);
    if (g.phase != PHASE_STYLES)
        return fail({"Non si puo' aggiungere uno stile con 'xlsAddStyle()' a questo punto.\n"});
    // Registered as a reader sees it, written as an XML name; an ID that is not a name is
    // registered in that form too, so that no other ID can take it.
    BoundedText<kMaxEscapedId + 1> escaped;
    BoundedText<kMaxStoredId + 1> seen;
    StyleName written;
    append_escaped(escaped, id, Place::attribute);
    append_decoded(seen, escaped.view());
    append_xml_name(written, seen.view());
    const bool renamed = written.view() != seen.view();
    if (renamed && g.styleIds.contains(written.view()))
        return fail({"ID stile '", id, "' duplicato\n"});
    switch (g.styleIds.add(seen.view())) {
    case decltype(g.styleIds)::Add::added: merge_write_head(); break;
    case decltype(g.styleIds)::Add::duplicate: return fail({"ID stile '", id, "' duplicato\n"});
    default: return refuse_full(id);
    }
    // A form longer than any registered ID is taken by no other.
    if (renamed && written.size() <= kMaxStoredId &&
        g.styleIds.add(written.view()) != decltype(g.styleIds)::Add::added)
        return refuse_full(id);
    write_style(style, written.view());
    return kYes;
}
