// Worksheets: the start with its page setup completed, and the end with the options.
#include "sheet.hpp"

#include "../textutil/names.hpp"
#include "errors.hpp"
#include "merge_port.hpp"
#include "names.hpp"
#include "sheet_options.hpp"

namespace gridquill::detail {

namespace {

constexpr std::string_view kDefaultFooter = "Pagina &amp;P";

// Header or footer text escaped: the default when empty, else read as the page texts
// are, with the Latin-1 mode's cut to the field once converted.
template <std::size_t N>
void escape_page_text(BoundedText<kPageTextSize> &out, const char (&field)[N],
                      std::string_view fallback, Encoding encoding) noexcept {
    std::string_view text = field_view(field);
    out.clear();
    if (text.empty()) {
        out.append(fallback);
        return;
    }
    if (encoding == Encoding::latin1) {
        std::size_t i = 0, converted = 0;
        while (i < text.size()) {
            Unit u = next_unit(text, i, Place::attribute, Source::page, Encoding::latin1);
            std::size_t size = static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : u.in;
            if (converted + size > N - 1) break;
            converted += size;
            i += u.in;
        }
        text = text.substr(0, i);
    }
    append_text(out, text, Place::attribute, Source::page, encoding);
}

// A text of the record escaped for an attribute, read in the worksheet's encoding.
template <std::size_t N>
StagingText &put_field(StagingText &out, const char (&field)[N], Encoding encoding) noexcept {
    append_text(out, field_view(field), Place::attribute, Source::markup, encoding);
    return out;
}

// Every text of the record terminated inside its field.
template <std::size_t N>
void terminate_field(char (&field)[N]) noexcept {
    set_field(field, field_view(field));
}

// The escaped name with each character a sheet name may not hold (: \ / ? * [ ]), also
// one written as a reference, as '_': readers refuse or rename such a sheet.
void mend_sheet_name(BoundedText<kMaxEscapedSheetName + 1> &escaped) noexcept {
    constexpr std::string_view kForbidden = ":\\/?*[]";
    BoundedText<kMaxEscapedSheetName + 1> mended;
    std::string_view rest = escaped.view();
    while (!rest.empty()) {
        std::size_t n = rest[0] == '&' ? rest.find(';') + 1 : 1;  // escaped: references end
        std::string_view unit = rest.substr(0, n);
        BoundedText<8> seen;
        append_decoded(seen, unit);
        bool forbidden =
            seen.size() == 1 && kForbidden.find(seen.view()[0]) != std::string_view::npos;
        mended.append(forbidden ? std::string_view("_") : unit);
        rest.remove_prefix(unit.size());
    }
    escaped.assign(mended.view());
}

}  // namespace

decltype(Workbook::sheetNames)::Add register_sheet_name(WriterState &w,
                                                        std::string_view seen) noexcept {
    BoundedText<decltype(Workbook::sheetNames)::max_length + 1> key;
    if (!append_folded(key, seen)) return decltype(Workbook::sheetNames)::Add::too_long;
    return w.book.sheetNames.add(key.view());
}

void __ChiudiSheet(WriterState &w) noexcept {
    // A continued input sheet ends as the input's.
    if (w.book.merge != nullptr && w.book.merge->closeSheet(w)) return;
    write_sheet_head(w);  // a worksheet without columns or cells
    const xlsSheetSetup &s = w.sheet.setup;
    StagingText &out = w.staging;
    out.clear();
    if (w.cells.rowOpen) out.append("   </Row>\n");
    w.cells.rowOpen = false;
    out.append("  </Table>\n"
               "  <WorksheetOptions xmlns=\"urn:schemas-microsoft-com:office:excel\">\n"
               "   <PageSetup>\n");
    std::string_view headerMargin = field_view(s.headerMargin);
    std::string_view footerMargin = field_view(s.footerMargin);
    if (!headerMargin.empty()) {
        if (s.orientation == 'L') out.append("    <Layout x:Orientation=\"Landscape\"/>\n");
        if (s.orientation == 'P') out.append("    <Layout x:Orientation=\"Portrait\"/>\n");
    }
    out.append("    <Header ");
    if (!headerMargin.empty())
        put_field(out.append("x:Margin=\""), s.headerMargin, w.sheet.encoding).append("\" ");
    out.append(" x:Data=\"").append(w.sheet.pageHeader.view()).append("\"/>\n");
    if (!headerMargin.empty() && !footerMargin.empty()) {
        put_field(out.append("    <Footer x:Margin=\""), s.footerMargin, w.sheet.encoding)
            .append("\" x:Data=\"")
            .append(w.sheet.pageFooter.view())
            .append("\"/>\n");
    }
    put_field(out.append("    <PageMargins x:Bottom=\""), s.marginBottom, w.sheet.encoding)
        .append("\" x:Left=\"");
    put_field(out, s.marginLeft, w.sheet.encoding).append("\" x:Right=\"");
    put_field(out, s.marginRight, w.sheet.encoding).append("\" x:Top=\"");
    put_field(out, s.marginTop, w.sheet.encoding).append("\"/>\n   </PageSetup>\n   <Print>\n");
    write_print_options(w.sheet, out);
    if (!headerMargin.empty() && s.gridlines == '1') out.append("    <Gridlines/>\n");
    out.append("   </Print>\n");
    if (sheet_selected(w)) out.append("   <Selected/>\n");
    write_sheet_options(w.sheet, out);
    if (!w.sheet.protect)
        out.append("   <ProtectObjects>False</ProtectObjects>\n"
                   "   <ProtectScenarios>False</ProtectScenarios>\n");
    out.append("  </WorksheetOptions>\n");
    w.out.write(out.view());
    write_after_options(w);
    w.out.write(" </Worksheet>\n");
}

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" int xlsAddSheet(const char *name, xlsSheetSetup setup) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    std::string_view sheet = arg(name);
    if (sheet.empty()) sheet = field_view(setup.name);  // may fill its field: cut below
    BoundedText<sizeof setup.name> numbered;
    if (sheet.empty()) sheet = numbered.append("Sheet").append_int(w.book.sheetCount).view();
    sheet = sheet.substr(0, text_cut(sheet, kMaxSheetName, Source::markup, w.settings.encoding));
    // Written escaped, the characters readers refuse as '_'; a duplicate is a name a
    // reader would see as the same, case aside.
    BoundedText<kMaxEscapedSheetName + 1> escaped;
    BoundedText<kMaxStoredSheetName + 1> seen;
    append_escaped(escaped, sheet, Place::attribute, w.settings.encoding);
    mend_sheet_name(escaped);
    append_decoded(seen, escaped.view());
    const MergeHooks *merge = w.book.merge;
    const int turn = merge != nullptr ? merge->sheetTurn(w, seen.view()) : -1;
    switch (register_sheet_name(w, seen.view())) {
    case decltype(Workbook::sheetNames)::Add::added: break;
    case decltype(Workbook::sheetNames)::Add::full:
        return fail(
            w, {"Troppi fogli: non c'e' posto per il foglio '", sheet, "' in xlsAddSheet().\n"});
    default: return fail(w, {"Nome Sheet '", sheet, "' duplicato in xlsAddSheet().\n"});
    }

    if (w.book.phase > PHASE_STYLES) {
        __ChiudiSheet(w);
    } else if (merge == nullptr) {
        w.out.write(" </Styles>\n");
    }
    if (merge != nullptr) merge->copySheets(w, turn);
    write_workbook_names(w);

    BoundedText<kPageTextSize> header;
    header.append("Foglio Excel '").append(escaped.view()).append("' generato automaticamente");
    Sheet &sheetState = w.sheet;
    sheetState.reset();
    escape_page_text(sheetState.pageHeader, setup.header, header.view(), w.settings.encoding);
    escape_page_text(sheetState.pageFooter, setup.footer, kDefaultFooter, w.settings.encoding);
    sheetState.encoding = w.settings.encoding;
    for (auto *margin : {&setup.headerMargin, &setup.footerMargin, &setup.marginTop,
                         &setup.marginBottom, &setup.marginLeft, &setup.marginRight})
        terminate_field(*margin);
    std::string_view top = field_view(setup.marginTop);
    if (top.empty() || top == "0") set_field(setup.marginTop, "0.1");
    sheetState.setup = setup;
    sheetState.name.assign(escaped.view());
    sheetState.headPending = true;  // written by the first column, cell or the sheet's end
    w.book.sheetCount++;
    w.cells.reset();
    w.book.phase = PHASE_SHEET;
    if (merge != nullptr) merge->sheetStarted(w);
    return kYes;
}
