#include <cstdio>
#include <string>
#include "gridquill.hpp"

int main() {
    namespace gq = gridquill;
    try {
        gq::Workbook book("report.xml", "Ufficio");    // closed when it goes out of scope
        book.style(gq::Style("money").number_format("#,##0.00"));  // no fill by default

        book.sheet("Vendite").column(1, 120);
        book.cell("Mese", "txt").cell("Importo", "txt").next_row();
        book.cell("Gennaio").cell(1250.5, "money").next_row();
        book.cell("Febbraio").cell(980, "money").next_row();
        book.cell("Totale");
        // the two amounts above, as an R1C1 range relative to the next cell
        std::string sum = "=SUM(" + std::string(book.range(2, 2, 3, 2)) + ")";
        book.cell(0, gq::CellOptions().style("money").formula(sum));
        book.close();                                  // throws if a write failed
    } catch (const gq::Error &e) {                     // carries xlsGetError()'s message
        std::fprintf(stderr, "report.xml incompleto: %s", e.what());
        return 1;
    }
    return 0;
}
