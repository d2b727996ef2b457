/* A stand-in library for the ABI check's own test: a call for each record of gridquill.h.
 * -DADDED_CALL adds a call, -DNO_VALIDATION removes one. */
#include "gridquill.h"

int xlsAddStyle(xlsStyle style, const char *styleId) { return style.bold + (styleId != 0); }

int xlsAddSheet(const char *name, xlsSheetSetup setup) { return setup.gridlines + (name != 0); }

#ifndef NO_VALIDATION
int xlsAddValidation(int firstRow, int firstColumn, int lastRow, int lastColumn,
                     xlsValidation rule) {
    return firstRow + firstColumn + lastRow + lastColumn + rule.listRange;
}
#endif

#ifdef ADDED_CALL
GRIDQUILL_API int xlsAddedCall(void) { return XLS_OK; }
#endif
