// The writer state: the record that holds one workbook in progress (one per thread, or a
// context the client made), and the helpers every operation shares to write and report.
#pragma once

#include <climits>
#include <cstdio>
#include <initializer_list>
#include <string_view>

#include "../gridquill.h"
#include "../textutil/bounded_text.hpp"
#include "../textutil/escape.hpp"
#include "../textutil/textutil.hpp"
#include "registry.hpp"

namespace gridquill::detail {

struct MergeInput;

// PHASE_CELLS_WAITING: as PHASE_CELLS, with a link or comment waiting for the next cell
// (so that the cell path, which tests for PHASE_CELLS, looks for them only then).
enum Phase : int { PHASE_STYLES = 0, PHASE_SHEET = 1, PHASE_CELLS = 2, PHASE_CELLS_WAITING = 3 };

constexpr int kYes = -1;  // flags and results: -1 yes / success, 0 no / failure
constexpr int kNo = 0;

constexpr std::size_t kMaxStyleId = 15;         // IDs that xlsAddStyle accepts
constexpr std::size_t kMaxRegisteredId = 31;    // IDs a merge input may bring
constexpr std::size_t kMaxSheetName = 31;       // longer names are cut (characters in the new modes)
constexpr std::size_t kMaxMarkedName = 199;     // a worksheet name in a merge input
#ifdef PATH_MAX
constexpr std::size_t kMaxPath = PATH_MAX - 1;  // longer paths are refused, as the system does
#else
constexpr std::size_t kMaxPath = 4095;
#endif
// The registries hold names as a reader sees them, in UTF-8: a style ID of 15 bytes of
// Windows-1252 takes up to 45 bytes, a sheet name of 31 characters up to 124.
constexpr std::size_t kMaxStoredId = 47;
constexpr std::size_t kMaxStoredSheetName = 4 * kMaxSheetName;
// The escaped form of a style ID that a cell, row or column names: each character of a
// registered ID may come as a reference of up to kMaxUnitBytes.
constexpr std::size_t kMaxEscapedId = kMaxUnitBytes * kMaxStoredId;
// Escaped sheet name, header and footer (127 bytes, each up to 6 once escaped).
constexpr std::size_t kMaxEscapedSheetName = kMaxUnitBytes * kMaxSheetName;
constexpr std::size_t kPageTextSize = 6 * 128;
constexpr std::size_t kMaxCellUnits = 32767;    // UTF-16 units of a cell in the new modes
constexpr std::string_view kDefaultName = "Cartella";  // for an empty path or author
constexpr std::size_t kMaxFormula = 1024;       // formulas are written whole or refused
constexpr std::size_t kMaxValueBytes = 3997;    // a converted cell value
constexpr std::size_t kOutputBufferSize = 1 << 17;

// What every call reports when the calling thread's state cannot be allocated.
constexpr char kNoState[] = "Memoria insufficiente per lo stato della cartella di lavoro.\n";

// Index, height, style ID, hidden.
constexpr std::size_t kPendingRowAttrsSize = 128 + kMaxEscapedId;

// What a cell may carry besides its value (cell_extras.cpp): texts kept in their escaped
// form until the cell is written; a longer text is refused.
constexpr std::size_t kMaxLinkBytes = 2079;     // a link's address
constexpr std::size_t kMaxTipBytes = 255;       // its screen tip
constexpr std::size_t kMaxCommentBytes = 8191;  // a comment's text
constexpr std::size_t kMaxCommentAuthorBytes = 255;

// What a worksheet writes after its table (sheet_options.cpp), kept until its end.
constexpr int kMaxRowNumber = 1048576;           // ranges, breaks, frozen rows, selections
constexpr int kMaxColumnNumber = 256;            // the columns a table declares
constexpr std::size_t kMaxValidations = 16;      // DataValidation elements per worksheet
constexpr std::size_t kValidationSize = 2048;    // one of them, escaped, without its range
constexpr std::size_t kMaxConditionalRanges = 16;  // ConditionalFormatting elements
constexpr std::size_t kMaxConditions = 3;          // conditions per range, the format's limit
constexpr std::size_t kConditionSize = 512;        // one Condition element, escaped
constexpr std::size_t kMaxPageBreaks = 256;        // row breaks, and column breaks

// What a workbook carries before its sheets, kept in fixed memory until it is written.
constexpr int kPropertyCount = 7;                // Title ... Company, in document order
constexpr std::size_t kMaxPropertyText = 255;    // a property value as the client gives it
constexpr std::size_t kPropertySize = 6 * kMaxPropertyText + 1;  // escaped: &quot; is 6 bytes
constexpr std::size_t kMaxDefinedName = 255;     // a named range's name
constexpr std::size_t kMaxNameReference = 1024;  // what it refers to, as written
constexpr std::size_t kMaxWorkbookNames = 128;
constexpr std::size_t kWorkbookNamesSize = 32768;  // the NamedRange lines of the workbook
constexpr std::size_t kMaxSheetScopeNames = 32;    // per worksheet, print area and titles included
constexpr std::size_t kSheetNamesSize = 8192;      // the NamedRange lines of one worksheet

// The client's write callback and its context, for a workbook written to a stream.
struct StreamTarget {
    xlsWriteFunction write = nullptr;
    void *context = nullptr;
    bool failed = false;  // a write failed: no further calls
    int error = 0;        // its errno
};

// The longest cell line, led by its row start tag: fixed text, two merge and one index
// attribute with 11-character numbers, the longest formula and style ID, the longest type
// name and value, and the few bytes the one-pass encoder may run past the value's limit.
// The formula and the style ID count in their escaped forms (a quote takes 6 bytes).
constexpr std::size_t kCellLineSize =
    sizeof("   <Row>\n") + kPendingRowAttrsSize +
    sizeof("    <Cell ><Data ss:Type=\"DateTime\"></Data></Cell>\n") +
    2 * sizeof("ss:MergeAcross=\"-2147483648\" ") + sizeof("ss:Index=\"-2147483648\" ") +
    sizeof("ss:Formula=\"\" ") + 6 * kMaxFormula + sizeof("ss:StyleID=\"\" ") +
    kMaxEscapedId + kMaxValueBytes + 2 * kMaxUnitBytes;
// A cell line with a link is assembled in cellLine, which has room for it too.
constexpr std::size_t kCellLineBufferSize =
    kCellLineSize + sizeof("ss:HRef=\"\" x:HRefScreenTip=\"\" ") + kMaxLinkBytes + kMaxTipBytes;

// A block of cells, 1-based; lastRow 0 reaches down to the last row written, known at the
// worksheet's end.
struct CellRange {
    int firstRow = 0, firstColumn = 0, lastRow = 0, lastColumn = 0;
};

// The link and comment given for the next cell.
struct CellExtras {
    BoundedText<kMaxLinkBytes + 1> link;  // the attribute values, escaped
    BoundedText<kMaxTipBytes + 1> tip;
    bool comment = false;
    bool showAlways = false;
    BoundedText<kMaxCommentBytes + 1> commentText;  // element content, escaped
    BoundedText<kMaxCommentAuthorBytes + 1> author;  // attribute value, escaped
};

// The options of the open worksheet; reset() at each worksheet start leaves the arrays as
// they are, their counts saying what is in use.
struct SheetOptions {
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

struct WriterState {
    int sheetCount = 0;
    Registry<4096, kMaxStoredId> styleIds;
    int currentRow = 1;     // where the next cell without a skip lands in the file
    int currentColumn = 1;
    int lastRow = 0;        // row of the last cell written in the worksheet; 0: none yet
    int phase = PHASE_STYLES;
    int rowOpen = kNo;
    bool cellExtrasPending = false;  // a link or comment waits for the next cell
    int mergeMode = kNo;
    BoundedText<kPendingRowAttrsSize> pendingRowAttrs;
    Registry<1024, kMaxStoredSheetName> sheetNames;
    Registry<1024, kMaxMarkedName> deletedSheets;
    BoundedText<kMaxPath + 1> outputPath;
    // Atomic mode (xlsSetAtomic), kept across workbooks: a path is written through a
    // temporary file beside it, moved over the path (its links followed) only by a close
    // that wrote the workbook whole. tempPath is empty when no such file is open.
    bool atomic = false;
    BoundedText<kMaxPath + 1> tempPath;
    xlsSheetSetup currentSheet = {};
    // The current worksheet's header and footer escaped, and the encoding its other texts
    // are read in when the worksheet ends.
    BoundedText<kPageTextSize> pageHeader, pageFooter;
    Encoding sheetEncoding = Encoding::latin1;
    // How client texts are read; kept across workbooks until changed.
    Encoding encoding = Encoding::latin1;
    std::FILE *outFile = nullptr;
    std::FILE *inFile = nullptr;
    // A merge's reading state, allocated at the state's first merge and kept with it.
    MergeInput *mergeInput = nullptr;
    int mergeSheetIndex = 0;  // the open worksheet's place among a merged workbook's
    BoundedText<255> errorText;
    int errorErrno = 0;  // the system's reason for the last failure; 0: none had one
    BoundedText<8192> staging;
    char positionText[20] = {};
    // Five fixed characters and four offsets of up to 11 characters in brackets.
    char rectangleText[5 + 4 * 13 + 1] = {};

    // Output bookkeeping: the stream's own buffer and the first failed write.
    bool writeFailed = false;
    int writeErrno = 0;
    // A merge input that ended or failed before its Workbook end line: the workbook lacks
    // what the input lacked, and xlsClose says so.
    bool inputTruncated = false;
    // Output through the client's callback instead of a file (xlsInitStream).
    StreamTarget stream;

    // Document properties for the next workbook opened, escaped; empty: not written.
    BoundedText<kPropertySize> properties[kPropertyCount];
    int propertiesCursor = 0;  // the properties written so far into the prologue

    // Named ranges: the workbook's until its first worksheet, then the open worksheet's
    // until its head (Worksheet start, Names, Table start) is written.
    Registry<kMaxWorkbookNames, kMaxDefinedName> workbookNameIds;
    BoundedText<kWorkbookNamesSize> workbookNames;
    bool workbookNamesWritten = false;
    Registry<kMaxSheetScopeNames, kMaxDefinedName> sheetNameIds;
    BoundedText<kSheetNamesSize> sheetScopeNames;
    bool sheetHeadPending = false;
    BoundedText<kMaxEscapedSheetName + 1> sheetName;  // the open worksheet's, escaped

    int activeSheet = -1;  // 0-based, for the next workbook's prologue; -1: none
    int workbookActiveSheet = -1;  // the one the open workbook's prologue names
    bool selectedWritten = false;  // a worksheet of the open workbook carries <Selected/>
    CellExtras cellExtras;
    SheetOptions sheet;
    alignas(64) char outBuffer[kOutputBufferSize];
    char cellLine[kCellLineBufferSize];
    // The merge input stream's own buffer, so that reading never allocates.
    alignas(64) char inBuffer[1 << 16];
    // Results of the text services AsciiToUtf8 and strReplace / strnReplace.
    char utf8Buffer[kServiceBufferSize];
    char replaceBuffer[kServiceBufferSize];
};

// Whether the calling thread has a state: its own, taken at its first call, or the context
// it selected. Every exported call asks first and, when false, returns its failure result:
// the state could not be allocated and the message has been printed.
bool attach_thread() noexcept;

// Writes to the output when one is open; remembers a failed write for xlsClose.
void emit(std::string_view text) noexcept;

// Opens `path` for writing with the library's stream buffer, or, when g.stream has a
// write function, a stream that hands the buffer to it; null on failure. In atomic mode a
// path that names a regular file or nothing yet is written through a temporary file.
std::FILE *open_output(const char *path) noexcept;

// True when open_output would write `path` through a temporary file.
bool writes_through_temporary(const char *path) noexcept;

// A stream over the client's write function (stream_output.cpp); null on failure.
std::FILE *open_client_stream(StreamTarget &target) noexcept;

// Closes the output, if open; false when any write or the close failed. A temporary file
// is synced and moved over its target when `commit` and all went well, else removed.
bool close_output(bool commit = true) noexcept;

// The error convention: the message into errorText, printed on stderr with "%s"; 0.
int fail(std::initializer_list<std::string_view> parts) noexcept;
// The same for files that fail to open: the message, then perror's reason.
int fail_open(std::initializer_list<std::string_view> parts) noexcept;
// Forgets the last failure, as an open does.
void clear_error() noexcept;

// Adds a to b without overflow, saturating at the int range.
inline int saturating_add(int a, long long b) noexcept {
    long long r = static_cast<long long>(a) + b;
    return r > INT_MAX ? INT_MAX : r < INT_MIN ? INT_MIN : static_cast<int>(r);
}

}  // namespace gridquill::detail

// The calling thread's current state; null until its first call (see attached()).
[[gnu::tls_model("initial-exec")]] extern constinit thread_local gridquill::detail::WriterState
    *gridquill_state;

// The writer state of the calling thread, or of the context it selected. Library code
// names it only as g, after attached() has said yes.
#define g (*gridquill_state)

namespace gridquill::detail {

inline bool attached() noexcept { return gridquill_state != nullptr || attach_thread(); }

// Empties the registries and counters a new or finished workbook starts from.
void reset_workbook() noexcept;

// Registers the built-in style IDs Default, num, txt and date.
void seed_style_ids() noexcept;

// Closes streams an unfinished earlier workbook left open; nothing more goes into them.
void drop_open_streams() noexcept;

// Closes the merge input, if open.
void close_input() noexcept;

// A style ID as the file writes it: an XML name.
using StyleName = BoundedText<kMaxEscapedId + 1>;
// The form in the file of the style ID a cell, row or column names; false when no style
// has that ID. An ID that is not an XML name is written in Office's _xHHHH_ form, unless it
// came so from a merge input, whose own bytes then stay.
bool style_reference(std::string_view id, StyleName &written) noexcept;

// The refusal of a worksheet call made while no worksheet is open.
int refuse_no_sheet(std::string_view call) noexcept;

// The pending link's attributes, put at o (at most their bounds); the pending comment and
// the cell's end tag, written (cell_extras.cpp). Both for the cell being written.
char *put_link(char *o) noexcept;
// Forgets the link and comment waiting for the next cell (a new worksheet, the close).
void forget_cell_extras() noexcept;
void end_cell_with_comment() noexcept;

}  // namespace gridquill::detail
