#include <stdio.h>
#include "gridquill.h"

int main(void) {
    xlsStyle money = xlsStyleDefault;
    xlsSheetSetup setup = xlsSheetSetupDefault;
    char formula[64];

    if (!xlsInit("report.xml", "Ufficio")) return 1;    /* the message is on stderr */
    snprintf(money.numberFormat, sizeof money.numberFormat, "#,##0.00");
    money.pattern[0] = '\0';                              /* no fill */
    xlsAddStyle(money, "money");

    xlsAddSheet("Vendite", setup);
    xlsColumn(1, 120, "");
    xlsWriteCell("Mese", 'S', "txt");
    xlsWriteCell("Importo", 'S', "txt");
    xlsNewLine();
    xlsWriteCell("Gennaio", 'S', "");
    xlsWriteCell("1250.5", 'N', "money");
    xlsNewLine();
    xlsWriteCell("Febbraio", 'S', "");
    xlsWriteCell("980", 'N', "money");
    xlsNewLine();
    xlsWriteCell("Totale", 'S', "");
    /* the two amounts above, as an R1C1 range relative to the next cell */
    snprintf(formula, sizeof formula, "=SUM(%s)", xlsGetRectangle(2, 2, 3, 2));
    xlsWriteCellEx("0", 'N', "money", formula, 0, 0, 0);

    if (!xlsClose()) {
        fprintf(stderr, "report.xml incompleto: %s\n", xlsGetError());
        return 1;
    }
    return 0;
}
