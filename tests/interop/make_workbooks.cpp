// Writes the workbooks that the interoperability test opens in LibreOffice: a styled
// two-sheet report (report.xml), a merge of it with one sheet dropped (merged.xml), and
// formulas built from the reported position after breaks and merges (position.xml), and
// the same texts in each client encoding (texts-*.xml).
#include <cstdio>
#include <cstring>
#include <string>

#include "gridquill.hpp"

namespace gq = gridquill;

namespace {

// Styles in this order on purpose: "bare" (no format) follows "day", and "solid" (a
// "Solid" pattern without colour) follows "head", to show how a reader takes them.
void report() {
    gq::Workbook wb("report.xml", "Interop");
    wb.style(gq::Style("money").number_format("#,##0.00"));
    wb.style(gq::Style("day").number_format("yyyy\\-mm\\-dd"));
    wb.style(gq::Style("bare").number_format(""));
    wb.style(gq::Style("head").bold().size(14).horizontal("Center").fill("#DDEEFF").border_bottom(2));
    wb.style(gq::Style("solid").pattern("Solid"));

    wb.sheet("Vendite").column(1, 120);
    wb.cell("Riepilogo vendite 2024", gq::CellOptions().style("head").merge(2));
    wb.next_row();
    wb.cell("Mese", "head").cell("Importo", "head").cell("Chiuso il", "head");
    const struct {
        const char *month;
        double amount;
        gq::DateTime closed;
    } months[] = {{"Gennaio", 1250.5, {2024, 1, 31}},
                  {"Febbraio", 980, {2024, 2, 29}},
                  {"Marzo", 0.1, {2024, 3, 28, 18, 30}}};
    for (const auto &m : months) {
        wb.next_row();
        wb.cell(m.month).cell(m.amount, "money").cell(m.closed, "day");
    }
    wb.next_row();
    wb.cell("Totale", "head");
    char sum[64];
    std::string_view above = wb.range(3, 2, 5, 2);
    std::snprintf(sum, sizeof sum, "=SUM(%.*s)", static_cast<int>(above.size()), above.data());
    wb.cell(0, gq::CellOptions().style("money").formula(sum));
    wb.next_row();
    wb.cell("Qualit\xc3\xa0 & <prezzo> \xc3\xa8 ok", gq::CellOptions().merge(0, 1));
    wb.cell(1e20).cell(1e-7);
    wb.next_row();
    wb.cell(-42, gq::CellOptions().skip(1));

    wb.sheet("R&amp;D", gq::SheetSetup().portrait().margins("2", "1", "1", "1"));
    wb.cell("Doppio del totale").cell(0, gq::CellOptions().formula("=Vendite!R6C2*2"));
    wb.next_row();
    wb.cell("Data senza stile").cell(gq::DateTime(2024, 1, 31, 12));
    wb.next_row();
    wb.cell("Data breve").cell(gq::DateTime(2024, 1, 31), "date");
    wb.next_row();
    wb.cell("Senza formato").cell(45000, "bare");
    wb.next_row();
    wb.cell("Solid senza colore", "solid");
    wb.close();
}

// The report again through the merge: its styles and "Vendite" copied, "R&amp;D" left
// out, a style and a sheet of the merge's own added.
void merged() {
    auto wb = gq::Workbook::merge("report.xml", "merged.xml");
    wb.style(gq::Style("nuovo").italic());
    wb.drop_sheet("R&amp;D");
    wb.sheet("Aggiunto");
    wb.cell("Dopo la fusione", "nuovo").cell(12.5, "money");
    wb.close();
}

// One sheet per case; its last cell, written at the reported position, sums a range
// given from that position: A1 (a probe for 1001) or the column above (a total).
void position() {
    const struct {
        const char *sheet;
        void (*calls)();
        int row1, col1, row2, col2;
    } cases[] = {
        {"shaped", [] {
             xlsNewLineEx(0, 20, "");
             for (const char *v : {"10", "20", "30"}) xlsWriteCell(v, 'N', ""), xlsNewLine();
         }, 1, 1, 3, 1},
        {"twice", [] { xlsWriteCell("a", 'S', ""), xlsNewLine(), xlsNewLine(); }, 1, 1, 1, 1},
        {"skip201", [] { xlsWriteCell("a", 'S', ""), xlsNewLineEx(201, 0, ""); }, 1, 1, 1, 1},
        {"skipneg", [] { xlsWriteCell("a", 'S', ""), xlsNewLineEx(-1, 0, ""); }, 1, 1, 1, 1},
        {"replaced", [] { xlsWriteCell("a", 'S', ""), xlsNewLineEx(3, 0, ""), xlsNewLine(); },
         1, 1, 1, 1},
        {"merged", [] {
             xlsWriteCellEx("m", 'S', "", "", 0, 2, 0);
             xlsWriteCellEx("x", 'S', "", "", 1, 0, 0);
         }, 1, 1, 1, 1},
    };
    xlsInit("position.xml", "Interop");
    for (const auto &c : cases) {
        xlsAddSheet(c.sheet, xlsSheetSetupDefault);
        c.calls();
        std::string range = xlsGetRectangle(c.row1, c.col1, c.row2, c.col2);
        std::string formula = c.row2 > c.row1 ? "=SUM(" + range + ")"
                                              : "=ROW(" + range + ")*1000+COLUMN(" + range + ")";
        xlsWriteCellEx("0", 'N', "", formula.c_str(), 0, 0, 0);
    }
    if (xlsClose() != XLS_OK) throw gq::Error(xlsGetError());
}

// Every worksheet feature at once (features.xml): "Ordini" with a frozen, filtered header,
// links, comments, a hidden column, validations, conditional formats and view and
// print options; "Nascosto" hidden; "Attivo" the sheet the workbook opens on, with a hidden row
// (Gnumeric shows again the hidden rows inside an autofilter's range).
void features() {
    gq::Workbook wb("features.xml", "Interop", gq::Properties().active_sheet(2));
    wb.style(gq::Style("libero").number_format("General"));  // isProtected '0': unlocked
    wb.style(gq::Style("chiuso").number_format("General").protect());
    wb.sheet("Ordini").protect().freeze(1, 1).autofilter(1, 1, 0, 4).select(3, 2);
    wb.tab_color(0xF01010).zoom(150).display(XLS_DISPLAY_NO_GRIDLINES | XLS_DISPLAY_NO_ZEROS);
    wb.print_layout(80, 1, 0, 9).page_break(3, 0).page_break(0, 2);
    wb.column(1, 90).column(3, 60, {}, true);
    for (const char *title : {"Cliente", "Importo", "Nascosta", "Quando"}) wb.cell(title, "chiuso");
    const struct {
        const char *client, *link, *note;
        double amount;
    } rows[] = {{"Rossi", "https://example.com/?cliente=rossi&anno=2024", "Paga a 60 giorni",
                 -1250.5},
                {"Bianchi", "mailto:bianchi@example.com", nullptr, 980},
                {"Verdi", "#Attivo!A1", nullptr, 42}};
    int n = 0;
    for (const auto &r : rows) {
        wb.next_row();
        ++n;
        wb.link(r.link, "Apri");
        if (r.note != nullptr) wb.comment(r.note, "Ufficio", true);
        wb.cell(r.client, "libero").cell(r.amount, "libero").cell("x");
        wb.cell(gq::DateTime(2024, 3, n), "date");
    }
    wb.next_row();
    wb.cell("Totale").formula("=SUM(R2C2:R4C2)", -228.5);
    xlsValidation list{};
    list.type = "List";
    list.value1 = "Rossi,Bianchi,Verdi";
    list.inputTitle = "Cliente";
    list.inputMessage = "Scegli dalla lista";
    wb.validation(2, 1, 0, 1, list);
    xlsValidation whole{};
    whole.type = "Whole";
    whole.value1 = "0";
    whole.value2 = "1000";
    whole.errorStyle = "Stop";
    whole.errorMessage = "Da 0 a 1000";
    wb.validation(2, 2, 4, 2, whole);
    wb.condition(2, 2, 0, 2, "Less", "0", "", "color:#9C0006;background:#FFC7CE");
    wb.condition(2, 2, 0, 2, "Between", "0", "100", "font-weight:700");

    wb.sheet("Nascosto").hide_sheet();
    wb.cell("non visibile");
    wb.sheet("Attivo").zoom(75).select(4, 1);
    wb.cell("attivo").next_row().hide_row().cell("riga nascosta").next_row().cell("dopo");
    wb.close();
}

// The same report texts in each encoding, through the C interface: an author, sheet
// names and a page header with '&', a formula with quotes, accented letters, and (where
// the encoding has them) the euro sign, a typographic apostrophe, Greek, Japanese, an
// emoji and a cell of two lines.
struct Texts {
    const char *file, *encoding, *cafe, *cut, *accents, *euro, *more;
};

void texts(const Texts &t) {
    xlsStyle wrap = xlsStyleDefault;
    wrap.wrapText = '1';
    wrap.pattern[0] = '\0';
    std::strcpy(wrap.numberFormat, "General");
    xlsSheetSetup setup = xlsSheetSetupDefault;
    std::strcpy(setup.header, "Pagina &P di &N");
    bool ok = xlsSetEncoding(t.encoding) && xlsInit(t.file, "Ufficio R&D") &&
              xlsAddStyle(wrap, "a capo") && xlsAddSheet("R&D", setup) &&
              xlsWriteCell("Nord", 'S', "") &&
              xlsWriteCellEx("0", 'N', "", "=IF(RC[-1]=\"Nord\",1,0)", 0, 0, 0) &&
              xlsWriteCell(t.accents, 'S', "") && xlsNewLine() &&
              xlsWriteCell(t.euro, 'S', "") && xlsWriteCell(t.more, 'S', "") &&
              xlsWriteCell("prima riga\nseconda riga", 'S', "a capo") &&
              xlsAddSheet(t.cafe, xlsSheetSetupDefault) && xlsWriteCell("x", 'S', "") &&
              xlsAddSheet(t.cut, xlsSheetSetupDefault) && xlsWriteCell("y", 'S', "") &&
              xlsClose();
    xlsSetEncoding("Latin-1");
    if (!ok) throw gq::Error(std::string(t.file) + ": " + xlsGetError());
}

}  // namespace

int main() {
    try {
        report();
        merged();
        features();
        position();
        texts({"texts-utf8.xml", "UTF-8", "Caff\xC3\xA8", "Fatturato trimestrale del caff\xC3\xA8",
               "perch\xC3\xA9 pi\xC3\xB9 citt\xC3\xA0", "\xE2\x82\xAC 12,50 l\xE2\x80\x99" "anno",
               "\xCE\xA4\xCE\xB5\xCE\xAF\xCE\xB1 \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xF0\x9F\x98\x80"});
        texts({"texts-latin1.xml", "ISO-8859-1", "Caff\xE8", "Fatturato trimestrale del caff\xC3\xA8",
               "perch\xE9 pi\xF9 citt\xE0", "EUR 12,50", "Caff\xE8 & latte"});
        texts({"texts-cp1252.xml", "Windows-1252", "Caff\xE8", "Fatturato trimestrale Nord\x96Sud",
               "perch\xE9 pi\xF9 citt\xE0", "\x80 12,50 l\x92" "anno", "Caff\xE8 & latte"});
    } catch (const gq::Error &e) {
        std::fprintf(stderr, "make_workbooks: %s", e.what());
        return 1;
    }
    std::puts("report.xml merged.xml position.xml features.xml texts-*.xml");
    return 0;
}
