// Writes the workbooks that the interoperability test opens in LibreOffice: a styled
// two-sheet report (report.xml) and a merge of it with one sheet dropped (merged.xml).
#include <cstdio>

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
    wb.cell("Qualit\xe0 & <prezzo> \xe8 ok", gq::CellOptions().merge(0, 1));
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

}  // namespace

int main() {
    try {
        report();
        merged();
    } catch (const gq::Error &e) {
        std::fprintf(stderr, "make_workbooks: %s", e.what());
        return 1;
    }
    std::puts("report.xml merged.xml");
    return 0;
}
