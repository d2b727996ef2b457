// Client styles: the checks in their order, the registration of the ID and the Style
// element composed in one piece and written at once.
#include "styles.hpp"

#include "../textutil/names.hpp"
#include "errors.hpp"
#include "merge_port.hpp"

using namespace gridquill::detail;

namespace {

// Appends a text of the record (or a default) escaped for an attribute. A style is
// written in its workbook's first phase, so texts are read in the current encoding.
StagingText &put(StagingText &out, std::string_view text, Encoding encoding) noexcept {
    append_escaped(out, text, Place::attribute, encoding);
    return out;
}

// One Border line for a side whose weight is set.
void border_line(StagingText &out, std::string_view side, std::string_view lineStyle, int weight,
                 std::string_view colorOption, Encoding encoding) noexcept {
    out.append("    <Border ss:Position=\"").append(side).append("\" ss:LineStyle=\"");
    put(out, lineStyle, encoding)
        .append("\" ss:Weight=\"")
        .append_int(weight)
        .append("\"")
        .append(colorOption)
        .append("/>\n");
}

// Composes the Style element with the record's defaults filled in, and writes it.
void write_style(WriterState &w, const xlsStyle &s, std::string_view id) noexcept {
    auto &out = w.staging;
    const Encoding encoding = w.settings.encoding;
    std::string_view horizontal = field_view(s.horizontal), vertical = field_view(s.vertical);
    out.assign("  <Style ss:ID=\"").append(id).append("\">\n   <Alignment ss:Horizontal=\"");
    put(out, horizontal.empty() ? "Left" : horizontal, encoding).append("\" ss:Vertical=\"");
    put(out, vertical.empty() ? "Bottom" : vertical, encoding).append("\"");
    if (s.indent != 0) out.append(" ss:Indent=\"").append_int(s.indent).append("\"");
    if (s.wrapText == '1') out.append(" ss:WrapText=\"1\"");
    if (s.verticalText == '1') out.append(" ss:VerticalText=\"1\"");
    if (s.rotate != 0) out.append(" ss:Rotate=\"").append_int(s.rotate).append("\"");
    out.append("/>\n");

    if (s.weightTop != 0 || s.weightBottom != 0 || s.weightLeft != 0 || s.weightRight != 0) {
        BoundedText<6 * sizeof s.borderColor + 16> color;
        if (!field_view(s.borderColor).empty()) {
            color.append(" ss:Color=\"");
            append_escaped(color, field_view(s.borderColor), Place::attribute, encoding);
            color.append("\"");
        }
        std::string_view line = field_view(s.lineStyle);
        if (line.empty()) line = "Continuous";
        out.append("   <Borders>\n");
        if (s.weightTop != 0) border_line(out, "Top", line, s.weightTop, color.view(), encoding);
        if (s.weightBottom != 0)
            border_line(out, "Bottom", line, s.weightBottom, color.view(), encoding);
        if (s.weightLeft != 0) border_line(out, "Left", line, s.weightLeft, color.view(), encoding);
        if (s.weightRight != 0)
            border_line(out, "Right", line, s.weightRight, color.view(), encoding);
        out.append("   </Borders>\n");
    }

    std::string_view fontName = field_view(s.fontName), fontColor = field_view(s.fontColor);
    if (!fontName.empty() || s.bold != '0' || s.italic != '0' || s.fontSize != 0 ||
        !fontColor.empty()) {
        out.append("   <Font ");
        if (!fontName.empty()) put(out.append("ss:FontName=\""), fontName, encoding).append("\" ");
        if (s.bold == '1') out.append("ss:Bold=\"1\" ");
        if (s.italic == '1') out.append("ss:Italic=\"1\" ");
        if (s.fontSize != 0) out.append("ss:Size=\"").append_int(s.fontSize).append("\" ");
        if (!fontColor.empty()) put(out.append("ss:Color=\""), fontColor, encoding).append("\" ");
        out.append("/>\n");
    }

    std::string_view interior = field_view(s.interiorColor), pattern = field_view(s.pattern);
    if (!interior.empty() || !pattern.empty()) {
        out.append("   <Interior");
        if (!interior.empty()) put(out.append(" ss:Color=\""), interior, encoding).append("\" ");
        put(out.append(" ss:Pattern=\""), pattern.empty() ? "Solid" : pattern, encoding)
            .append("\" ");
        std::string_view patternColor = field_view(s.patternColor);
        if (!patternColor.empty())
            put(out.append(" ss:PatternColor=\""), patternColor, encoding).append("\" ");
        out.append("/>\n");
    }

    std::string_view format = field_view(s.numberFormat);
    if (format.empty()) out.append("   <NumberFormat/>\n");
    else put(out.append("   <NumberFormat ss:Format=\""), format, encoding).append("\" />\n");
    out.append(s.isProtected == '1' ? "   <Protection ss:Protected=\"1\"/>\n"
                                    : "   <Protection ss:Protected=\"0\"/>\n");
    out.append("  </Style>\n");
    w.out.write(out.view());
}

// Refuses an overlong ID; the ID is shortened in the message so its end still fits.
int fail_too_long(WriterState &w, std::string_view id) noexcept {
    constexpr std::string_view head = "ID stile '";
    constexpr std::string_view tail = "' troppo lungo (al massimo 15 caratteri) in xlsAddStyle()\n";
    constexpr std::string_view cut = "...";
    constexpr std::size_t room =
        decltype(WriterState::errorText)::capacity - head.size() - tail.size();
    if (id.size() <= room) return fail(w, {head, id, tail});
    return fail(w, {head, id.substr(0, room - cut.size()), cut, tail});
}

int refuse_full(WriterState &w, std::string_view id) noexcept {
    return fail(w, {"Troppi stili: non c'e' posto per l'ID stile '", id, "' in xlsAddStyle()\n"});
}

}  // namespace

namespace gridquill::detail {

bool style_reference(const WriterState &w, std::string_view id, StyleName &written) noexcept {
    BoundedText<kMaxEscapedId + 1> escaped;
    BoundedText<kMaxStoredId + 1> seen;
    if (!append_escaped(escaped, id, Place::attribute, w.settings.encoding) ||
        !append_decoded(seen, escaped.view()) || !w.book.styleIds.contains(seen.view()))
        return false;
    written.clear();
    append_xml_name(written, seen.view());
    if (written.view() != seen.view() && written.size() <= kMaxStoredId &&
        !w.book.styleIds.contains(written.view()))
        written.assign(escaped.view());  // a merge input's ID, as the input writes it
    return true;
}

}  // namespace gridquill::detail

// Registers a client style under the argument's or the record's ID and writes its element.
extern "C" int xlsAddStyle(xlsStyle style, const char *styleId) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    std::string_view id = arg(styleId);
    if (id.empty()) id = field_view(style.id);
    if (id.empty()) return fail(w, {"Manca l'ID dello stile in xlsAddStyle()\n"});
    if (id.size() > kMaxStyleId) return fail_too_long(w, id);
    if (w.book.phase != PHASE_STYLES)
        return fail(w, {"Non si puo' aggiungere uno stile con 'xlsAddStyle()' a questo punto.\n"});
    // Registered as a reader sees it, written as an XML name; an ID that is not a name is
    // registered in that form too, so that no other ID can take it.
    BoundedText<kMaxEscapedId + 1> escaped;
    BoundedText<kMaxStoredId + 1> seen;
    StyleName written;
    append_escaped(escaped, id, Place::attribute, w.settings.encoding);
    append_decoded(seen, escaped.view());
    append_xml_name(written, seen.view());
    const bool renamed = written.view() != seen.view();
    if (renamed && w.book.styleIds.contains(written.view()))
        return fail(w, {"ID stile '", id, "' duplicato\n"});
    switch (w.book.styleIds.add(seen.view())) {
    case decltype(Workbook::styleIds)::Add::added:
        if (w.book.merge != nullptr) w.book.merge->writeHead(w);
        break;
    case decltype(Workbook::styleIds)::Add::duplicate:
        return fail(w, {"ID stile '", id, "' duplicato\n"});
    default: return refuse_full(w, id);
    }
    // A form longer than any registered ID is taken by no other.
    if (renamed && written.size() <= kMaxStoredId &&
        w.book.styleIds.add(written.view()) != decltype(Workbook::styleIds)::Add::added)
        return refuse_full(w, id);
    write_style(w, style, written.view());
    return kYes;
}
