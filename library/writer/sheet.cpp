// Worksheets: the start with its page setup completed, and the end with the options.
#include "sheet.hpp"

#include "../merge/merge.hpp"
#include "../textutil/textutil.hpp"
#include "state.hpp"

namespace gridquill::detail {

namespace {

constexpr std::string_view kDefaultFooter = "Pagina &amp;P";

// Header or footer text: the default when empty, else its UTF-8 form cut to the field.
template <std::size_t N>
void complete_page_text(char (&field)[N], std::string_view fallback) noexcept {
    std::string_view text = field_view(field);
    if (text.empty()) {
        set_field(field, fallback);
        return;
    }
    char utf8[kServiceBufferSize];
    std::size_t n = latin1_to_utf8(text, utf8);
    std::string_view converted(utf8, n);
    set_field(field, converted.substr(0, safe_cut(converted, N - 1)));
}

// Every text of the record terminated inside its field.
template <std::size_t N>
void terminate_field(char (&field)[N]) noexcept {
    set_field(field, field_view(field));
}

}  // namespace

void __ChiudiSheet() noexcept {
    const xlsSheetSetup &s = g.currentSheet;
    BoundedText<8192> &out = g.staging;
    out.clear();
    if (g.rowOpen) out.append("   </Row>\n");
    g.rowOpen = kNo;
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
    if (!headerMargin.empty()) out.append("x:Margin=\"").append(headerMargin).append("\" ");
    out.append(" x:Data=\"").append(field_view(s.header)).append("\"/>\n");
    if (!headerMargin.empty() && !footerMargin.empty())
        out.append("    <Footer x:Margin=\"")
            .append(footerMargin)
            .append("\" x:Data=\"")
            .append(field_view(s.footer))
            .append("\"/>\n");
    out.append("    <PageMargins x:Bottom=\"")
        .append(field_view(s.marginBottom))
        .append("\" x:Left=\"")
        .append(field_view(s.marginLeft))
        .append("\" x:Right=\"")
        .append(field_view(s.marginRight))
        .append("\" x:Top=\"")
        .append(field_view(s.marginTop))
        .append("\"/>\n   </PageSetup>\n   <Print>\n");
    if (!headerMargin.empty() && s.gridlines == '1') out.append("    <Gridlines/>\n");
    out.append("   </Print>\n"
               "   <Selected/>\n"
               "   <ProtectObjects>False</ProtectObjects>\n"
               "   <ProtectScenarios>False</ProtectScenarios>\n"
               "  </WorksheetOptions>\n"
               " </Worksheet>\n");
    emit(out.view());
}

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" int xlsAddSheet(const char *name, xlsSheetSetup setup) noexcept {
    if (!arg(name).empty()) set_field(setup.name, arg(name));
    terminate_field(setup.name);  // also cuts a record name that fills its field
    if (setup.name[0] == '\0') {
        BoundedText<sizeof setup.name> numbered;
        numbered.append("Sheet").append_int(g.sheetCount);
        set_field(setup.name, numbered.view());
    }
    std::string_view sheet = field_view(setup.name);
    switch (g.sheetNames.add(sheet)) {
    case decltype(g.sheetNames)::Add::added: break;
    case decltype(g.sheetNames)::Add::full:
        return fail({"Troppi fogli: non c'e' posto per il foglio '", sheet,
                     "' in xlsAddSheet().\n"});
    default: return fail({"Nome Sheet '", sheet, "' duplicato in xlsAddSheet().\n"});
    }

    if (g.phase > PHASE_STYLES) {
        __ChiudiSheet();
    } else {
        emit(" </Styles>\n");
        if (g.mergeMode) __CopiaSheet();
    }

    BoundedText<sizeof setup.header> header;
    header.append("Foglio Excel '").append(sheet).append("' generato automaticamente");
    complete_page_text(setup.header, header.view());
    complete_page_text(setup.footer, kDefaultFooter);
    for (auto *margin : {&setup.headerMargin, &setup.footerMargin, &setup.marginTop,
                         &setup.marginBottom, &setup.marginLeft, &setup.marginRight})
        terminate_field(*margin);
    std::string_view top = field_view(setup.marginTop);
    if (top.empty() || top == "0") set_field(setup.marginTop, "0.1");
    g.currentSheet = setup;
    g.sheetCount++;

    g.staging.assign(" <Worksheet ss:Name=\"")
        .append(sheet)
        .append("\" >\n  <Table ss:ExpandedColumnCount=\"256\" x:FullColumns=\"1\" "
                "x:FullRows=\"1\">\n");
    emit(g.staging.view());
    g.currentRow = 1;
    g.currentColumn = 1;
    g.lastRow = 0;
    g.rowOpen = kNo;
    g.pendingRowAttrs.clear();
    g.phase = PHASE_SHEET;
    return kYes;
}
