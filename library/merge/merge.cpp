// Merge: a new workbook that starts as a copy of an existing one up to its styles, and
// takes the input's worksheets, less the marked ones, with its first own worksheet.
#include "merge.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "../writer/extras.hpp"
#include "../writer/state.hpp"

namespace gridquill::detail {

namespace {

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
    if (id.size() > kMaxRegisteredId)
        return fail({"File in input con tag <Style> con ID troppo lungo (al massimo 31 caratteri)."});
    BoundedText<kMaxStoredId + 1> seen;  // registered as a reader sees it
    append_decoded(seen, id);
    switch (g.styleIds.add(seen.view())) {
    case decltype(g.styleIds)::Add::full: return fail({"File in input con troppi tag <Style>."});
    default: return kYes;  // an ID the input repeats is registered once
    }
}

// Copies the input to the output up to its Styles end line, registering the style IDs,
// then adds the built-in styles the input lacks.
int copy_styles() noexcept {
    char line[kLineSize];
    bool styleSeen = false;
    for (unsigned long long number = 1;; ++number) {
        std::size_t n = read_piece(g.inFile, line);
        if (n == 0) {
            if (std::ferror(g.inFile)) return fail_open({"Errore in lettura del file in input."});
            break;
        }
        std::string_view piece(line, n);
        if (number == 1 && !piece.starts_with("<?xml ")) {
            fail({"File in input non XML Excel."});
            break;
        }
        if (number == 2 && !piece.starts_with("<?mso-application ")) {
            fail({"File in input non sembra un file Excel valido."});
            break;
        }
        if (piece.find("<Style ") != npos) {
            styleSeen = true;
            if (register_style_line(piece) == kNo) return kNo;
        }
        if (piece.find("</Styles>") != npos) break;
        copy_prologue_line(piece);
    }
    if (!styleSeen) return fail({"File in input con tag <Style> mancante."});
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
            append_decoded(seen, name);
            copying = !g.deletedSheets.contains(seen.view());
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
    g.errorText.clear();
    g.mergeMode = kYes;

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
    if (is_input(input, g.outputPath.c_str())) {
        close_input();
        return fail({"File in input e file in output coincidono."});
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
