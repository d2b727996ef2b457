// Merge: a new workbook that starts as a copy of an existing one up to its styles, and
// takes the input's worksheets, less the marked ones, with its first own worksheet.
#include "merge.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "../writer/extras.hpp"
#include "../writer/state.hpp"

namespace gridquill::detail {

namespace {

// What a reader sees of a name or ID in the input, read as the writer reads a client's
// text in the Latin-1 mode: references replaced, valid UTF-8 kept, other bytes as Latin-1
// (a cell that names an input style by its bytes then finds it). False when it is longer.
template <std::size_t N>
bool seen_in_input(BoundedText<N> &seen, std::string_view raw) noexcept {
    BoundedText<kMaxUnitBytes * kMaxMarkedName + 1> escaped;
    append_text(escaped, raw, Place::attribute, Source::markup, Encoding::latin1);
    return append_decoded(seen, escaped.view());
}

constexpr std::size_t kLineSize = 4000;  // one piece of the input: at most 3999 characters
constexpr auto npos = std::string_view::npos;

struct BuiltInStyle {
    std::string_view id;
    std::string_view definition;
};

// Added after the input's styles when the input has no style of that ID, in this order.
constexpr BuiltInStyle kBuiltInStyles[] = {
    {"txt",
     "  <Style ss:ID=\"txt\">\n   <Alignment ss:Horizontal=\"Left\" ss:Vertical=\"Bottom\"/>\n"
     "   <NumberFormat/>\n   <Protection ss:Protected=\"0\"/>\n  </Style>\n"},
    {"num",
     "  <Style ss:ID=\"num\">\n   <Alignment ss:Horizontal=\"Right\" ss:Vertical=\"Bottom\"/>\n"
     "   <NumberFormat/>\n   <Protection ss:Protected=\"0\"/>\n  </Style>\n"},
    {"date",
     "  <Style ss:ID=\"date\">\n   <Alignment ss:Horizontal=\"Center\" ss:Vertical=\"Bottom\"/>\n"
     "   <NumberFormat ss:Format=\"Short Date\"/>\n   <Protection ss:Protected=\"0\"/>\n"
     "  </Style>\n"},
};

// Reads the next piece of the input, up to and including a line feed and at most
// kLineSize - 1 characters; its length, 0 at the end of the input.
std::size_t read_piece(std::FILE *in, char (&line)[kLineSize]) noexcept {
    std::size_t n = 0;
    while (n < kLineSize - 1) {
#ifdef __GLIBC__
        int c = getc_unlocked(in);
#else
        int c = std::getc(in);
#endif
        if (c == EOF) break;
        line[n++] = static_cast<char>(c);
        if (c == '\n') break;
    }
    line[n] = '\0';
    return n;
}

enum class Attribute { found, missing, malformed };

// The value after the first `key` of a piece, up to the next double quote.
Attribute attribute_after(std::string_view piece, std::string_view key,
                          std::string_view &value) noexcept {
    std::size_t at = piece.find(key);
    if (at == npos) return Attribute::missing;
    piece.remove_prefix(at + key.size());
    std::size_t end = piece.find('"');
    if (end == npos) return Attribute::malformed;
    value = piece.substr(0, end);
    return Attribute::found;
}

// True when the output path names the open input: the same text, or the same device
// and inode (another path, a link).
bool is_input(const char *inputPath, const char *outputPath) noexcept {
    if (std::string_view(inputPath) == outputPath) return true;
    struct stat in {}, out {};
    return fstat(fileno(g.inFile), &in) == 0 && stat(outputPath, &out) == 0 &&
           in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

// Registers one input style ID; 0 with a message when it cannot be taken.
int register_style_line(std::string_view piece) noexcept {
    std::string_view id;
    switch (attribute_after(piece, ":ID=\"", id)) {
    case Attribute::missing: return fail({"File in input con tag <Style> con ID mancante."});
    case Attribute::malformed: return fail({"File in input con tag <Style> con ID malformato."});
    case Attribute::found: break;
    }
    if (id.empty()) return fail({"File in input con tag <Style> con ID malformato."});
    BoundedText<kMaxStoredId + 1> seen;  // registered as a reader sees it
    if (id.size() > kMaxRegisteredId || !seen_in_input(seen, id))  // bytes that read as more
        return fail({"File in input con tag <Style> con ID troppo lungo (al massimo 31 caratteri)."});
    switch (g.styleIds.add(seen.view())) {
    case decltype(g.styleIds)::Add::full: return fail({"File in input con troppi tag <Style>."});
    default: return kYes;  // an ID the input repeats is registered once
    }
}

constexpr std::uint32_t name_hash(std::string_view name) noexcept {
    std::uint32_t h = 2166136261u;
    for (char c : name) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return h;
}

// Follows the markup of the input piece by piece: element nesting (end tags checked against
// their start tags by name), quoted attributes, references, comments, processing
// instructions and CDATA sections; and reports, per piece, the elements that the line
// copy treats as its landmarks. What it does not check: characters and their encoding,
// attribute names and repeated attributes.
class Markup {
public:
    enum class Fault { none, malformed, root, deep };

    // Feeds one piece; the events below count what this piece held.
    Fault feed(std::string_view piece) noexcept {
        stylesClosed = sheetsStarted = rootClosed = 0;
        for (char c : piece) {
            if (fault_ != Fault::none) break;
            step(c);
        }
        return fault_;
    }
    int depth() const noexcept { return depth_; }
    bool in_text() const noexcept { return state_ == State::text; }
    unsigned long long line() const noexcept { return line_; }
    int stylesClosed = 0, sheetsStarted = 0, rootClosed = 0;

private:
    enum class State { text, open, start_name, attrs, quote, self_close, end_name, end_tail,
                       bang, comment, pi, cdata, ref };
    static constexpr int kMaxDepth = 64;
    static constexpr std::uint32_t kWorkbook = name_hash("Workbook"), kStyles = name_hash("Styles"),
                                   kWorksheet = name_hash("Worksheet");

    static bool name_char(char c) noexcept {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == ':' || c == '_' || c == '-' || c == '.' || static_cast<unsigned char>(c) >= 0x80;
    }
    static bool blank(char c) noexcept { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

    void bad(Fault f = Fault::malformed) noexcept { fault_ = f; }

    void start_name_done() noexcept {
        if (depth_ == 1 && hash_ == kWorksheet) ++sheetsStarted;
    }
    void push() noexcept {
        if (depth_ == 0) {
            // The library's own lines use the default namespace and the ss and x prefixes.
            std::string_view tag = rootTag_.view();
            if (hash_ != kWorkbook ||
                tag.find(" xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\"") == npos ||
                tag.find(" xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\"") == npos ||
                tag.find(" xmlns:x=\"urn:schemas-microsoft-com:office:excel\"") == npos)
                return bad(Fault::root);
            rootSeen_ = true;
        } else if (!rootSeen_ || depth_ >= kMaxDepth) {
            return bad(rootSeen_ ? Fault::deep : Fault::malformed);
        }
        stack_[depth_++] = hash_;
        state_ = State::text;
    }
    void pop() noexcept {
        if (depth_ == 0 || stack_[depth_ - 1] != hash_) return bad();
        --depth_;
        if (depth_ == 1 && hash_ == kStyles) ++stylesClosed;
        if (depth_ == 0) ++rootClosed;
        state_ = State::text;
    }

    void step(char c) noexcept {
        if (c == '\n') ++line_;
        if (depth_ == 0 && !rootSeen_ && state_ != State::text) rootTag_.append(c);
        switch (state_) {
        case State::text:
            if (c == '<') {
                state_ = State::open;
                if (depth_ == 0 && !rootSeen_) rootTag_.assign("<");
            } else if (c == '&') {
                state_ = State::ref, count_ = 0;
            } else if (depth_ == 0 && !blank(c)) {
                bad();  // text outside the root element
            }
            return;
        case State::ref:
            if (c == ';' && count_ > 0) state_ = State::text;
            else if ((name_char(c) || c == '#') && ++count_ < 32) return;
            else bad();
            return;
        case State::open:
            if (c == '/') state_ = State::end_name, hash_ = name_hash("");
            else if (c == '!') state_ = State::bang, count_ = 0;
            else if (c == '?') state_ = State::pi, count_ = 0;
            else if (name_char(c)) state_ = State::start_name, hash_ = name_hash({&c, 1});
            else bad();
            return;
        case State::start_name:
            if (name_char(c)) {
                hash_ = (hash_ ^ static_cast<unsigned char>(c)) * 16777619u;
                return;
            }
            start_name_done();
            state_ = State::attrs;
            [[fallthrough]];
        case State::attrs:
            if (c == '>') push();
            else if (c == '/') state_ = State::self_close;
            else if (c == '"' || c == '\'') state_ = State::quote, quote_ = c;
            else if (c == '<' || c == '&') bad();
            return;
        case State::quote:
            if (c == quote_) state_ = State::attrs;
            else if (c == '<') bad();
            return;
        case State::self_close:
            if (c != '>') return bad();
            if (depth_ == 0) return bad(Fault::root);  // an empty root holds no styles
            state_ = State::text;
            return;
        case State::end_name:
            if (name_char(c)) {
                hash_ = (hash_ ^ static_cast<unsigned char>(c)) * 16777619u;
                return;
            }
            state_ = State::end_tail;
            [[fallthrough]];
        case State::end_tail:
            if (c == '>') pop();
            else if (!blank(c)) bad();
            return;
        case State::bang: {  // after "<!": "--" opens a comment, "[CDATA[" a section
            constexpr std::string_view kComment = "--", kCdata = "[CDATA[";
            bangText_[count_++] = c;
            std::string_view seen(bangText_, static_cast<std::size_t>(count_));
            if (seen == kComment) state_ = State::comment, count_ = 0;
            else if (seen == kCdata && depth_ > 0) state_ = State::cdata, count_ = 0;
            else if (seen == kCdata || (!kComment.starts_with(seen) && !kCdata.starts_with(seen)))
                bad();  // no CDATA outside the root, no document type declaration
            return;
        }
        case State::comment:  // up to "-->"
            if (c == '-') ++count_;
            else if (c == '>' && count_ >= 2) state_ = State::text;
            else count_ = 0;
            return;
        case State::pi:  // up to "?>"
            if (c == '>' && count_ == 1) state_ = State::text;
            else count_ = c == '?' ? 1 : 0;
            return;
        case State::cdata:  // up to "]]>"
            if (c == ']') ++count_;
            else if (c == '>' && count_ >= 2) state_ = State::text;
            else count_ = 0;
            return;
        }
    }

    State state_ = State::text;
    Fault fault_ = Fault::none;
    int depth_ = 0, count_ = 0;
    char quote_ = '"';
    char bangText_[8] = {};
    bool rootSeen_ = false;
    std::uint32_t hash_ = 0;
    std::uint32_t stack_[kMaxDepth] = {};
    unsigned long long line_ = 1;
    BoundedText<2048> rootTag_;
};

std::string_view trimmed(std::string_view piece) noexcept {
    std::size_t from = piece.find_first_not_of(" \t\r\n");
    if (from == npos) return {};
    return piece.substr(from, piece.find_last_not_of(" \t\r\n") + 1 - from);
}

// The landmarks of the copy must be the elements they stand for, each on a line of its
// own (a Worksheet start line may go on after its start tag): otherwise the copy would cut
// elements apart or leave some open.
int refuse_layout(std::string_view what) noexcept {
    return fail({"File in input con ", what, ": non e' nel formato a righe scritto da questa libreria."});
}

int refuse_markup(Markup::Fault fault, unsigned long long line) noexcept {
    char number[24];
    auto end = std::to_chars(number, number + sizeof number, line).ptr;
    switch (fault) {
    case Markup::Fault::root:
        return fail({"File in input senza un tag <Workbook> con gli spazi dei nomi di Excel."});
    case Markup::Fault::deep:
        return fail({"File in input con elementi annidati oltre 64 livelli alla riga ",
                     std::string_view(number, static_cast<std::size_t>(end - number)), "."});
    default:
        return fail({"File in input con XML non ben formato alla riga ",
                     std::string_view(number, static_cast<std::size_t>(end - number)), "."});
    }
}

// Reads the whole input once before anything is written: the checks of its first two
// lines and its style lines, registering the style IDs, then the layout the copy needs up
// to its Workbook end line. 0 with a message for an input the copy could not carry whole.
int check_input() noexcept {
    char line[kLineSize];
    Markup markup;
    bool styleSeen = false, inStyles = true, atLineStart = true;
    for (unsigned long long number = 1;; ++number) {
        std::size_t n = read_piece(g.inFile, line);
        if (n == 0) {
            if (std::ferror(g.inFile)) return fail_open({"Errore in lettura del file in input."});
            if (inStyles && !styleSeen) return fail({"File in input con tag <Style> mancante."});
            return fail({"File in input troncato: manca il tag </Workbook>."});
        }
        std::string_view piece(line, n);
        const bool lineStart = atLineStart, wholeLine = lineStart && piece.back() == '\n';
        atLineStart = piece.back() == '\n';
        const bool inText = markup.in_text();
        const int depth = markup.depth();
        if (inStyles) {
            if (number == 1 && !piece.starts_with("<?xml ")) {
                fail({"File in input non XML Excel."});
                return fail({"File in input con tag <Style> mancante."});
            }
            if (number == 2 && !piece.starts_with("<?mso-application ")) {
                fail({"File in input non sembra un file Excel valido."});
                return fail({"File in input con tag <Style> mancante."});
            }
            if (piece.find("<Style ") != npos) {
                styleSeen = true;
                if (register_style_line(piece) == kNo) return kNo;
            }
            const bool stylesEnd = piece.find("</Styles>") != npos;
            if (stylesEnd && !styleSeen) return fail({"File in input con tag <Style> mancante."});
            if (Markup::Fault f = markup.feed(piece); f != Markup::Fault::none)
                return refuse_markup(f, markup.line());
            if (stylesEnd != (markup.stylesClosed > 0) ||
                (stylesEnd && !(wholeLine && inText && depth == 2 && trimmed(piece) == "</Styles>")))
                return refuse_layout("il tag </Styles>");
            inStyles = !stylesEnd;
            continue;
        }
        const bool sheetLine = piece.find("<Worksheet ") != npos;
        const bool endLine = piece.find("</Workbook>") != npos;
        if (sheetLine) {
            if (!lineStart || !inText || depth != 1 || !trimmed(piece).starts_with("<Worksheet "))
                return refuse_layout("il tag <Worksheet>");
            std::string_view name;
            switch (attribute_after(piece, ":Name=\"", name)) {
            case Attribute::missing:
                return fail({"File in input con tag <Worksheet> con Name mancante."});
            case Attribute::malformed:
                return fail({"File in input con tag <Worksheet> con Name malformato."});
            case Attribute::found: break;
            }
            if (name.size() > kMaxMarkedName)
                return fail({"File in input con tag <Worksheet> con Name troppo lungo (al massimo "
                             "199 caratteri)."});
        }
        if (Markup::Fault f = markup.feed(piece); f != Markup::Fault::none)
            return refuse_markup(f, markup.line());
        if ((sheetLine ? 1 : 0) != markup.sheetsStarted) return refuse_layout("il tag <Worksheet>");
        if (endLine != (markup.rootClosed > 0) ||
            (endLine && !(wholeLine && inText && depth == 1 && trimmed(piece) == "</Workbook>")))
            return refuse_layout("il tag </Workbook>");
        if (endLine) return kYes;
    }
}

// Copies the checked input to the output up to its Styles end line, then adds the
// built-in styles it lacks.
int copy_styles() noexcept {
    if (std::fseek(g.inFile, 0, SEEK_SET) != 0)
        return fail_open({"Errore in lettura del file in input."});
    char line[kLineSize];
    for (std::size_t n; (n = read_piece(g.inFile, line)) != 0;) {
        std::string_view piece(line, n);
        if (piece.find("</Styles>") != npos) break;
        copy_prologue_line(piece);
    }
    for (const BuiltInStyle &style : kBuiltInStyles) {
        if (g.styleIds.contains(style.id)) continue;
        if (g.styleIds.add(style.id) != decltype(g.styleIds)::Add::added)
            return fail({"File in input con troppi tag <Style>."});
        emit(style.definition);
    }
    return kYes;
}

// Copies the input's remaining lines up to its Workbook end line, leaving out each
// marked worksheet up to the next worksheet or that end; an input that ends or fails
// before that line is reported.
void copy_sheets() noexcept {
    char line[kLineSize];
    bool copying = true;
    for (std::size_t n; (n = read_piece(g.inFile, line)) != 0;) {
        std::string_view piece(line, n);
        if (piece.find("</Workbook>") != npos) return write_workbook_names();
        if (piece.find("<Worksheet ") != npos) {
            write_workbook_names();
            std::string_view name;
            switch (attribute_after(piece, ":Name=\"", name)) {
            case Attribute::missing:
                fail({"File in input con tag <Worksheet> con Name mancante."});
                return;
            case Attribute::malformed:
                fail({"File in input con tag <Worksheet> con Name malformato."});
                return;
            case Attribute::found: break;
            }
            if (name.size() > kMaxMarkedName) {
                fail({"File in input con tag <Worksheet> con Name troppo lungo (al massimo 199 "
                      "caratteri)."});
                return;
            }
            BoundedText<kMaxMarkedName + 1> seen;  // compared as a reader sees it
            copying = !seen_in_input(seen, name) || !g.deletedSheets.contains(seen.view());
        }
        if (copying) emit(piece);
        if (piece.find("<Names>") != npos) write_workbook_names_inside();
    }
    g.inputTruncated = true;
    if (std::ferror(g.inFile)) fail_open({"Errore in lettura del file in input."});
    else fail({"File in input troncato: manca il tag </Workbook>."});
}

}  // namespace

void __CopiaSheet() noexcept {
    if (g.outFile == nullptr || g.inFile == nullptr) {
        close_input();
        errno = EBADF;
        fail_open({"Errore in apertura dei file in __CopiaSheet()."});
        return;
    }
    copy_sheets();
    close_input();
}

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" int xlsInitMerge(const char *inputPath, const char *outputPath) noexcept {
    if (!attached()) return kNo;
    drop_open_streams();
    reset_workbook();
    clear_error();
    g.mergeMode = kYes;
    g.workbookActiveSheet = g.activeSheet;  // taken by this workbook, as an open does
    g.activeSheet = -1;

    const char *input = inputPath != nullptr ? inputPath : "";
    g.inFile = std::fopen(input, "r");
    if (g.inFile == nullptr)
        return fail_open({"Errore in apertura del file in input '", input, "'"});
    std::setvbuf(g.inFile, g.inBuffer, _IOFBF, sizeof g.inBuffer);

    std::string_view where = arg(outputPath);
    if (where.empty()) where = kDefaultName;
    if (where.size() > kMaxPath) {  // refused like a path that cannot be opened
        g.outputPath.clear();
        errno = ENAMETOOLONG;
        return fail_open({"Errore in apertura del file in output '", where, "'"});
    }
    g.outputPath.assign(where);
    // A temporary output leaves the input whole until the workbook replaces it.
    if (!writes_through_temporary(g.outputPath.c_str()) && is_input(input, g.outputPath.c_str())) {
        close_input();
        return fail({"File in input e file in output coincidono."});
    }
    if (check_input() == kNo) {  // nothing is opened for writing
        close_input();
        return kNo;
    }
    g.outFile = open_output(g.outputPath.c_str());
    if (g.outFile == nullptr)
        return fail_open({"Errore in apertura del file in output '", g.outputPath.view(), "'"});
    if (copy_styles() == kNo) return kNo;
    forget_properties();
    return kYes;
}

extern "C" int xlsSheetDelete(const char *name) noexcept {
    if (!attached()) return kNo;
    std::string_view sheet = arg(name);
    if (sheet.empty()) return kNo;
    if (sheet.size() > kMaxMarkedName)
        return fail({"Nome Sheet troppo lungo (al massimo 199 caratteri) in xlsSheetDelete()."});
    // Marked as a reader sees the name the writer would write for it; a name that reads
    // longer than any input name can hold marks nothing.
    BoundedText<kMaxUnitBytes * kMaxMarkedName + 1> escaped;
    BoundedText<kMaxMarkedName + 1> seen;
    append_escaped(escaped, sheet, Place::attribute);
    if (!append_decoded(seen, escaped.view())) return kYes;
    switch (g.deletedSheets.add(seen.view())) {
    case decltype(g.deletedSheets)::Add::too_long: return kYes;
    case decltype(g.deletedSheets)::Add::full:
        return fail({"Troppi fogli da escludere: non c'e' posto per il foglio '", sheet,
                     "' in xlsSheetDelete()."});
    default: return kYes;  // a name marked again stays marked once
    }
}
