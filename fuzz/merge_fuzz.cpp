// Fuzz target: mutated workbooks merged with a mark, a style, a sheet, a column and two
// rows; the output is compared byte for byte with a line-by-line reference of the merge.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.hpp"
#include "gridquill.h"

using namespace gqfuzz;

namespace {

std::string inputPath, outputPath;  // in the private directory
constexpr std::size_t npos = std::string::npos;

// What the writer adds around a merge, taken from workbooks it writes itself.
// The sheet "Client" (a column, a cell, a row break, a cell) and the Workbook end tag,
// once without styles and once with every style named "txt".
std::string clientSheet, clientSheetStyled;
std::string styleFz;      // the Style element of xlsStyleDefault as "fz"

const char *const kBuiltIn[][2] = {
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

// The input as the merge reads it: pieces of at most 3999 characters up to a line feed.
std::vector<std::string> pieces_of(const std::string &input) {
    std::vector<std::string> pieces;
    std::size_t at = 0;
    while (at < input.size()) {
        std::size_t end = input.find('\n', at);
        std::size_t n = end == npos ? input.size() - at : end + 1 - at;
        if (n > 3999) n = 3999;
        pieces.push_back(input.substr(at, n));
        at += n;
    }
    return pieces;
}

enum class Attr { found, missing, malformed };

Attr attribute(const std::string &piece, const char *key, std::string &value) {
    std::size_t at = piece.find(key);
    if (at == npos) return Attr::missing;
    at += std::string_view(key).size();
    std::size_t end = piece.find('"', at);
    if (end == npos) return Attr::malformed;
    value = piece.substr(at, end - at);
    return Attr::found;
}

struct Expected {
    int start = -1;
    std::string startError;  // errorText after xlsInitMerge
    std::string copyError;   // message of the sheet copy, "" when none
    std::string output;
    std::vector<std::string> styleIds;  // the input's style IDs registered, in order
};

// The merge, as a client of this input sees it: start, an optional style, an optional
// mark, the input's sheets; the client's own sheet follows.
Expected reference(const std::string &input, bool addStyle, const std::string &mark) {
    Expected e;
    std::vector<std::string> pieces = pieces_of(input);
    std::set<std::string> styles;
    std::size_t next = 0;
    bool seen = false, stopped = false;
    for (; next < pieces.size() && !stopped; ++next) {
        const std::string &p = pieces[next];
        if (next == 0 && p.rfind("<?xml ", 0) != 0) {
            e.startError = "File in input non XML Excel.";
            stopped = true;
            continue;
        }
        if (next == 1 && p.rfind("<?mso-application ", 0) != 0) {
            e.startError = "File in input non sembra un file Excel valido.";
            stopped = true;
            continue;
        }
        if (p.find("<Style ") != npos) {
            seen = true;
            std::string id;
            Attr a = attribute(p, ":ID=\"", id);
            const char *bad = a == Attr::missing ? "File in input con tag <Style> con ID mancante."
                              : a == Attr::malformed || id.empty()
                                  ? "File in input con tag <Style> con ID malformato."
                              : id.size() > 31 || reference_seen(id, Enc::latin1).size() > 47
                                  ? "File in input con tag <Style> con ID troppo lungo (al massimo 31 caratteri)."
                              : styles.size() == 4096 && !styles.count(reference_seen(id, Enc::latin1))
                                  ? "File in input con troppi tag <Style>."
                                  : nullptr;
            if (bad != nullptr) {
                e.start = 0;
                e.startError = bad;
                ++next;
                break;
            }
            if (styles.insert(reference_seen(id, Enc::latin1)).second) e.styleIds.push_back(id);
        }
        if (p.find("</Styles>") != npos) {
            stopped = true;
            continue;
        }
        e.output += p;
    }
    if (e.start == -1 && !seen) {
        e.start = 0;
        e.startError = "File in input con tag <Style> mancante.";
    }
    if (e.start == -1) {
        for (const auto &b : kBuiltIn) {
            if (styles.count(b[0])) continue;
            styles.insert(b[0]);
            e.output += b[1];
        }
    }
    if (addStyle && !styles.count("fz")) e.output += styleFz;
    e.output += " </Styles>\n";
    bool copying = true;
    for (; next < pieces.size(); ++next) {
        const std::string &p = pieces[next];
        if (p.find("</Workbook>") != npos) break;
        if (p.find("<Worksheet ") != npos) {
            std::string name;
            Attr a = attribute(p, ":Name=\"", name);
            if (a == Attr::missing) e.copyError = "File in input con tag <Worksheet> con Name mancante.";
            else if (a == Attr::malformed) e.copyError = "File in input con tag <Worksheet> con Name malformato.";
            else if (name.size() > 199)
                e.copyError = "File in input con tag <Worksheet> con Name troppo lungo (al massimo 199 caratteri).";
            if (!e.copyError.empty()) break;
            // Names compare as a reader sees them, the input's and the mark as the writer
            // reads a client's text in the Latin-1 mode.
            std::string seenMark = reference_seen(mark, Enc::latin1);
            copying = mark.empty() || seenMark.size() > 199 || reference_seen(name, Enc::latin1) != seenMark;
        }
        if (copying) e.output += p;
    }
    if (next == pieces.size() && e.copyError.empty())
        e.copyError = "File in input troncato: manca il tag </Workbook>.";
    return e;
}

// The name of the k-th worksheet line of the input, "" when it has none.
std::string sheet_name(const std::string &input, int k) {
    for (const std::string &p : pieces_of(input)) {
        std::string name;
        if (p.find("<Worksheet ") != npos && attribute(p, ":Name=\"", name) == Attr::found && k-- == 0)
            return name;
    }
    return "";
}

void write_bytes(const char *path, const std::string &bytes) {
    std::FILE *f = std::fopen(path, "wb");
    if (f == nullptr) finding("cannot write the input file");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::string after(const std::string &text, const std::string &from) {
    std::size_t at = text.find(from);
    if (at == npos) finding("unexpected layout of a workbook the writer wrote", from);
    return text.substr(at + from.size());
}

// The client's own sheet, every style argument `style`; false when a call was refused.
bool client_sheet(const char *style) {
    return xlsAddSheet("Client", xlsSheetSetupDefault) == -1 && xlsColumn(1, 50, style) == -1 &&
           xlsWriteCell("valore", 'S', style) == -1 && xlsNewLineEx(0, 0, style) == -1 &&
           xlsWriteCellEx("2", 'N', style, "=R[-1]C", 0, 0, 0) == -1;
}

void learn_writer_texts() {
    xlsStyle style = xlsStyleDefault;
    std::string dir = make_private_dir("gridquill-fuzz-merge");
    inputPath = dir + "/input.xml";
    outputPath = dir + "/output.xml";
    std::string path = dir + "/client.xml";
    xlsInit(path.c_str(), "");
    client_sheet("txt");
    if (xlsClose() != -1) finding("the writer failed on a plain workbook");
    clientSheetStyled = after(read_file(path.c_str()), " </Styles>\n");
    xlsInit(path.c_str(), "");
    xlsAddStyle(style, "fz");
    if (!client_sheet("") || xlsClose() != -1) finding("the writer failed on a plain workbook");
    std::string text = read_file(path.c_str());
    clientSheet = after(text, " </Styles>\n");
    std::string styles = after(text, "  <Style ss:ID=\"date\">\n");
    std::string fromFz = "  <Style ss:ID=\"fz\">\n" + after(styles, "  <Style ss:ID=\"fz\">\n");
    styleFz = fromFz.substr(0, fromFz.find(" </Styles>\n"));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    learn_writer_texts();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2) return 0;
    // The last two bytes steer the client; the rest is the input workbook.
    unsigned control = data[size - 1], styleChoice = data[size - 2] % 16;
    std::string input(reinterpret_cast<const char *>(data), size - 2);
    write_bytes(inputPath.c_str(), input);
    reset_library();
    std::remove(outputPath.c_str());
    int fds = open_fds();

    bool twice = control & 0x80, addStyle = control & 0x40, noSheet = (control & 0x30) == 0x30;
    std::string mark;
    switch (control & 7) {
    case 1: mark = "Foglio1"; break;
    case 2: mark = "Foglio"; break;
    case 3: mark = std::string(250, 'n'); break;
    case 4: mark = sheet_name(input, 0); break;
    case 5: mark = sheet_name(input, 1); break;
    case 6: mark = sheet_name(input, 2); break;
    default: break;
    }
    mark = mark.c_str();  // what the library sees of a name with a NUL in it

    int r = xlsInitMerge(inputPath.c_str(), outputPath.c_str());
    if (twice) r = xlsInitMerge(inputPath.c_str(), outputPath.c_str());
    std::string error = xlsGetError();
    Expected e = reference(input, addStyle, mark.size() <= 199 ? mark : "");
    // The client's cells, row and column name an input style when one is chosen.
    std::string style;
    if (styleChoice >= 8 && styleChoice - 8 < e.styleIds.size()) style = e.styleIds[styleChoice - 8];
    if (style.find('\0') != npos) style.clear();
    // An ID that is not UTF-8, or holds markup or control characters, is written escaped; the
    // reference copies IDs unchanged.
    if (reference_seen(style, Enc::latin1) != reference_seen(style, Enc::utf8) ||
        std::any_of(style.begin(), style.end(),
                    [](char c) { return std::strchr("&<>\"", c) || static_cast<unsigned char>(c) < 0x20; }))
        style.clear();
    if (style.empty()) {
        e.output += clientSheet;
    } else {
        std::string styled = clientSheetStyled;
        for (std::size_t at = 0; (at = styled.find("\"txt\"", at)) != npos; at += style.size() + 2)
            styled.replace(at, 5, "\"" + style + "\"");
        e.output += styled;
    }
    // The start checks the whole input as XML before the line copy: the refusals of an
    // input that is not well-formed, or not in the line layout, go beyond the reference.
    bool wholeInput = r == 0 && (error.rfind("File in input con XML non ben formato", 0) == 0 ||
                                 error.rfind("File in input senza un tag <Workbook>", 0) == 0 ||
                                 error.rfind("File in input con elementi annidati", 0) == 0 ||
                                 error.rfind("File in input troncato", 0) == 0 ||
                                 error.find("non e' nel formato a righe") != npos ||
                                 (e.start == -1 && error.rfind("File in input con tag <", 0) == 0));
    if (wholeInput) {
        reset_library();
        require(open_fds() == fds, "a stream was left open", std::to_string(open_fds() - fds));
        return 0;
    }
    require(r == e.start, "xlsInitMerge result", error);
    require(error == e.startError, "xlsInitMerge message", error + " / expected " + e.startError);
    if (r == 0) {  // a refused start leaves nothing open to continue from
        reset_library();
        require(open_fds() == fds, "a stream was left open", std::to_string(open_fds() - fds));
        return 0;
    }

    if (!mark.empty()) {
        int m = xlsSheetDelete(mark.c_str());
        require(m == (mark.size() <= 199 ? -1 : 0), "xlsSheetDelete result", mark);
    }
    if (addStyle) xlsAddStyle(xlsStyleDefault, "fz");
    if (!noSheet) {
        std::string before = xlsGetError();
        require(xlsAddSheet("Client", xlsSheetSetupDefault) == -1, "xlsAddSheet refused");
        std::string now = xlsGetError();
        require(now == (e.copyError.empty() ? before : e.copyError), "message of the sheet copy", now);
        require(xlsColumn(1, 50, style.c_str()) == -1 && xlsWriteCell("valore", 'S', style.c_str()) == -1 &&
                    xlsNewLineEx(0, 0, style.c_str()) == -1 &&
                    xlsWriteCellEx("2", 'N', style.c_str(), "=R[-1]C", 0, 0, 0) == -1,
                "a call of the client's sheet refused an input style", style);
        // An input without its Workbook end line leaves a workbook that is not whole.
        bool truncated = e.copyError == "File in input troncato: manca il tag </Workbook>.";
        require(xlsClose() == (truncated ? 0 : -1), "xlsClose result after the copy");
        std::string output = read_file(outputPath.c_str());
        if (output != e.output) {
            std::size_t i = 0;
            while (i < output.size() && i < e.output.size() && output[i] == e.output[i]) ++i;
            finding("merged output differs from the reference",
                    "at byte " + std::to_string(i) + ": " + output.substr(i > 40 ? i - 40 : 0, 120) +
                        " / expected " + e.output.substr(i > 40 ? i - 40 : 0, 120));
        }
    } else {
        require(xlsClose() == 0, "xlsClose accepted a merge without a sheet");
    }
    reset_library();
    require(open_fds() == fds, "a stream was left open", std::to_string(open_fds() - fds));
    return 0;
}
