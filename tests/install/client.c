/* Out-of-tree C client of an installed Gridquill: writes one small workbook.
 * Built once through find_package(Gridquill) and once through pkg-config. */
#include <stdio.h>

#include <gridquill.h>

int main(int argc, char **argv) {
    const char *path = argc > 1 ? argv[1] : "client.xml";
    xlsStyle bold = xlsStyleDefault;
    bold.bold = '1';
    bold.pattern[0] = '\0';
    if (!xlsInit(path, "Cliente")) return 1;
    if (!xlsAddStyle(bold, "bold") || !xlsAddSheet("Installata", xlsSheetSetupDefault) ||
        !xlsWriteCell("Libreria installata", 'S', "bold") || !xlsWriteCell("42", 'N', "") ||
        !xlsClose()) {
        fprintf(stderr, "client: %s", xlsGetError());
        return 1;
    }
    printf("client: %s written with Gridquill %s\n", path, xlsVersion());
    return 0;
}
