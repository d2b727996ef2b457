// Writes extras.xml, whose names, print ranges and document properties the interop test
// reads back in LibreOffice and Gnumeric.
#include "gridquill.h"

int main() {
    const char *properties[][2] = {{"Title", "Vendite & costi"}, {"Subject", "Trimestre"},
                                   {"Keywords", "vendite, costi"}, {"Description", "Prova"},
                                   {"Category", "Finanza"}, {"Manager", "Capo"},
                                   {"Company", "Ditta"}};
    for (auto &p : properties)
        if (!xlsSetDocumentProperty(p[0], p[1])) return 1;
    bool ok = xlsInit("extras.xml", "Interop") && xlsAddName("Tasso", "=Dati!R1C2") &&
              xlsAddName("Meta", "=0.5") && xlsAddSheet("Dati", xlsSheetSetupDefault) &&
              xlsAddSheetName("Locale", "=Dati!R3C1") && xlsSetPrintArea(1, 1, 4, 2) &&
              xlsSetPrintTitles(1, 1, 0, 0) && xlsWriteCell("Tasso", 'S', "") &&
              xlsWriteCell("0.25", 'N', "") && xlsNewLine() &&
              xlsWriteCellEx("0", 'N', "", "=Tasso*10", 0, 0, 0) &&
              xlsWriteCellEx("0", 'N', "", "=Meta+Locale", 0, 0, 0) && xlsNewLine() &&
              xlsWriteCell("3", 'N', "") && xlsAddSheet("Il mio foglio", xlsSheetSetupDefault) &&
              xlsSetPrintTitles(1, 2, 1, 2) && xlsWriteCell("x", 'S', "");
    return xlsClose() && ok ? 0 : 1;
}
