// Merges IN into OUT with marks given as pairs: d NAME (left out), r NAME (replaced), a NAME
// (continued), each sheet taken written with two rows; then a new sheet. For merge_check.py.
#include <string>

#include "gridquill.h"

int main(int argc, char **argv) {
    if (argc < 3 || !xlsSetEncoding("UTF-8") || !xlsInitMerge(argv[1], argv[2])) return 1;
    for (int i = 3; i + 1 < argc; i += 2) {
        const std::string kind = argv[i];
        int ok = kind == "d" ? xlsSheetDelete(argv[i + 1])
                 : kind == "r" ? xlsSheetReplace(argv[i + 1])
                               : xlsSheetAppend(argv[i + 1]);
        if (!ok) return 1;
    }
    for (int i = 3; i + 1 < argc; i += 2) {
        if (std::string(argv[i]) == "d") continue;
        if (!xlsAddSheet(argv[i + 1], xlsSheetSetupDefault) || !xlsWriteCell("nuovo", 'S', "") ||
            !xlsNewLine() || !xlsWriteCell("12.5", 'N', "num"))
            return 1;
    }
    bool ok = xlsAddSheet("Aggiunto", xlsSheetSetupDefault) && xlsWriteCell("1", 'N', "");
    return xlsClose() && ok ? 0 : 1;
}
