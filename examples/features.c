/* A worksheet with its features: typed cells, a frozen header with filter buttons, a link,
 * a comment, a drop-down list, a conditional format, a total and a tab colour.
 * Writes ordini.xml; the tests compile and run it, docs/pictures.sh renders it. */
#include <stdio.h>
#include "gridquill.h"

int main(void) {
    static const struct { const char *client, *mail, *state; double amount; int day; } rows[] = {
        {"Rossi", "mailto:rossi@example.com", "aperto", -1250.5, 3},
        {"Bianchi", "", "chiuso", 4200, 12},
        {"Verdi", "", "aperto", 310.25, 27},
    };
    xlsStyle head = xlsStyleDefault, money = xlsStyleDefault;
    xlsValidation pick = {0};
    char sum[64];
    int i;

    if (!xlsSetEncoding("UTF-8") || !xlsInit("ordini.xml", "Ufficio")) return 1;
    money.pattern[0] = '\0';                           /* no fill */
    snprintf(money.numberFormat, sizeof money.numberFormat, "#,##0.00");
    xlsAddStyle(money, "money");
    head.bold = '1';
    head.weightBottom = 1;
    snprintf(head.interiorColor, sizeof head.interiorColor, "#DDEBF7");
    xlsAddStyle(head, "head");

    xlsAddSheet("Ordini", xlsSheetSetupDefault);
    xlsSetTabColor(0x2E75B6);
    xlsFreezePanes(1, 0);                              /* the header row stays in view */
    xlsAutoFilter(1, 1, 0, 4);                         /* filter buttons down to the last row */
    xlsColumn(1, 90, "");
    xlsColumn(2, 80, "");
    xlsColumn(3, 80, "");
    xlsWriteCell("Cliente", 'S', "head");
    xlsWriteCell("Importo", 'S', "head");
    xlsWriteCell("Data", 'S', "head");
    xlsWriteCell("Stato", 'S', "head");
    for (i = 0; i < 3; i++) {
        xlsNewLine();
        if (rows[i].mail[0]) xlsSetCellLink(rows[i].mail, "Scrivi al cliente");
        xlsWriteCell(rows[i].client, 'S', "");
        xlsWriteNumber(rows[i].amount, "money");
        xlsWriteDateTime(2024, 3, rows[i].day, 0, 0, 0, "date");
        if (i == 0) xlsSetCellComment("Paga a 60 giorni", "Ufficio", 1);
        xlsWriteCell(rows[i].state, 'S', "");
    }
    xlsNewLine();
    xlsWriteCell("Totale", 'S', "head");
    snprintf(sum, sizeof sum, "=SUM(%s)", xlsGetRectangle(2, 2, 4, 2));
    xlsWriteFormula(sum, 3259.75, "money");

    pick.type = "List";
    pick.value1 = "aperto,chiuso";
    xlsAddValidation(2, 4, 4, 4, pick);                /* a drop-down in the state column */
    xlsAddCondition(2, 2, 4, 2, "Less", "0", "", "color:#9C0006;background:#FFC7CE");
    if (!xlsClose()) {
        fprintf(stderr, "ordini.xml incompleto: %s", xlsGetError());
        return 1;
    }
    printf("ordini.xml scritto con Gridquill %s\n", xlsVersion());
    return 0;
}
