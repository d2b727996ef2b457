// The merge input: any workbook of the format, whoever wrote it, read twice in fixed
// memory. The first reading (scan) parses it with expat and notes where its parts lie;
// the second (the copy) streams the same bytes to the output, cut and edited at those
// places. Both read the input as one stream of UTF-8 ("clean" bytes): other encodings
// transcoded, references to control characters as blanks; offsets count in that stream.
#pragma once

#include <cstdint>
#include <string_view>

#include "../textutil/bounded_text.hpp"
#include "../writer/input.hpp"
#include "../writer/registry.hpp"
#include "arena.hpp"

namespace gridquill::detail {

using Offset = std::uint64_t;
constexpr Offset kNowhere = ~Offset{0};

constexpr std::size_t kMergeArenaSize = std::size_t{1} << 20;  // the parser's heap
constexpr std::size_t kMaxInputSheets = 1024;
constexpr std::size_t kMaxInputSheetName = 199;
constexpr std::size_t kMaxEdits = 4096;
constexpr std::size_t kMaxChildren = 32;  // of DocumentProperties, as the copy places them

enum class InputEncoding { utf8, latin1, windows1252, utf16le, utf16be };

// Bytes of the input in the clean stream, chunk by chunk.
class CleanSource {
public:
    void start(Input &in, InputEncoding encoding) noexcept;
    // The next chunk; empty at the end of the input or on a read error (failed()).
    std::string_view next() noexcept;
    bool failed() const noexcept { return failed_; }

private:
    std::size_t decode(const unsigned char *raw, std::size_t n, char *out) noexcept;
    std::size_t blank_control_references(char *text, std::size_t n, bool last) noexcept;

    static constexpr std::size_t kRaw = 1 << 16;
    Input *in_ = nullptr;
    InputEncoding encoding_ = InputEncoding::utf8;
    bool failed_ = false, ended_ = false, first_ = true;
    std::size_t pendingRaw_ = 0;   // undecoded bytes kept from the last read
    std::size_t pendingText_ = 0;  // clean bytes held back (a reference cut by the chunk)
    std::size_t heldAt_ = 0;       // where they wait
    unsigned char raw_[kRaw + 8];
    char text_[3 * kRaw + 64];
};

// Where a part of the input lies; cut offsets include the blanks that lead its line and
// the line end that follows it, so that a part on lines of its own goes with its lines.
struct InputSheet {
    Offset start = kNowhere, end = kNowhere;           // the whole Worksheet element
    Offset selectedStart = kNowhere, selectedEnd = kNowhere;
    Offset optionsInside = kNowhere;  // after the WorksheetOptions start tag
    Offset optionsAt = kNowhere;      // where options go when the sheet has none
    Offset tableTagEnd = kNowhere, tableEnd = kNowhere;  // Table start tag end, end tag cut
    Offset countsStart[2] = {kNowhere, kNowhere}, countsEnd[2] = {kNowhere, kNowhere};
    int lastRow = 0;    // the last row the table's rows reach, Span counted
    int reachRow = 0;   // the last row its cells reach, merges down counted
    std::uint16_t nameIndex = 0;  // its name in the input's registry of sheet names
    bool hidden = false, optionsEmpty = false, tableEmpty = false, appendable = false;
    std::uint8_t optionsPrefix = 0, tablePrefix = 0;  // prefix lengths, in prefixText
    char prefixText[2][16] = {};
};

struct PropertyChild {
    int order = -1;  // place in the DocumentProperties sequence; -1: unknown
    Offset start = 0, end = 0;
};

// What the scan learnt of the input.
struct InputPlan {
    InputEncoding encoding = InputEncoding::utf8;
    Offset length = 0;
    Offset declStart = kNowhere, declEnd = kNowhere;
    bool standalone = false;
    Offset rootGt = 0, rootTagEnd = 0;  // the root start tag's '>' and end
    bool rootEmpty = false;
    BoundedText<512> rootDeclarations;  // namespace declarations the root lacks
    BoundedText<64> rootName;           // its qualified name
    Offset rootEnd = 0;                 // cut before the root end tag
    // Places before which new parts go: the first child that may follow them.
    Offset propertiesAt = kNowhere, workbookAt = kNowhere, stylesAt = kNowhere;
    Offset propertiesInside = kNowhere, propertiesEnd = kNowhere;  // the input's element
    BoundedText<16> propertiesPrefix;
    std::size_t childCount = 0;
    PropertyChild children[kMaxChildren];
    Offset workbookEnd = kNowhere;      // ExcelWorkbook end tag cut
    Offset activeAt = kNowhere;         // where an ActiveSheet element goes
    BoundedText<16> workbookPrefix;
    Offset activeStart = kNowhere, activeEnd = kNowhere;  // the ActiveSheet text
    Offset firstStart = kNowhere, firstEnd = kNowhere;    // the FirstVisibleSheet text
    int activeSheet = 0, firstVisible = 0;
    bool anySelected = false;           // some sheet marked selected
    Offset stylesEnd = kNowhere;        // cut before the Styles end tag
    bool stylesEmpty = false;
    BoundedText<64> stylesName;
    Offset namesInside = kNowhere;      // after the workbook Names start tag
    bool namesEmpty = false;
    BoundedText<64> namesName;
    Offset afterSheets = 0;             // new sheets go here
    std::size_t sheetCount = 0;
    InputSheet sheets[kMaxInputSheets];
};

// One change the copy makes: at `at`, the bytes up to `to` give way to `text` (from the
// pool) or to the workbook's names.
struct Edit {
    enum Kind : std::uint8_t { text, names, names_inside };
    Offset at = 0, to = 0;
    std::uint32_t textAt = 0, textSize = 0;
    Kind kind = text;
};

enum class SheetMark : std::uint8_t { keep, drop, replace, append, passed };

// Everything a merge keeps besides the writer's own state: allocated at a state's first
// merge and kept with it.
struct MergeInput {
    Arena<kMergeArenaSize> arena;
    CleanSource source;
    InputPlan plan;
    Registry<kMaxInputSheets, kMaxInputSheetName> sheetNames;  // as readers compare them
    char sheetText[kMaxInputSheets][kMaxInputSheetName + 1] = {};  // as a reader sees them
    SheetMark marks[kMaxInputSheets] = {};
    int outputIndex[kMaxInputSheets] = {};  // place among the output's sheets; -1 left out
    std::size_t editCount = 0, nextEdit = 0;
    Edit edits[kMaxEdits];
    BoundedText<32768> pool;
    // The copy's position, and the chunk of the clean stream it stands in.
    Offset cursor = 0, chunkStart = 0;
    std::string_view chunk;
    bool headWritten = false, sheetsBegun = false, copyEnded = false, namesRegistered = false;
    unsigned builtIns = 0;      // the built-in styles the input lacks, one bit each
    std::size_t nextSheet = 0;  // the first input sheet the copy has not passed
    int active = 0;             // the output's active sheet
    bool activeChosen = false;  // by the client
    int keptCount = 0;          // input sheets in the output
    int newSheets = 0;          // the client's sheets after them
    int appending = -1;         // the input sheet the open worksheet continues
    int messageLine = 0;
};

constexpr std::string_view kReadError = "Errore in lettura del file in input.";

// What the scan hands to the writer: each style ID of the input, false when the writer's
// registry is full.
struct ScanTarget {
    std::size_t maxStyleId = 31;
    bool (*add_style)(std::string_view id) noexcept = nullptr;
    void (*add_name)(std::string_view name) noexcept = nullptr;  // a workbook name
};

// The scan of the whole input from its start: the encoding found, the parse, the plan.
// False with the message when the input is refused.
bool scan_input(MergeInput &m, Input &in, const ScanTarget &target,
                BoundedText<256> &message) noexcept;

}  // namespace gridquill::detail
