/** @file gridquill.h
 * @brief Gridquill: streams XML Spreadsheet 2003 workbooks to a file.
 *
 * Public C interface: the exported functions, the records and their defaults.
 *
 * Every text argument is a zero-terminated text in the encoding chosen with
 * xlsSetEncoding() (Latin-1 until then); a null pointer is taken as "". Pass texts as they
 * should read: the library escapes every text it writes. In names, IDs, formulas, the
 * author and the record fields an entity reference (\&amp; \&lt; \&gt; \&quot; \&apos;) or a
 * character reference (\&#38;) is kept as the character it stands for; in cell values every
 * '&' is a character of its own.
 *
 * Operations that can fail return -1 (#XLS_OK) on success and 0 (#XLS_FAIL) on failure; on
 * failure the message is in xlsGetError() and has been printed on the standard error
 * stream.
 *
 * Each thread has its own workbook in progress, with its own error text, returned texts
 * and settings, taken at its first call and given back when it ends. When that state
 * cannot be allocated, every call fails: -1/0 calls return 0, the texts are "" (null for
 * xlsGetPosition()), and xlsGetError() gives
 * "Memoria insufficiente per lo stato della cartella di lavoro.\n".
 */
#ifndef GRIDQUILL_H
#define GRIDQUILL_H

/** @cond */
#if defined(_WIN32)
#  if defined(GRIDQUILL_BUILD)
#    define GRIDQUILL_API __declspec(dllexport)
#  else
#    define GRIDQUILL_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define GRIDQUILL_API __attribute__((visibility("default")))
#else
#  define GRIDQUILL_API
#endif

#if defined(__cplusplus)
#  define GRIDQUILL_NOEXCEPT noexcept
#else
#  define GRIDQUILL_NOEXCEPT
#endif
/** @endcond */

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/** @name Results of the operations that can fail */
/** @{ */
#define XLS_OK (-1)  /**< success */
#define XLS_FAIL 0   /**< failure: the message is in xlsGetError() */
/** @} */

/** @name Limits
 * The limits the calls below state, named once for every layer above this header. */
/** @{ */
#define XLS_MAX_ROWS 1048576        /**< rows of a worksheet */
#define XLS_MAX_COLUMNS 256         /**< columns of a worksheet, as its table declares */
#define XLS_MAX_SKIP 200            /**< empty cells or rows one call leaves */
#define XLS_MAX_SHEET_NAME 31       /**< characters of a sheet name; longer ones are cut */
#define XLS_MAX_STYLE_ID 15         /**< bytes of a style ID that xlsAddStyle defines */
#define XLS_MAX_FORMULA 1024        /**< bytes of a formula */
#define XLS_MAX_TEXT 255            /**< bytes of a document property, a name, a tip */
#define XLS_MAX_CELL_UNITS 32767    /**< UTF-16 units of a cell value (UTF-8, Windows-1252) */
/** @} */

/** Page setup of a worksheet, 340 bytes, passed by value to xlsAddSheet().
 *
 * Texts are zero-terminated inside their field; a text that fills its whole field
 * is read up to the field's end. Flags are single characters, '1' meaning yes. */
typedef struct xlsSheetSetup {
    char name[32];         /**< used when xlsAddSheet's name is empty; cut to 31 characters */
    /** page header; empty: "Foglio Excel '<name>' generato automaticamente" */
    char header[128];
    char footer[128];      /**< page footer; empty: "Pagina &amp;P" */
    char headerMargin[8];  /**< empty: no header margin, footer, layout or gridlines lines */
    char footerMargin[8];  /**< footer margin */
    char marginTop[8];     /**< top margin; empty or "0" is written as "0.1" */
    char marginBottom[8];  /**< bottom margin; empty or "0" is written as "0.1" */
    char marginLeft[8];    /**< left margin; empty or "0" is written as "0.1" */
    char marginRight[8];   /**< right margin; empty or "0" is written as "0.1" */
    char gridlines;        /**< '1': printed gridlines */
    char reserved1;        /**< unused */
    char reserved2;        /**< unused */
    char orientation;      /**< 'L' landscape, 'P' portrait, anything else: none */
} xlsSheetSetup;

/** A named cell style, 212 bytes, passed by value to xlsAddStyle(). */
typedef struct xlsStyle {
    char id[16];                  /**< style ID, at most 15 characters */
    char horizontal[16];          /**< horizontal alignment; empty: "Left" */
    char vertical[16];            /**< vertical alignment; empty: "Bottom" */
    unsigned char indent;         /**< 0: no indent attribute */
    char lineStyle[16];           /**< shared by the four borders; empty: "Continuous" */
    char borderColor[8];          /**< "#RRGGBB" or empty */
    unsigned char weightTop;      /**< top border weight; 0: no such border */
    unsigned char weightBottom;   /**< bottom border weight; 0: no such border */
    unsigned char weightLeft;     /**< left border weight; 0: no such border */
    unsigned char weightRight;    /**< right border weight; 0: no such border */
    char fontName[32];            /**< font family; empty: none */
    char bold;                    /**< '1': bold */
    char italic;                  /**< '1': italic */
    unsigned char fontSize;       /**< points; 0: none */
    char fontColor[8];            /**< "#RRGGBB" or empty */
    char interiorColor[8];        /**< fill colour, "#RRGGBB" or empty */
    char pattern[32];             /**< empty: "Solid" whenever a fill is written */
    char patternColor[8];         /**< "#RRGGBB" or empty */
    char numberFormat[32];        /**< empty: the general format */
    char wrapText;                /**< '1': wrap */
    char verticalText;            /**< '1': vertical text */
    char reserved1[2];            /**< unused */
    int rotate;                   /**< degrees; 0: no attribute */
    char isProtected;             /**< '1': protected cell */
    char reserved2[3];            /**< unused */
} xlsStyle;

/** Default page setup. Each program that includes this header has its own copy. */
static const xlsSheetSetup xlsSheetSetupDefault = {
    "NoName", "", "", "0.5", "0.5", "1", "1", "1", "1", '1', '0', '\0', 'L'};

/** Default style: start a style from it. Each program that includes this header has its
 * own copy. */
static const xlsStyle xlsStyleDefault = {
    "", "Left", "Bottom", 0, "Continuous", "", 0, 0, 0, 0, "", '0', '0', 0, "", "",
    "Solid", "", "", '0', '0', {0, 0}, 0, '0', {0, 0, 0}};

/** A context: one more workbook in progress, with its own state and default settings.
 *
 * Every other call acts on the context the calling thread selected, else on the thread's
 * own state. A thread that ends lets its selected context go; a freed context is not used
 * again (a pointer the library does not know gives "Contesto non valido in ..."). */
typedef struct xlsContext xlsContext;

/** A new context (any phase); null when memory is short, with the message, or when 4096
 * contexts are live already ("Troppi contesti (al massimo 4096) in xlsNewContext().\n"). */
GRIDQUILL_API xlsContext *xlsNewContext(void) GRIDQUILL_NOEXCEPT;
/** Makes `context` the calling thread's current one (any phase); null returns to the
 * thread's own state.
 *
 * A context is selected in one thread at a time: one selected in another thread gives 0,
 * "Contesto in uso in un altro thread in xlsSelectContext().\n". */
GRIDQUILL_API int xlsSelectContext(xlsContext *context) GRIDQUILL_NOEXCEPT;
/** The context the calling thread selected; null while its own state is in use. */
GRIDQUILL_API xlsContext *xlsGetContext(void) GRIDQUILL_NOEXCEPT;
/** Frees `context` (any phase; null does nothing).
 *
 * Freeing the calling thread's selected context returns the thread to its own state; one
 * selected in another thread is refused. A workbook still open in it is dropped as
 * xlsInit() drops an unfinished one (a file keeps what was written; in atomic mode the old
 * file stays), and the call returns 0 with "File '<path>' incompleto"
 * (atomic: "File '<path>' non sostituito"; a stream: "Flusso in output incompleto") and
 * ": contesto liberato prima di xlsClose().\n"; the context is freed all the same. */
GRIDQUILL_API int xlsFreeContext(xlsContext *context) GRIDQUILL_NOEXCEPT;
/** Selects how the texts of later calls are read, in every phase.
 *
 * A setting of the calling thread's state (or its selected context), kept across its
 * workbooks. Names, in any case: "ISO-8859-1" or "Latin-1" (the default: each byte a
 * character, except valid UTF-8 sequences outside cell values, header and footer);
 * "Windows-1252" or "CP1252" (as Latin-1, with 0x80 to 0x9F the code page's characters,
 * 0x80 the euro sign); "UTF-8" (invalid sequences each become U+FFFD, a leading byte-order
 * mark is dropped). In the last two, line breaks in a cell value are kept, a cell holds up
 * to 32767 UTF-16 units and a sheet name 31 characters. An unknown name: 0 with
 * "Codifica '<name>' sconosciuta in xlsSetEncoding(): ...", the encoding unchanged. */
GRIDQUILL_API int xlsSetEncoding(const char *name) GRIDQUILL_NOEXCEPT;

/** The library's version, "1.1.0": major, minor and patch of the library loaded at run time,
 * which may be newer than the header a program was built with (any 1.x runs a program
 * built against 1.0).
 *
 * Any phase, in any thread, without a state; never null, a text that stays in place. */
GRIDQUILL_API const char *xlsVersion(void) GRIDQUILL_NOEXCEPT;

/** Message of the most recent failure, "" when none since load or the last xlsInit() /
 * xlsInitMerge().
 *
 * Never null; the text stays in place until the next failure or open. */
GRIDQUILL_API const char *xlsGetError(void) GRIDQUILL_NOEXCEPT;

/** The system's reason for the most recent failure (any phase).
 *
 * The errno of a failed open, write or stream callback; 0 when that failure had no system
 * cause, or none happened since load or the last open. xlsGetError() keeps its text.
 * @return an errno value such as ENOENT or ENOSPC, or 0. */
GRIDQUILL_API int xlsGetErrno(void) GRIDQUILL_NOEXCEPT;

/** Opens a new workbook at `path` ("" gives "Cartella") with `author` as its last author
 * ("" gives "Cartella", cut to 99 characters).
 *
 * Writes the prologue with the built-in styles Default, txt, num and date; its creation
 * time is UTC. A path over 4095 bytes (PATH_MAX) or one that cannot be created: 0, with
 * "Errore in apertura del file '<path>'" and the system's reason. */
GRIDQUILL_API int xlsInit(const char *path, const char *author) GRIDQUILL_NOEXCEPT;

/** The client's output for xlsInitStream(): takes `size` bytes at `data` and returns how
 * many it took; fewer than `size` (or a negative result) is a failed write. It must not
 * call the library. */
typedef int (*xlsWriteFunction)(void *context, const char *data, size_t size);

/** Opens a new workbook written through `write(context, ...)` instead of a file, with the
 * same prologue, results and messages as xlsInit().
 *
 * The bytes arrive in blocks of up to 128 KiB and the last ones at xlsClose(). A failed
 * write makes xlsClose() return 0 with "Errore in scrittura del flusso in output" and the
 * reason (the callback's errno, else an input/output error). A null `write`: 0. Any phase,
 * like xlsInit(); a workbook left unfinished by the next open has its unwritten bytes
 * dropped, without a call. */
GRIDQUILL_API int xlsInitStream(xlsWriteFunction write, void *context,
                                const char *author) GRIDQUILL_NOEXCEPT;

/** Sets a document property of the next workbook opened (xlsInit(), xlsInitStream() or
 * xlsInitMerge(), which replaces the input's value).
 *
 * `name` one of Title, Subject, Keywords, Description, Category, Manager, Company (any
 * case); `value` at most 255 bytes, escaped by the library; "" removes it. Any phase; kept
 * in the calling thread's current context (its state) for the next open there. The
 * properties apply to that one workbook: the open that writes them forgets them, an open
 * that fails keeps them. */
GRIDQUILL_API int xlsSetDocumentProperty(const char *name, const char *value) GRIDQUILL_NOEXCEPT;

/** A workbook-wide name: after the open, before the first xlsAddSheet().
 *
 * Named ranges: `name` 1 to 255 characters, a letter, '_' or a backslash first, then
 * letters, digits, '_', '.' or backslashes; no cell reference (A1, R1C1, R, C); new in
 * its scope, case ignored. `refersTo`: an R1C1 formula with absolute references, such as
 * "=Dati!R1C1:R4C2", "='Il mio foglio'!R2C1" or "=0.5" (the '=' is added when missing):
 * cells, ranges, rows and columns in R1C1 form, each with its sheet or not, joined by
 * commas, or a constant (a number, a text in double quotes, TRUE, FALSE, an error value);
 * an A1 reference or one cut short gives 0, "Riferimento non valido per il nome ...". At
 * most 1024 bytes as written, escaped by the library. At most 128 names per workbook
 * and 32 per worksheet, print area and titles included. */
GRIDQUILL_API int xlsAddName(const char *name, const char *refersTo) GRIDQUILL_NOEXCEPT;
/** A name of the open worksheet: after its xlsAddSheet(), before its first column or cell.
 * `name` and `refersTo` as for xlsAddName(). */
GRIDQUILL_API int xlsAddSheetName(const char *name, const char *refersTo) GRIDQUILL_NOEXCEPT;
/** The open worksheet's print area, rows and columns 1-based and inclusive (rows up to
 * 1048576, columns up to 256); when to call it: as xlsAddSheetName(). */
GRIDQUILL_API int xlsSetPrintArea(int firstRow, int firstColumn, int lastRow,
                                  int lastColumn) GRIDQUILL_NOEXCEPT;
/** Rows and columns repeated on every printed page of the open worksheet; 0, 0 for none
 * of either kind (not both); when to call it: as xlsAddSheetName(). */
GRIDQUILL_API int xlsSetPrintTitles(int firstRow, int lastRow, int firstColumn,
                                    int lastColumn) GRIDQUILL_NOEXCEPT;

/** Defines a named style before the first worksheet. `styleId` ("" takes style.id) must
 * be new and at most 15 characters.
 *
 * An ID that is not an XML name ("my style", "R&D", "1st") is written in the file in
 * Office's form for such names, each character a name cannot hold as _xHHHH_
 * ("my_x0020_style"), here and wherever a cell, row or column names it; the client keeps
 * using its own ID, and that written form counts as taken. */
GRIDQUILL_API int xlsAddStyle(xlsStyle style, const char *styleId) GRIDQUILL_NOEXCEPT;

/** Ends the current worksheet (or the styles section) and starts one named `name`.
 *
 * "" takes setup.name, then "Sheet<n>"; names over 31 characters (bytes in the Latin-1
 * mode) are cut between characters, and each of `: \ / ? * [ ]` becomes '_'. A name that
 * reads as one already used in this workbook, case aside as readers compare names (R&D,
 * R\&amp;D and r\&d; Vendite and VENDITE): 0. */
GRIDQUILL_API int xlsAddSheet(const char *name, xlsSheetSetup setup) GRIDQUILL_NOEXCEPT;

/** Writes one column definition (column 1 to 256) before the first cell of a worksheet.
 * A negative width: 0, "Larghezza di colonna negativa in xlsColumn().\n". */
GRIDQUILL_API int xlsColumn(int column, int width, const char *styleId) GRIDQUILL_NOEXCEPT;

/** Writes one cell in the current row.
 *
 * `type`: 'N'/'n' Number, 'D'/'d' DateTime, anything else String. The value is escaped and
 * converted to UTF-8: in the Latin-1 mode cut to 3996 bytes, control characters as blanks;
 * in the other modes whole up to 32767 UTF-16 units, line breaks kept. The formula (at
 * most 1024 bytes) and the style ID are escaped. `skip` 0 to 200 leaves empty columns
 * before the cell; merge counts above 0 span further cells, and the next cell lands after
 * the columns merged across. A cell that would land, or merge, past row 1048576 or column
 * 256 is refused, nothing written and the position unchanged: 0, "Cella oltre i limiti
 * del foglio (1048576 righe, 256 colonne) in xlsWriteCell().\n". */
GRIDQUILL_API int xlsWriteCellEx(const char *value, char type, const char *styleId,
                                 const char *formula, int skip, int mergeAcross,
                                 int mergeDown) GRIDQUILL_NOEXCEPT;
/** xlsWriteCellEx(value, type, styleId, "", 0, 0, 0). */
GRIDQUILL_API int xlsWriteCell(const char *value, char type, const char *styleId) GRIDQUILL_NOEXCEPT;

/** Ends the current row.
 *
 * `skip` 1 to 200 leaves empty rows, `height` 1 to 199 sets the next row's height,
 * `styleId` its style. Any other skip leaves none: the next row is the one below the last
 * row written, also after breaks without a cell between them. */
GRIDQUILL_API int xlsNewLineEx(int skip, int height, const char *styleId) GRIDQUILL_NOEXCEPT;
/** xlsNewLineEx(0, 0, ""). */
GRIDQUILL_API int xlsNewLine(void) GRIDQUILL_NOEXCEPT;

/** A1 name of the next cell's position (where a cell without a skip lands in the file),
 * or null beyond column ZZ. The text is overwritten by the next call. */
GRIDQUILL_API const char *xlsGetPosition(void) GRIDQUILL_NOEXCEPT;
/** R1C1 range relative to the next cell's position, e.g. "R[-3]C:R[-1]C". Never null;
 * overwritten by the next call. */
GRIDQUILL_API const char *xlsGetRectangle(int row1, int col1, int row2, int col2) GRIDQUILL_NOEXCEPT;

/** A Number cell: the shortest text that reads back as the same double; NaN and the
 * infinities are refused.
 *
 * Typed cells are written like xlsWriteCell() with the value formatted by the library;
 * accepted while a worksheet is open (after xlsAddSheet()). */
GRIDQUILL_API int xlsWriteNumber(double value, const char *styleId) GRIDQUILL_NOEXCEPT;
/** A DateTime cell "YYYY-MM-DDTHH:MM:SS.000": year 1 to 9999, a real calendar day, hour 0
 * to 23, minute and second 0 to 59; anything else is refused. Give it a date style
 * ("date"). Accepted while a worksheet is open. */
GRIDQUILL_API int xlsWriteDateTime(int year, int month, int day, int hour, int minute,
                                   int second, const char *styleId) GRIDQUILL_NOEXCEPT;
/** A Number cell with an R1C1 formula (at most 1024 characters, written as given) and the
 * value that readers show until they compute it. Accepted while a worksheet is open. */
GRIDQUILL_API int xlsWriteFormula(const char *formula, double value,
                                  const char *styleId) GRIDQUILL_NOEXCEPT;
/** A Boolean cell: 1 for a nonzero `value`, 0 for zero, shown by readers as TRUE or FALSE.
 * `styleId` as in xlsWriteCell (null or "": none; one not defined: 0, "ID stile '<id>'
 * errato o mancante in xlsWriteCell().\n"); before a worksheet: 0, "Non si puo' scrivere
 * una cella a questo punto\n". Returns -1 when written. */
GRIDQUILL_API int xlsWriteBoolean(int value, const char *styleId) GRIDQUILL_NOEXCEPT;
/** xlsWriteBoolean with `skip` empty columns before the cell, as in xlsWriteCellEx (0 to 200;
 * any other counts as 0): a value after missing ones lands in its column. */
GRIDQUILL_API int xlsWriteBooleanEx(int value, const char *styleId, int skip) GRIDQUILL_NOEXCEPT;

/** A hyperlink on the next cell: a web or mail address ("https://...", "mailto:..."), or a
 * place in the workbook ("#Sheet!A1", "#'My sheet'!B2").
 *
 * At most 2079 bytes escaped. `screenTip` ("": none) at most 255 bytes. An empty address
 * removes the pending link. What the next cell carries besides its value is given while a
 * worksheet is open, used and forgotten by the next cell written (by any of the cell
 * calls), forgotten by xlsAddSheet(); texts are escaped and converted by the library. */
GRIDQUILL_API int xlsSetCellLink(const char *address, const char *screenTip) GRIDQUILL_NOEXCEPT;
/** A comment (note) on the next cell, with its author ("": none); `showAlways` nonzero
 * keeps it shown.
 *
 * At most 8191 bytes of text and 255 of author, escaped. An empty text removes the
 * pending comment. Used and forgotten as xlsSetCellLink(). */
GRIDQUILL_API int xlsSetCellComment(const char *text, const char *author,
                                    int showAlways) GRIDQUILL_NOEXCEPT;

/** xlsColumn(), with `hidden` nonzero hiding the column. */
GRIDQUILL_API int xlsColumnEx(int column, int width, const char *styleId,
                              int hidden) GRIDQUILL_NOEXCEPT;
/** Hides the row that the next cell opens: call it after the row break (or before the
 * sheet's first cell for row 1). Refused while a row is open. */
GRIDQUILL_API int xlsHideRow(void) GRIDQUILL_NOEXCEPT;

/** Freezes the top `rows` rows and the left `columns` columns; 0 and 0 unfreezes.
 *
 * Options of the open worksheet such as this one are accepted from xlsAddSheet() until the
 * next xlsAddSheet() or xlsClose(), which writes them after its table; rows and columns
 * are 1-based, columns 1 to 256, rows 1 to 1048576. A later call of the same kind replaces
 * the earlier one. With no workbook open each is refused: 0, "Nessuna cartella di lavoro
 * aperta per <call>().\n". */
GRIDQUILL_API int xlsFreezePanes(int rows, int columns) GRIDQUILL_NOEXCEPT;
/** Filter buttons over a range whose first row is the header; lastRow 0 reaches down to
 * the last row written, known at the sheet's end.
 *
 * The hidden name _FilterDatabase is written when the range is known before the sheet's
 * first column definition or cell. A worksheet option, as xlsFreezePanes(). */
GRIDQUILL_API int xlsAutoFilter(int firstRow, int firstColumn, int lastRow,
                                int lastColumn) GRIDQUILL_NOEXCEPT;
/** The active cell of the worksheet. A worksheet option, as xlsFreezePanes(). */
GRIDQUILL_API int xlsSelectCell(int row, int column) GRIDQUILL_NOEXCEPT;
/** Tab colour: the palette colour nearest to 0xRRGGBB; -1 removes it. A worksheet option,
 * as xlsFreezePanes(). */
GRIDQUILL_API int xlsSetTabColor(int rgb) GRIDQUILL_NOEXCEPT;
/** Zoom on screen, 10 to 399 percent. A worksheet option, as xlsFreezePanes(). */
GRIDQUILL_API int xlsSetZoom(int percent) GRIDQUILL_NOEXCEPT;

/** @name Display flags for xlsSetDisplay(), or-ed together */
/** @{ */
#define XLS_DISPLAY_NO_GRIDLINES 1   /**< no gridlines on screen */
#define XLS_DISPLAY_NO_ZEROS 2       /**< zero values shown as empty cells */
#define XLS_DISPLAY_NO_HEADINGS 4    /**< no row and column headings */
#define XLS_DISPLAY_RIGHT_TO_LEFT 8  /**< columns laid out from right to left */
/** @} */
/** Screen display of the worksheet (0: the defaults).
 *
 * Right-to-left is also written as the worksheet's attribute when given before its first
 * column definition or cell. A worksheet option, as xlsFreezePanes(). */
GRIDQUILL_API int xlsSetDisplay(int flags) GRIDQUILL_NOEXCEPT;
/** Hides the worksheet: `how` 1 hidden, 2 very hidden (only a macro shows it), 0 visible.
 * A worksheet option, as xlsFreezePanes(). */
GRIDQUILL_API int xlsHideSheet(int how) GRIDQUILL_NOEXCEPT;
/** Protects the worksheet's cells: locked cells cannot be edited (styles with isProtected
 * '0', such as txt, num and date, stay editable).
 *
 * The format has no password. Written as the worksheet attribute when given before its
 * first column definition or cell, and always as the options. A worksheet option, as
 * xlsFreezePanes(). */
GRIDQUILL_API int xlsProtectSheet(void) GRIDQUILL_NOEXCEPT;
/** Printing: `scale` 11 to 399 percent (0: none); `fitWide` x `fitTall` pages (-1 and -1:
 * no fitting; 0 leaves that direction free); `paperSize` the format's paper index (1
 * Letter, 9 A4, ...; 0: none). A worksheet option, as xlsFreezePanes(). */
GRIDQUILL_API int xlsSetPrintLayout(int scale, int fitWide, int fitTall,
                                    int paperSize) GRIDQUILL_NOEXCEPT;
/** A manual page break after row `row` (0: none) and/or after column `column` (0: none);
 * at most 256 of each per worksheet. A worksheet option, as xlsFreezePanes(). */
GRIDQUILL_API int xlsAddPageBreak(int row, int column) GRIDQUILL_NOEXCEPT;

/** A data validation rule, passed by value to xlsAddValidation(). Null texts count as "". */
typedef struct xlsValidation {
    const char *type;      /**< "List", "Whole", "Decimal", "Date", "Time", "TextLength",
                                "Custom" (value1 a formula), "AnyValue" */
    const char *qualifier; /**< "" (Between), "NotBetween", "Equal", "NotEqual", "Greater",
                                "Less", "GreaterOrEqual", "LessOrEqual" */
    const char *value1;    /**< the minimum, or the only value; a list: "Red,Green,Blue", or
                                an R1C1 range "R1C6:R3C6" with listRange nonzero */
    const char *value2;    /**< the maximum, for Between and NotBetween */
    int listRange;         /**< nonzero: value1 is a range */
    int hideDropDown;      /**< nonzero: a list without its drop-down */
    const char *inputTitle, /**< title shown when the cell is selected */
               *inputMessage;  /**< message shown when the cell is selected */
    const char *errorStyle;    /**< "" (Stop), "Warn", "Info" */
    const char *errorTitle,    /**< title shown when a value is refused */
               *errorMessage;  /**< message shown when a value is refused */
} xlsValidation;
/** Adds a validation over a range of the open worksheet (lastRow 0: down to the last row
 * written); at most 16 per worksheet, each at most 2048 bytes escaped. A range that
 * overlaps one given before (lastRow 0 reaching to the grid's end) is refused: readers keep
 * one rule per cell. */
GRIDQUILL_API int xlsAddValidation(int firstRow, int firstColumn, int lastRow, int lastColumn,
                                   xlsValidation rule) GRIDQUILL_NOEXCEPT;
/** Adds a conditional format to a range of the open worksheet (lastRow 0: down to the last
 * row written).
 *
 * `qualifier` "Between", "NotBetween", "Equal", "NotEqual", "Greater", "Less",
 * "GreaterOrEqual", "LessOrEqual" comparing with value1 (and value2), or "" with a formula
 * in value1 ("MOD(RC,2)=0"); `format` the look, as
 * "color:#9C0006;background:#FFC7CE;font-weight:700". Calls for the same range add up to
 * 3 conditions, the first that holds applying; at most 16 ranges per worksheet, 512 bytes
 * a condition escaped. */
GRIDQUILL_API int xlsAddCondition(int firstRow, int firstColumn, int lastRow, int lastColumn,
                                  const char *qualifier, const char *value1,
                                  const char *value2, const char *format) GRIDQUILL_NOEXCEPT;

/** The worksheet (0-based) that the next workbook opens on and that alone is selected;
 * -1: none (the first visible worksheet is selected and shown).
 *
 * Given before the open (xlsInit(), xlsInitStream(), xlsInitMerge()), which uses and
 * forgets it; refused while a workbook is open: 0, "Non si puo' scegliere il foglio attivo
 * a questo punto in xlsSetActiveSheet(): ...". When the workbook ends without that sheet,
 * or with it hidden, xlsClose() still returns -1 and leaves "Foglio attivo <n> inesistente
 * o nascosto: ..." in xlsGetError(). */
GRIDQUILL_API int xlsSetActiveSheet(int sheet) GRIDQUILL_NOEXCEPT;

/** Ends the last worksheet and the workbook and closes the file.
 *
 * Needs a cell written since the last xlsAddSheet(). A failed write or close still ends
 * the workbook but returns 0 with "Errore in scrittura del file '<path>'"; so does a merge
 * whose input ended before its Workbook end line ("File in output '<path>' incompleto:
 * ..."), and a workbook without an output file, whose open failed or never happened
 * ("Nessun file in output aperto: ..."). */
GRIDQUILL_API int xlsClose(void) GRIDQUILL_NOEXCEPT;

/** Atomic mode for the workbooks opened after it in this state (the thread's, or the
 * selected context), kept until changed; non-zero turns it on. Accepted at any time.
 *
 * Under it, xlsInit() and xlsInitMerge() write a path that names a regular file, or
 * nothing yet, into a temporary file beside it (".<name>.gridquill-<pid>.tmp"), and
 * xlsClose() syncs it to the disk and renames it over the target only when the workbook
 * was written whole: a crash, a kill, a failed write or an abandoned workbook leaves the
 * previous file as it was. A merge may then name the same file as input and output.
 * Streams, devices and pipes are written directly. Always -1. */
GRIDQUILL_API int xlsSetAtomic(int enabled) GRIDQUILL_NOEXCEPT;

/** Ends the workbook in progress, if any, without completing it.
 *
 * In atomic mode its temporary file is removed and the target keeps its previous content;
 * otherwise the file keeps what was written so far, without its end. Accepted at any time.
 * Always -1. */
GRIDQUILL_API int xlsAbandon(void) GRIDQUILL_NOEXCEPT;

/** Starts a workbook at `outputPath` ("" gives "Cartella") as a copy of the workbook at
 * `inputPath`, any workbook of the format whoever wrote it.
 *
 * The whole input is read first and refused (0, a message; nothing opened for writing, an
 * existing output untouched) when it is not well-formed XML (the message gives the line
 * and column), has no Workbook element in the spreadsheet namespace, has a DOCTYPE that
 * declares entities, is in an encoding other than UTF-8, UTF-16 (with a byte-order mark),
 * ISO-8859-1 or Windows-1252, or holds a tag, comment or text piece over 256 KiB. A
 * reference to a control character that XML forbids (Excel writes `&#7;`) is copied as a
 * blank. The output is the input's bytes (transcoded to UTF-8 where the input was not),
 * with the input's styles usable by ID, the built-in styles txt, num and date added where
 * missing, and the namespaces the library's markup uses declared on the Workbook tag.
 * The input's head, up to the end of its styles, is written by the first call that
 * writes (xlsAddStyle or xlsAddSheet): the sheets marked before it are reflected in its
 * ActiveSheet and FirstVisibleSheet. The output opens on the sheet xlsSetActiveSheet gave
 * before this call (counted among the output's sheets), else on the input's active sheet
 * where it stays and is visible, else on the first such sheet; that sheet alone is
 * selected. The input's sheets that stay count as names for xlsAddSheet, its names for
 * xlsAddName. The first xlsAddSheet copies the input's sheets up to the client's: a sheet
 * marked with xlsSheetReplace or xlsSheetAppend takes its input sheet's place, any other
 * follows the input's last worksheet (before what the input has after it). Marked sheets
 * are taken in the input's order: one the copy has passed stays as it was. The same file
 * as input and output is refused, unless atomic mode is on. */
GRIDQUILL_API int xlsInitMerge(const char *inputPath, const char *outputPath) GRIDQUILL_NOEXCEPT;
/** The name of the merge input's worksheet `index` (0-based, in the input's order), in
 * UTF-8 as a reader sees it.
 *
 * Accepted from a successful xlsInitMerge until xlsClose; null past the last worksheet, for
 * a negative index or without a merge input. The text is the library's, valid until the
 * next xlsInitMerge. */
GRIDQUILL_API const char *xlsGetMergeSheet(int index) GRIDQUILL_NOEXCEPT;
/** Marks an input worksheet to be left out of a merge: the one whose name reads as the
 * name this library would write for `name` (so "R&D" marks the sheet written as "R&amp;D").
 *
 * Accepted after xlsInitMerge, before the first xlsAddSheet. "" or null returns 0 without
 * a message; a name over 199 bytes, a name the input has no sheet of, or a call without a
 * merge input or after the first xlsAddSheet returns 0 with a message. -1 when marked. */
GRIDQUILL_API int xlsSheetDelete(const char *name) GRIDQUILL_NOEXCEPT;
/** Marks an input worksheet to be replaced where it stands: the next xlsAddSheet of that
 * name writes the client's sheet in its place, between the same neighbours.
 *
 * Phases, names and results as xlsSheetDelete ("Foglio '<name>' non presente nel file in
 * input in xlsSheetReplace()."). A replaced sheet the client never adds stays as it was. */
GRIDQUILL_API int xlsSheetReplace(const char *name) GRIDQUILL_NOEXCEPT;
/** Marks an input worksheet to be continued: the next xlsAddSheet of that name copies its
 * table, and the client's cells and row breaks follow on the row after its last row
 * (row spans and cells merged down counted; xlsGetPosition names it).
 *
 * The table's ExpandedRowCount and ExpandedColumnCount are dropped; what follows the table
 * (its options, filter, validations, conditional formats) is the input's, copied after the
 * new rows: the worksheet options calls have no effect on such a sheet and xlsColumn is
 * refused; xlsClose may follow at once.
 * Phases, names and results as xlsSheetDelete; a sheet without a table, or whose table
 * redeclares the namespaces, gives 0 with a message. */
GRIDQUILL_API int xlsSheetAppend(const char *name) GRIDQUILL_NOEXCEPT;

/** Latin-1 to UTF-8, control characters as blanks, at most 3997 bytes. The result is
 * library-owned and overwritten by the next call. */
GRIDQUILL_API const char *AsciiToUtf8(const char *text) GRIDQUILL_NOEXCEPT;
/** Replaces every `search` by `replacement` (each under 100 characters) in `str`; the
 * result (at most 3999 characters) is library-owned and overwritten by the next call. */
GRIDQUILL_API const char *strReplace(const char *str, const char *search,
                                     const char *replacement) GRIDQUILL_NOEXCEPT;
/** As strReplace(); when len > 0 also writes exactly len bytes of the result, zero-padded
 * and unterminated when the result is longer, back into `str`. */
GRIDQUILL_API const char *strnReplace(char *str, const char *search, const char *replacement,
                                      int len) GRIDQUILL_NOEXCEPT;

#ifdef __cplusplus
} /* extern "C" */
#endif

#endif /* GRIDQUILL_H */
