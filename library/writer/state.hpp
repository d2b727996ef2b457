// The writer state: one workbook in progress (one per thread, or a context the client
// made), as records by lifetime, each with its reset(): the settings kept across
// workbooks, the workbook, the open worksheet, its rows and cells, and the output.
#pragma once

#include <climits>
#include <string_view>

#include "../gridquill.h"
#include "../textutil/bounded_text.hpp"
#include "../textutil/escape.hpp"
#include "../textutil/textutil.hpp"
#include "input.hpp"
#include "output.hpp"
#include "registry.hpp"

namespace gridquill::detail {

// PHASE_CELLS_WAITING: as PHASE_CELLS, with a link or comment waiting for the next cell
// (so that the cell path, which tests for PHASE_CELLS, looks for them only then).
enum Phase : int { PHASE_STYLES = 0, PHASE_SHEET = 1, PHASE_CELLS = 2, PHASE_CELLS_WAITING = 3 };

constexpr int kYes = -1;  // flags and results: -1 yes / success, 0 no / failure
constexpr int kNo = 0;

// The public limits.
constexpr int kMaxRows = XLS_MAX_ROWS;
constexpr int kMaxColumns = XLS_MAX_COLUMNS;
constexpr int kMaxSkip = XLS_MAX_SKIP;
constexpr std::size_t kMaxSheetName = XLS_MAX_SHEET_NAME;  // characters in the new modes
constexpr std::size_t kMaxStyleId = XLS_MAX_STYLE_ID;  // IDs that xlsAddStyle accepts
constexpr std::size_t kMaxFormula = XLS_MAX_FORMULA;  // written whole or refused
constexpr std::size_t kMaxText = XLS_MAX_TEXT;
constexpr std::size_t kMaxCellUnits = XLS_MAX_CELL_UNITS;  // UTF-16 units, the new modes

// Bytes an escaped byte of a formula, ID or record text may take ("&quot;").
constexpr std::size_t kEscapeFactor = 6;

constexpr std::size_t kMaxRegisteredId = 31;  // IDs a merge input may bring
constexpr std::size_t kMaxMarkedName = 199;  // a worksheet name in a merge input
// The registries hold names as a reader sees them, in UTF-8: a style ID of 15 bytes of
// Windows-1252 takes up to 45 bytes, a sheet name of 31 characters up to 124.
constexpr std::size_t kMaxStoredId = 47;
constexpr std::size_t kMaxStoredSheetName = 4 * kMaxSheetName;
// The escaped form of a style ID that a cell, row or column names: each character of a
// registered ID may come as a reference of up to kMaxUnitBytes.
constexpr std::size_t kMaxEscapedId = kMaxUnitBytes * kMaxStoredId;
// Escaped sheet name, header and footer (127 bytes, each up to 6 once escaped).
constexpr std::size_t kMaxEscapedSheetName = kMaxUnitBytes * kMaxSheetName;
constexpr std::size_t kPageTextSize = kEscapeFactor * 128;
constexpr std::string_view kDefaultName = "Cartella";  // for an empty path or author
constexpr std::size_t kMaxValueBytes = 3997;    // a converted cell value

// Where fragments are composed before they are written.
using StagingText = BoundedText<8192>;

// What every call reports when the calling thread's state cannot be allocated.
constexpr char kNoState[] = "Memoria insufficiente per lo stato della cartella di lavoro.\n";

// Index, height, style ID, hidden.
constexpr std::size_t kPendingRowAttrsSize = 128 + kMaxEscapedId;

// What a cell may carry besides its value (cell_extras.cpp): texts kept in their escaped
// form until the cell is written; a longer text is refused.
constexpr std::size_t kMaxLinkBytes = 2079;     // a link's address
constexpr std::size_t kMaxTipBytes = kMaxText;  // its screen tip
constexpr std::size_t kMaxCommentBytes = 8191;  // a comment's text
constexpr std::size_t kMaxCommentAuthorBytes = kMaxText;

// What a worksheet writes after its table (sheet_options.cpp), kept until its end.
constexpr std::size_t kMaxValidations = 16;      // DataValidation elements per worksheet
constexpr std::size_t kValidationSize = 2048;    // one of them, escaped, without its range
constexpr std::size_t kMaxConditionalRanges = 16;  // ConditionalFormatting elements
constexpr std::size_t kMaxConditions = 3;          // conditions per range, the format's limit
constexpr std::size_t kConditionSize = 512;        // one Condition element, escaped
constexpr std::size_t kMaxPageBreaks = 256;        // row breaks, and column breaks

// What a workbook carries before its sheets, kept in fixed memory until it is written.
constexpr int kPropertyCount = 7;                // Title ... Company, in document order
constexpr std::size_t kMaxPropertyText = kMaxText;  // a property value as the client gives it
constexpr std::size_t kPropertySize = kEscapeFactor * kMaxPropertyText + 1;
constexpr std::size_t kMaxDefinedName = kMaxText;  // a named range's name
constexpr std::size_t kMaxNameReference = 1024;  // what it refers to, as written
constexpr std::size_t kMaxWorkbookNames = 128;
constexpr std::size_t kWorkbookNamesSize = 32768;  // the NamedRange lines of the workbook
constexpr std::size_t kMaxSheetScopeNames = 32;    // per worksheet, print area and titles included
constexpr std::size_t kSheetNamesSize = 8192;      // the NamedRange lines of one worksheet
constexpr int kMaxSheets = 1024;

// The longest cell line, led by its row start tag: fixed text, two merge and one index
// attribute with 11-character numbers, the longest formula and style ID, the longest type
// name and value, and the few bytes the one-pass encoder may run past the value's limit.
// The formula and the style ID count in their escaped forms, and a link with its tip.
constexpr std::size_t kCellLineSize =
    sizeof("   <Row>\n") + kPendingRowAttrsSize +
    sizeof("    <Cell ><Data ss:Type=\"DateTime\"></Data></Cell>\n") +
    2 * sizeof("ss:MergeAcross=\"-2147483648\" ") + sizeof("ss:Index=\"-2147483648\" ") +
    sizeof("ss:Formula=\"\" ") + kEscapeFactor * kMaxFormula + sizeof("ss:StyleID=\"\" ") +
    kMaxEscapedId + kMaxValueBytes + 2 * kMaxUnitBytes +
    sizeof("ss:HRef=\"\" x:HRefScreenTip=\"\" ") + kMaxLinkBytes + kMaxTipBytes;
static_assert(kCellLineSize < Output::kBufferSize / 4);

// A block of cells, 1-based; lastRow 0 reaches down to the last row written, known at the
// worksheet's end.
struct CellRange {
    int firstRow = 0, firstColumn = 0, lastRow = 0, lastColumn = 0;
};

// Kept across workbooks: how client texts are read, atomic mode, and what the next
// workbook opened takes (its active sheet and document properties).
struct Settings {
    Encoding encoding = Encoding::latin1;
    // A path is written through a temporary file beside it, moved over the path (its links
    // followed) only by a close that wrote the workbook whole.
    bool atomic = false;
    int activeSheet = -1;  // 0-based; -1: none
    // Document properties, escaped; empty: not written.
    BoundedText<kPropertySize> properties[kPropertyCount];

    // Once a workbook's prologue has taken them.
    void forget_properties() noexcept {
        for (auto &value : properties) value.clear();
    }
    void reset() noexcept {
        encoding = Encoding::latin1;
        atomic = false;
        activeSheet = -1;
        forget_properties();
    }
};

struct WriterState;
struct MergeHooks;
struct MergeInput;

// The workbook open, from its open to its close or abandon.
struct Workbook {
    int phase = PHASE_STYLES;
    int sheetCount = 0;
    Registry<4096, kMaxStoredId> styleIds;
    Registry<kMaxSheets, kMaxStoredSheetName> sheetNames;
    Registry<kMaxSheets, kMaxMarkedName> deletedSheets;
    // A merge's hooks, null for a workbook of the client's alone.
    const MergeHooks *merge = nullptr;
    int mergeSheetIndex = 0;  // the open worksheet's place among a merged workbook's
    // A merge input that ended or failed before its Workbook end line: the workbook lacks
    // what the input lacked, and xlsClose says so.
    bool inputTruncated = false;
    int propertiesCursor = 0;  // the properties written so far into the prologue
    // Named ranges, until the first worksheet.
    Registry<kMaxWorkbookNames, kMaxDefinedName> nameIds;
    BoundedText<kWorkbookNamesSize> names;
    bool namesWritten = false;
    int activeSheet = -1;  // the one the prologue names
    bool selectedWritten = false;  // a worksheet carries <Selected/>

    // Empty, as before an open; the built-in style IDs are the open's to register.
    void reset() noexcept {
        phase = PHASE_STYLES;
        sheetCount = 0;
        styleIds.clear();
        sheetNames.clear();
        deletedSheets.clear();
        merge = nullptr;
        mergeSheetIndex = 0;
        inputTruncated = false;
        propertiesCursor = 0;
        nameIds.clear();
        names.clear();
        namesWritten = false;
        activeSheet = -1;
        selectedWritten = false;
    }
    // Registers the built-in style IDs Default, num, txt and date.
    void seed_style_ids() noexcept {
        for (std::string_view id : {"Default", "num", "txt", "date"}) styleIds.add(id);
    }
};

// The open worksheet: its setup, head and the options written after its table. reset()
// leaves the arrays as they are, their counts saying what is in use.
struct Sheet {
    xlsSheetSetup setup = {};
    // The header and footer escaped, and the encoding the other texts are read in when
    // the worksheet ends.
    BoundedText<kPageTextSize> pageHeader, pageFooter;
    Encoding encoding = Encoding::latin1;
    // Its head (Worksheet start, Names, Table start) is written by its first column, cell or
    // its end; its names go in there.
    bool headPending = false;
    BoundedText<kMaxEscapedSheetName + 1> name;  // escaped
    Registry<kMaxSheetScopeNames, kMaxDefinedName> nameIds;
    BoundedText<kSheetNamesSize> scopeNames;

    int freezeRows = 0, freezeColumns = 0;
    bool filter = false;
    bool filterNamed = false;  // its _FilterDatabase name went before the table
    CellRange filterRange;
    int selectRow = 0, selectColumn = 0;  // the active cell; 0: none
    int tabColor = -1;                    // palette index; -1: none
    int zoom = 0;
    int display = 0;                      // XLS_DISPLAY_* flags
    int visibility = 0;                   // 0 visible, 1 hidden, 2 very hidden
    bool protect = false;
    int scale = 0, fitWidth = -1, fitHeight = -1, paperSize = 0;
    int rowBreakCount = 0, columnBreakCount = 0;
    int rowBreaks[kMaxPageBreaks];
    int columnBreaks[kMaxPageBreaks];
    std::size_t validationCount = 0;
    struct Validation {
        CellRange range;
        BoundedText<kValidationSize> body;  // the children after Range
    } validations[kMaxValidations];
    std::size_t conditionalCount = 0;
    struct Conditional {
        CellRange range;
        std::size_t count = 0;
        BoundedText<kConditionSize> conditions[kMaxConditions];
    } conditionals[kMaxConditionalRanges];

    void reset() noexcept {
        setup = {};
        pageHeader.clear();
        pageFooter.clear();
        encoding = Encoding::latin1;
        headPending = false;
        name.clear();
        nameIds.clear();
        scopeNames.clear();
        freezeRows = freezeColumns = 0;
        filter = filterNamed = false;
        selectRow = selectColumn = 0;
        tabColor = -1;
        zoom = display = visibility = 0;
        protect = false;
        scale = paperSize = 0;
        fitWidth = fitHeight = -1;
        rowBreakCount = columnBreakCount = 0;
        validationCount = conditionalCount = 0;
    }
};

// The link and comment given for the next cell.
struct CellExtras {
    BoundedText<kMaxLinkBytes + 1> link;  // the attribute values, escaped
    BoundedText<kMaxTipBytes + 1> tip;
    bool comment = false;
    bool showAlways = false;
    BoundedText<kMaxCommentBytes + 1> commentText;  // element content, escaped
    BoundedText<kMaxCommentAuthorBytes + 1> author;  // attribute value, escaped

    void reset() noexcept {
        link.clear();
        tip.clear();
        comment = false;
    }
};

// The rows and cells of the open worksheet: where the next cell goes. Reset by each
// worksheet's start.
struct Cells {
    int currentRow = 1;     // where the next cell without a skip lands in the file
    int currentColumn = 1;
    int lastRow = 0;        // row of the last cell written in the worksheet; 0: none yet
    bool rowOpen = false;
    BoundedText<kPendingRowAttrsSize> pendingRowAttrs;
    bool extrasPending = false;  // a link or comment waits for the next cell
    CellExtras extras;

    void reset() noexcept {
        currentRow = currentColumn = 1;
        lastRow = 0;
        rowOpen = false;
        pendingRowAttrs.clear();
        extrasPending = false;
        extras.reset();
    }
};

struct WriterState {
    Settings settings;
    Workbook book;
    Sheet sheet;
    Cells cells;
    Output out;
    Input in;  // a merge's
    // A merge's reading state, allocated at the state's first merge and kept with it, and
    // the merge's function that frees it.
    MergeInput *mergeInput = nullptr;
    void (*freeMergeInput)(MergeInput *) noexcept = nullptr;
    // The last error, and the results the exported calls hand back, valid until the next
    // call of the same kind.
    BoundedText<255> errorText;
    int errorErrno = 0;  // the system's reason for the last failure; 0: none had one
    StagingText staging;
    char positionText[20] = {};
    // Five fixed characters and four offsets of up to 11 characters in brackets.
    char rectangleText[5 + 4 * 13 + 1] = {};
    char utf8Buffer[kServiceBufferSize];
    char replaceBuffer[kServiceBufferSize];

    // Ends what a workbook left open (a stream's unwritten bytes dropped, a temporary file
    // removed, the input closed) and empties the workbook and worksheet records for the
    // next one, the link or comment waiting for a cell dropped; the settings stay, and the
    // cells' position stays readable.
    void reset_workbook() noexcept {
        out.drop();
        in.close();
        book.reset();
        sheet.reset();
        cells.extras.reset();
        cells.extrasPending = false;
    }
};

// The questions the calls ask of the phase, each asked one way.
// A worksheet is open and its output too: its options, rows and cells may come.
inline bool sheet_open(const WriterState &w) noexcept {
    return w.book.phase >= PHASE_SHEET && w.out.is_open();
}
// The open worksheet's head is still to be written: its names and columns may come.
inline bool sheet_head_open(const WriterState &w) noexcept {
    return w.book.phase == PHASE_SHEET && w.sheet.headPending;
}

// A style ID as the file writes it: an XML name.
using StyleName = BoundedText<kMaxEscapedId + 1>;

// Whether the calling thread has a state: its own, taken at its first call, or the context
// it selected. Every exported call asks first and, when false, returns its failure result:
// the state could not be allocated and the message has been printed.
bool attach_thread() noexcept;

// Adds a to b without overflow, saturating at the int range.
inline int saturating_add(int a, long long b) noexcept {
    long long r = static_cast<long long>(a) + b;
    return r > INT_MAX ? INT_MAX : r < INT_MIN ? INT_MIN : static_cast<int>(r);
}

// The calling thread's current state; null until its first call (see attached()).
[[gnu::tls_model("initial-exec")]] extern constinit thread_local WriterState *current_state;

inline bool attached() noexcept { return current_state != nullptr || attach_thread(); }

// Whether the calling thread has a state already, without taking one: for the cell calls,
// which hand a thread's first call to a function that asks attached(), so that their
// common path makes no call.
inline bool attached_already() noexcept { return current_state != nullptr; }

// The calling thread's state, once attached() said yes.
inline WriterState &current() noexcept { return *current_state; }

}  // namespace gridquill::detail
