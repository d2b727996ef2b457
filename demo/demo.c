/* gridquill_demo: writes the two-sheet sample workbook Prova1.xml through the library. */
#include <stdio.h>
#include <unistd.h>

#include "gridquill.h"

int main(void) {
    xlsInit("Prova1.xml", "Autore");
    xlsAddSheet("Prova", xlsSheetSetupDefault);
    xlsWriteCell("Prova semplice: scrive 3 righe lasciando tutti i default ", 'S', "");
    xlsNewLine();
    xlsWriteCell("Campo 1", 'S', "");
    xlsWriteCell("Campo 2", 'S', "");
    xlsWriteCell("1234.5", 'n', "");
    xlsNewLine();
    xlsWriteCell("Campo 3", 'S', "");
    xlsWriteCell("Campo 4", 'S', "");
    xlsNewLine();
    xlsWriteCell("Campo 5", 'S', "");
    xlsWriteCell("Campo 6", 'S', "");
    xlsAddSheet("Prova2", xlsSheetSetupDefault);
    xlsWriteCell("Altra prova: scrive 1 riga lasciando tutti i default ", 'S', "");
    xlsNewLineEx(1, 0, "");
    xlsWriteCell("Sono supportate le lettere <accentate> come \"&\xe0\xe8\xe9\xec\xf2\xf9\" in UTF-8",
                 'S', "");
    int written = xlsClose();

    printf("E' stato generato il file 'Prova1.xml'\n");
    /* No pause command here: wait for a key only when a person is at the terminal. */
    if (isatty(STDIN_FILENO)) {
        printf("Premere Invio per continuare . . .");
        fflush(stdout);
        getchar();
    }
    return written ? 0 : 1;
}
