// Writes the workbook whose names, print ranges and document properties the interop test
// reads back in LibreOffice and Gnumeric (extras.xml), and the same through a stream.
#include <cstdio>

#include "gridquill.h"

namespace {

int to_file(void *context, const char *data, size_t size) {
    return static_cast<int>(std::fwrite(data, 1, size, static_cast<std::FILE *>(context)));
}

bool write(bool stream) {
    const char *properties[][2] = {{"Title", "Vendite & costi"}, {"Subject", "Trimestre"},
                                   {"Keywords", "vendite, costi"}, {"Description", "Prova"},
                                   {"Category", "Finanza"}, {"Manager", "Capo"},
                                   {"Company", "Ditta"}};
    for (auto &p : properties)
        if (!xlsSetDocumentProperty(p[0], p[1])) return false;
    std::FILE *f = stream ? std::fopen("extras-stream.xml", "wb") : nullptr;
    if (stream ? f == nullptr || !xlsInitStream(to_file, f, "Interop")
               : !xlsInit("extras.xml", "Interop"))
        return false;
    bool ok = xlsAddName("Tasso", "=Dati!R1C2") && xlsAddName("Meta", "=0.5") &&
              xlsAddSheet("Dati", xlsSheetSetupDefault) && xlsAddSheetName("Locale", "=Dati!R3C1") &&
              xlsSetPrintArea(1, 1, 4, 2) && xlsSetPrintTitles(1, 1, 0, 0) &&
              xlsWriteCell("Tasso", 'S', "") && xlsWriteCell("0.25", 'N', "") && xlsNewLine() &&
              xlsWriteCellEx("0", 'N', "", "=Tasso*10", 0, 0, 0) &&
              xlsWriteCellEx("0", 'N', "", "=Meta+Locale", 0, 0, 0) && xlsNewLine() &&
              xlsWriteCell("3", 'N', "") && xlsAddSheet("Il mio foglio", xlsSheetSetupDefault) &&
              xlsSetPrintTitles(1, 2, 1, 2) && xlsWriteCell("x", 'S', "");
    ok = xlsClose() && ok;
    if (f != nullptr) ok = std::fclose(f) == 0 && ok;
    return ok;
}

}  // namespace

int main() { return write(false) && write(true) ? 0 : 1; }
