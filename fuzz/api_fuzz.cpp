// Fuzz target: random sequences of every exported call with random texts and numbers,
// in every encoding, checked against a small model of the writer; every workbook is parsed
// back, its cells and sheet names compared with what the client meant.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "gridquill.h"

using namespace gqfuzz;

namespace {

// Files in the private directory.
std::string dir, templatePath, outPath, mergedPath, longestPath;
// The cells of the template's two sheets, as character data.
const std::vector<std::string> kAlfaCells = {"a1", "a & b"};
const std::vector<std::string> kBetaCells = {"b1"};
const std::set<std::string> kTemplateStyles = {"Default", "txt", "num", "date", "s1"};
const std::set<std::string> kSeedStyles = {"Default", "num", "txt", "date"};

// A text argument: the bytes the fuzzer chose (NULs included) or a null pointer.
struct Text {
    std::string bytes;
    bool null = false;
    const char *c() const { return null ? nullptr : bytes.c_str(); }
    // What the library sees: up to the first NUL.
    std::string seen() const { return null ? std::string() : std::string(bytes.c_str()); }
};

enum class Use { value, verbatim, page };

// What the sequence has done, as far as the results tell.
struct Model {
    bool known = true;  // phase and registries follow from the calls so far
    int phase = 0;
    int row = 1, column = 2, lastRow = 1;  // after reset_library's one cell
    std::set<std::string> styles, sheets;
    int sheetCount = 0;
    bool mergeMode = false;
    bool open = false;       // an output is open for the workbook in progress
    std::string path;        // its file, "" when it is not read back
    bool devFull = false;    // its writes cannot succeed
    bool merge = false, copied = false;
    std::set<std::string> marks;
    std::vector<std::string> values;  // every cell the file must hold, as a reader sees it
    std::vector<bool> cut;            // a Latin-1 value that may be cut at the old limits
    std::vector<std::string> names;   // every sheet name in the file, as a reader sees it
    Enc encoding = Enc::latin1;
};

Model m;
// How much the oracle saw, printed at exit.
unsigned long long workbooksChecked = 0, cellsChecked = 0, namesChecked = 0;
const char *const kEncodings[] = {"ISO-8859-1", "Windows-1252", "UTF-8", "latin-1", "cp1252", "utf-8", "UTF8"};
const char *lastUtf8 = nullptr;
const char *lastReplace = nullptr;

int saturate(long long v) { return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v); }

// A sheet name as a reader sees it: the characters a name may not hold read as '_'.
std::string sheet_seen(std::string_view raw) {
    std::string name = reference_seen(raw, m.encoding, 31);
    for (char &c : name)
        if (std::string_view(":\\/?*[]").find(c) != std::string_view::npos) c = '_';
    return name;
}

// Readers compare sheet names without case. The model folds ASCII only, so two names that
// differ in a non-ASCII character at the same place may or may not be the same name.
enum class Same { no, yes, maybe };
Same same_sheet(std::string_view a, std::string_view b) {
    auto units = [](std::string_view t) {
        std::vector<std::string_view> out;
        for (std::size_t i = 0; i < t.size();) {
            std::size_t n = 1;
            while (i + n < t.size() && (static_cast<unsigned char>(t[i + n]) & 0xC0) == 0x80) ++n;
            out.push_back(t.substr(i, n));
            i += n;
        }
        return out;
    };
    auto ua = units(a), ub = units(b);
    if (ua.size() != ub.size()) return Same::no;
    Same result = Same::yes;
    for (std::size_t i = 0; i < ua.size(); ++i) {
        if (ua[i].size() == 1 && ub[i].size() == 1) {
            if (std::tolower(static_cast<unsigned char>(ua[i][0])) !=
                std::tolower(static_cast<unsigned char>(ub[i][0])))
                return Same::no;
        } else if (ua[i] != ub[i]) {
            if (ua[i].size() == 1 || ub[i].size() == 1) {
                // Only U+212A (Kelvin) and U+017F (long s) fold onto ASCII letters.
                std::string_view wide = ua[i].size() == 1 ? ub[i] : ua[i];
                if (wide != "\u212A" && wide != "\u017F") return Same::no;
            }
            result = Same::maybe;
        }
    }
    return result;
}

// Whether `name` is taken: by a sheet of this workbook, or by an input sheet the merge keeps.
Same sheet_taken(const std::string &name) {
    std::vector<std::string> taken(m.sheets.begin(), m.sheets.end());
    if (m.merge && !m.copied)
        for (const char *kept : {"Alfa", "Beta"})
            if (!m.marks.count(kept)) taken.push_back(kept);
    Same result = Same::no;
    for (const auto &other : taken) {
        Same s = same_sheet(name, other);
        if (s == Same::yes) return s;
        if (s == Same::maybe) result = s;
    }
    return result;
}

Text text(FuzzedDataProvider &in, Use use) {
    Text t;
    unsigned mode = in.ConsumeIntegral<std::uint8_t>();
    if (mode < 24) {  // overlong: a short unit repeated
        std::string unit = in.ConsumeRandomLengthString(6);
        if (unit.empty()) unit = "x";
        std::size_t n = in.ConsumeIntegralInRange<std::size_t>(0, 6000);
        while (t.bytes.size() < n) t.bytes += unit;
    } else if (mode < 28) {
        t.null = true;
    } else if (mode < 40) {
        t.bytes = "";
    } else {
        t.bytes = in.ConsumeRandomLengthString(40);
    }
    (void)use;
    return t;
}

int number(FuzzedDataProvider &in) {
    static const int kEdges[] = {INT_MIN, INT_MIN + 1, -201, -1, 0, 1, 2, 25, 26, 27,
                                 199, 200, 201, 255, 256, 257, 702, 703, INT_MAX - 1, INT_MAX};
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return in.PickValueInArray(kEdges);
    case 1: return in.ConsumeIntegral<int>();
    default: return in.ConsumeIntegralInRange<int>(-3, 300);
    }
}

template <std::size_t N>
void fill(char (&field)[N], const Text &t) {
    std::memset(field, 0, N);
    std::memcpy(field, t.bytes.data(), std::min(N, t.bytes.size()));
}

template <std::size_t N>
std::string field_text(const char (&field)[N]) {
    std::size_t n = 0;
    while (n < N && field[n] != '\0') ++n;
    return std::string(field, n);
}

xlsSheetSetup sheet_setup(FuzzedDataProvider &in) {
    xlsSheetSetup s = xlsSheetSetupDefault;
    unsigned which = in.ConsumeIntegral<std::uint8_t>();
    if (which & 0x80) std::memset(&s, 0, sizeof s);
    if (which & 1) fill(s.name, text(in, Use::verbatim));
    if (which & 2) fill(s.header, text(in, Use::page));
    if (which & 4) fill(s.footer, text(in, Use::page));
    if (which & 8) {
        fill(s.headerMargin, text(in, Use::verbatim));
        fill(s.footerMargin, text(in, Use::verbatim));
    }
    if (which & 16) {
        fill(s.marginTop, text(in, Use::verbatim));
        fill(s.marginBottom, text(in, Use::verbatim));
        fill(s.marginLeft, text(in, Use::verbatim));
        fill(s.marginRight, text(in, Use::verbatim));
    }
    if (which & 32) {
        s.gridlines = in.ConsumeIntegral<char>();
        s.orientation = in.PickValueInArray({'L', 'P', 'l', '\0', '1'});
        s.reserved1 = in.ConsumeIntegral<char>();
        s.reserved2 = in.ConsumeIntegral<char>();
    }
    return s;
}

xlsStyle style_record(FuzzedDataProvider &in) {
    xlsStyle s = xlsStyleDefault;
    unsigned which = in.ConsumeIntegral<std::uint16_t>();
    if (which & 0x8000) std::memset(&s, 0, sizeof s);
    if (which & 1) fill(s.id, text(in, Use::verbatim));
    if (which & 2) {
        fill(s.horizontal, text(in, Use::verbatim));
        fill(s.vertical, text(in, Use::verbatim));
    }
    if (which & 4) {
        fill(s.lineStyle, text(in, Use::verbatim));
        fill(s.borderColor, text(in, Use::verbatim));
    }
    if (which & 8) {
        s.weightTop = in.ConsumeIntegral<unsigned char>();
        s.weightBottom = in.ConsumeIntegral<unsigned char>();
        s.weightLeft = in.ConsumeIntegral<unsigned char>();
        s.weightRight = in.ConsumeIntegral<unsigned char>();
        s.indent = in.ConsumeIntegral<unsigned char>();
        s.fontSize = in.ConsumeIntegral<unsigned char>();
    }
    if (which & 16) {
        fill(s.fontName, text(in, Use::verbatim));
        fill(s.fontColor, text(in, Use::verbatim));
    }
    if (which & 32) {
        fill(s.interiorColor, text(in, Use::verbatim));
        fill(s.pattern, text(in, Use::verbatim));
        fill(s.patternColor, text(in, Use::verbatim));
    }
    if (which & 64) fill(s.numberFormat, text(in, Use::verbatim));
    if (which & 128) {
        s.bold = in.ConsumeIntegral<char>();
        s.italic = in.ConsumeIntegral<char>();
        s.wrapText = in.ConsumeIntegral<char>();
        s.verticalText = in.ConsumeIntegral<char>();
        s.isProtected = in.ConsumeIntegral<char>();
        s.rotate = number(in);
    }
    return s;
}

// The error convention around one call: result 0 or -1, a message on failure, the old
// message kept on success, never longer than its array.
void check_result(const char *call, int result, const std::string &before, bool mayChange) {
    std::string after = xlsGetError();
    require(result == 0 || result == -1, "result neither 0 nor -1", call);
    require(after.size() < 255, "errorText longer than its array", after);
    if (result == 0) require(!after.empty(), "failure without a message", call);
    else if (!mayChange) require(after == before, "success changed errorText", after);
}

void expect(bool predicted, int result, bool shouldSucceed, const char *call) {
    if (predicted && m.known)
        require((result == -1) == shouldSucceed,
                shouldSucceed ? "call refused that should succeed" : "call accepted that should fail",
                call);
}

// The file of a workbook just ended: well-formed, and every cell written is in it.
void check_file() {
    if (!m.open || m.path.empty()) return;
    std::string content = read_file(m.path.c_str());
    workbooksChecked++;
    cellsChecked += m.values.size();
    Parsed p = parse_workbook(content);
    require(p.error.empty(), "workbook not well-formed", p.error);
    require(p.cellValues.size() == m.values.size(), "cell count differs from cells written",
            std::to_string(p.cellValues.size()) + " in the file, " +
                std::to_string(m.values.size()) + " written");
    for (std::size_t i = 0; i < std::max(p.sheetNames.size(), m.names.size()); ++i) {
        std::string got = i < p.sheetNames.size() ? p.sheetNames[i] : "(none)";
        std::string want = i < m.names.size() ? m.names[i] : "(none)";
        require(got == want, "sheet name differs from the name written", got + " | " + want);
    }
    namesChecked += m.names.size();
    for (std::size_t i = 0; i < m.values.size(); ++i) {
        const std::string &got = p.cellValues[i];
        const std::string &want = m.values[i];
        if (got == want) continue;
        require(m.cut[i], "cell value differs from the value written", got);
        std::size_t escaped = 0;
        for (char c : got) escaped += c == '&' ? 5 : c == '<' || c == '>' ? 4 : 1;
        require(want.compare(0, got.size(), got) == 0 && escaped >= 3980,
                "cell value differs from the value written", got);
    }
}

void after_workbook_reset() {
    m.known = true;
    m.phase = 0;
    m.sheets.clear();
    m.sheetCount = 0;
    m.values.clear();
    m.cut.clear();
    m.names.clear();
    m.marks.clear();
    m.merge = m.copied = false;
    m.devFull = false;
}

void do_init(FuzzedDataProvider &in) {
    static const std::string kLong(5000, 'p');  // over the longest path
    int choice = in.ConsumeIntegralInRange<int>(0, 7);
    const char *paths[] = {outPath.c_str(), dir.c_str(), "/dev/null", "/dev/full",
                           "no/such/dir/out.xml", kLong.c_str(), ".", longestPath.c_str()};
    Text author = text(in, Use::verbatim);
    const char *path = paths[choice];
    std::string before = xlsGetError();
    int r = xlsInit(path, author.c());
    check_result("xlsInit", r, before, true);
    require((r == -1) == (choice == 0 || choice == 2 || choice == 3 || choice == 7),
            "xlsInit result", std::string(path) + ": " + xlsGetError());
    if (r == -1) require(std::string(xlsGetError()).empty(), "xlsInit kept an old message");
    after_workbook_reset();
    m.mergeMode = false;
    m.styles = kSeedStyles;
    m.open = r == -1;
    m.devFull = choice == 3;
    m.path = choice == 0 ? outPath : choice == 7 ? longestPath : "";
}

void do_init_merge(FuzzedDataProvider &in) {
    static const std::string kLong(5000, 'm');
    static const std::string kOtherWay = dir + "/./template.xml";
    const char *inputs[] = {templatePath.c_str(), "no/such/input.xml", dir.c_str(), ""};
    const char *outputs[] = {mergedPath.c_str(), dir.c_str(), kLong.c_str(), templatePath.c_str(),
                             "/dev/full", kOtherWay.c_str(), "no/such/dir/m.xml"};
    int i = in.ConsumeIntegralInRange<int>(0, 3), o = in.ConsumeIntegralInRange<int>(0, 6);
    if ((o == 3 || o == 5) && i != 0) o = 0;  // the template is an output only as the input
    std::string before = xlsGetError();
    int r = xlsInitMerge(inputs[i], outputs[o]);
    check_result("xlsInitMerge", r, before, true);
    bool good = i == 0 && (o == 0 || o == 4);
    require((r == -1) == good, "xlsInitMerge result",
            std::string(inputs[i]) + " -> " + outputs[o] + ": " + xlsGetError());
    after_workbook_reset();
    m.mergeMode = true;
    if (r == -1) {
        require(std::string(xlsGetError()).empty(), "xlsInitMerge kept an old message");
        m.styles = kTemplateStyles;
        m.merge = true;
        m.open = true;
        m.devFull = o == 4;
        m.path = o == 0 ? mergedPath : "";
    } else {
        m.known = false;  // how far the reset went depends on where it stopped
        m.open = false;
        m.path.clear();
    }
}

void do_sheet_delete(FuzzedDataProvider &in) {
    Text name = in.ConsumeBool() ? Text{in.PickValueInArray({"Alfa", "Beta", "Alf", "Alfa2"})}
                                 : text(in, Use::value);
    std::string before = xlsGetError();
    int r = xlsSheetDelete(name.c());
    if (name.seen().empty()) {
        require(r == 0, "xlsSheetDelete accepted an empty name");
        require(before == xlsGetError(), "xlsSheetDelete of an empty name left a message");
        return;
    }
    check_result("xlsSheetDelete", r, before, false);
    // Marks are taken after a merge's open, before its first sheet, for the input's sheets.
    std::string seen = reference_seen(name.seen(), m.encoding);
    const char *input = same_sheet(seen, "Alfa") == Same::yes   ? "Alfa"
                        : same_sheet(seen, "Beta") == Same::yes ? "Beta"
                                                                : nullptr;
    if (m.known && name.seen().size() <= 199)
        require((r == -1) == (m.merge && !m.copied && input != nullptr),
                r == -1 ? "xlsSheetDelete accepted a name" : "xlsSheetDelete refused a name",
                name.seen());
    if (r == -1 && input != nullptr) m.marks.insert(input);
}

void add_sheet(const Text &name, const xlsSheetSetup &setup) {
    std::string raw = name.seen();
    if (raw.empty()) raw = field_text(setup.name);
    if (raw.empty()) raw = "Sheet" + std::to_string(m.sheetCount);
    std::string sheet = sheet_seen(raw);
    std::string before = xlsGetError();
    int r = xlsAddSheet(name.c(), setup);
    check_result("xlsAddSheet", r, before, m.mergeMode);
    Same taken = sheet_taken(sheet);
    if (taken != Same::maybe) expect(true, r, taken == Same::no, "xlsAddSheet");
    if (r != -1) return;
    if (m.merge && !m.copied && m.phase == 0) {
        m.copied = true;
        for (const auto &[sheetName, cells] : {std::pair{"Alfa", &kAlfaCells}, std::pair{"Beta", &kBetaCells}}) {
            if (m.marks.count(sheetName)) continue;
            m.names.push_back(sheetName);
            m.sheets.insert(sheetName);
            m.values.insert(m.values.end(), cells->begin(), cells->end());
            m.cut.resize(m.values.size(), false);
        }
    }
    m.sheets.insert(sheet);
    if (m.open) m.names.push_back(sheet);
    m.sheetCount++;
    m.row = m.column = 1;
    m.lastRow = 0;
    m.phase = 1;
}

void write_cell(const Text &value, char type, const Text &style, const Text &formula, int skip,
                int across, int down, bool shortForm) {
    std::string id = style.seen(), calc = formula.seen();
    std::string before = xlsGetError();
    int r = shortForm ? xlsWriteCell(value.c(), type, style.c())
                      : xlsWriteCellEx(value.c(), type, style.c(), formula.c(), skip, across, down);
    check_result("xlsWriteCellEx", r, before, false);
    // The grid's edges: the cell and the cells it merges stay inside the sheet.
    const int landing = saturate(static_cast<long long>(m.column) + (skip < 0 || skip > 200 ? 0 : skip));
    const bool inside = landing <= 256 - (across > 0 ? across : 0) &&
                        m.row <= 1048576 - (down > 0 ? down : 0);
    bool ok = m.phase >= 1 && (id.empty() || m.styles.count(reference_seen(id, m.encoding))) &&
              calc.size() <= 1024 && inside;
    expect(true, r, ok, "xlsWriteCellEx");
    if (r != -1) return;
    if (m.open) {
        bool latin1 = m.encoding == Enc::latin1;
        m.values.push_back(latin1 ? expected_cell_text(value.seen()) : reference_cell(value.seen(), m.encoding));
        std::size_t escaped = 0;
        for (char c : m.values.back()) escaped += c == '&' ? 5 : c == '<' || c == '>' ? 4 : 1;
        m.cut.push_back(latin1 && escaped > 3990);
    }
    if (skip < 0 || skip > 200) skip = 0;
    int column = saturate(static_cast<long long>(m.column) + skip);
    m.column = saturate(static_cast<long long>(column) + 1 + (across > 0 ? across : 0));
    m.lastRow = m.row;
    m.phase = 2;
}

void do_cell(FuzzedDataProvider &in, bool shortForm) {
    Text value = text(in, Use::value);
    char type = in.PickValueInArray({'N', 'n', 'D', 'd', 'S', 's', 'X', ' ', '\0', '\xE8'});
    Text style = in.ConsumeBool() ? Text{in.PickValueInArray({"txt", "num", "date", "Default", "s1", "um", "st1", ""})}
                                  : text(in, Use::verbatim);
    Text formula;
    int skip = 0, across = 0, down = 0;
    if (!shortForm) {
        formula = in.ConsumeBool() ? Text{"=SUM(R[-1]C:RC[-1])"} : text(in, Use::verbatim);
        skip = number(in);
        across = number(in);
        down = number(in);
    }
    write_cell(value, type, style, formula, skip, across, down, shortForm);
}

void do_new_line(FuzzedDataProvider &in, bool shortForm) {
    int skip = shortForm ? 0 : number(in), height = shortForm ? 0 : number(in);
    Text style = shortForm ? Text{} : in.ConsumeBool() ? Text{in.PickValueInArray({"txt", "num", "zz", ""})}
                                                       : text(in, Use::verbatim);
    std::string id = style.seen();
    std::string before = xlsGetError();
    int r = shortForm ? xlsNewLine() : xlsNewLineEx(skip, height, style.c());
    check_result("xlsNewLineEx", r, before, false);
    expect(true, r, m.phase >= 1 && (id.empty() || m.styles.count(reference_seen(id, m.encoding))),
           "xlsNewLineEx");
    if (r != -1) return;
    m.row = skip >= 1 && skip <= 200 ? saturate(static_cast<long long>(m.row) + skip + 1)
                                     : saturate(static_cast<long long>(m.lastRow) + 1);
    m.column = 1;
}

void do_column(FuzzedDataProvider &in) {
    int column = number(in), width = number(in);
    Text style = in.ConsumeBool() ? Text{in.PickValueInArray({"txt", "s1", "zz", ""})} : text(in, Use::verbatim);
    std::string id = style.seen();
    std::string before = xlsGetError();
    int r = xlsColumn(column, width, style.c());
    check_result("xlsColumn", r, before, false);
    expect(true, r,
           column >= 1 && column <= 256 && width >= 0 && m.phase == 1 &&
               (id.empty() || m.styles.count(reference_seen(id, m.encoding))),
           "xlsColumn");
}

void do_style(FuzzedDataProvider &in) {
    xlsStyle record = style_record(in);
    Text id = in.ConsumeBool() ? Text{in.PickValueInArray({"s1", "s2", "txt", "a", ""})} : text(in, Use::verbatim);
    std::string effective = id.seen().empty() ? field_text(record.id) : id.seen();
    std::string before = xlsGetError();
    int r = xlsAddStyle(record, id.c());
    check_result("xlsAddStyle", r, before, false);
    std::string seen = reference_seen(effective, m.encoding);
    expect(true, r, !effective.empty() && effective.size() <= 15 && m.phase == 0 && !m.styles.count(seen),
           "xlsAddStyle");
    if (r != -1) return;
    m.styles.insert(seen);
}

// xlsClose; true when the workbook ended (also with a failed write).
bool close_workbook() {
    std::string before = xlsGetError();
    int r = xlsClose();
    check_result("xlsClose", r, before, true);
    bool writeFailed = r == 0 && std::string(xlsGetError()).rfind("Errore in scrittura del file '", 0) == 0;
    // A workbook whose output never opened ends with its own refusal.
    bool noOutput = r == 0 && std::string(xlsGetError()).rfind("Nessun file in output aperto", 0) == 0;
    if (noOutput) require(!m.open || !m.known, "xlsClose found no output where one was open");
    if (r == 0 && !writeFailed && !noOutput)
        require(before == xlsGetError() || !m.known || m.phase < 2, "xlsClose refused with a new message");
    expect(true, r, m.phase == 2 && m.open && !m.devFull, "xlsClose");
    if (m.known && m.phase == 2 && m.open && m.devFull) require(writeFailed, "a write to /dev/full went unreported");
    bool ended = r == -1 || writeFailed || noOutput;
    if (!ended) return false;
    check_file();
    after_workbook_reset();
    m.styles.clear();
    m.open = false;
    m.path.clear();
    return true;
}

void do_queries(FuzzedDataProvider &in) {
    const char *position = xlsGetPosition();
    if (m.column < 1 || m.column > 702) {
        require(position == nullptr, "xlsGetPosition beyond ZZ");
    } else {
        std::string want;
        if (m.column > 26) want += static_cast<char>('A' + (m.column - 1) / 26 - 1);
        want += static_cast<char>('A' + (m.column - 1) % 26);
        want += std::to_string(m.row);
        require(position != nullptr && want == position, "xlsGetPosition", want);
    }
    int r1 = number(in), c1 = number(in), r2 = number(in), c2 = number(in);
    auto offset = [](long long d) { return d == 0 ? std::string() : "[" + std::to_string(d) + "]"; };
    std::string want = "R" + offset(static_cast<long long>(r1) - m.row) + "C" +
                       offset(static_cast<long long>(c1) - m.column) + ":R" +
                       offset(static_cast<long long>(r2) - m.row) + "C" +
                       offset(static_cast<long long>(c2) - m.column);
    const char *rect = xlsGetRectangle(r1, c1, r2, c2);
    require(rect != nullptr && want == rect, "xlsGetRectangle", want);
}

void do_text_services(FuzzedDataProvider &in) {
    switch (in.ConsumeIntegralInRange<int>(0, 4)) {
    case 0: {
        Text t = text(in, Use::value);
        const char *r = AsciiToUtf8(t.c());
        require(r != nullptr && reference_utf8(t.seen()) == r, "AsciiToUtf8", t.seen());
        if (!t.seen().empty()) lastUtf8 = r;
        break;
    }
    case 1: {
        if (lastUtf8 == nullptr) break;
        std::string source = lastUtf8;
        const char *r = AsciiToUtf8(lastUtf8);
        require(reference_utf8(source) == r, "AsciiToUtf8 of its own result", source);
        break;
    }
    case 2:
    case 3: {
        bool own = in.ConsumeIntegralInRange<int>(0, 3) == 0 && lastReplace != nullptr;
        Text str = own ? Text{} : text(in, Use::value);
        Text search = text(in, Use::value), with = text(in, Use::value);
        std::string source = own ? std::string(lastReplace) : str.seen();
        const char *arg = own ? lastReplace : str.c();
        const char *r = strReplace(arg, search.c(), with.c());
        if (source.empty()) {
            require(r != nullptr && *r == '\0', "strReplace of an empty text");
        } else if (search.seen().empty() || search.seen().size() >= 100 || with.seen().size() >= 100) {
            require(r == arg, "strReplace early return");
        } else {
            require(reference_replace(source, search.seen(), with.seen()) == r, "strReplace", source);
            lastReplace = r;
        }
        break;
    }
    default: {
        Text str = text(in, Use::value), search = text(in, Use::value), with = text(in, Use::value);
        std::size_t size = in.ConsumeIntegralInRange<std::size_t>(1, 5000);
        std::vector<char> buffer(size, '#');
        std::string source = str.seen().substr(0, size - 1);
        std::memcpy(buffer.data(), source.c_str(), source.size() + 1);
        std::vector<char> original = buffer;
        int len = in.ConsumeIntegralInRange<int>(-2, static_cast<int>(size));
        const char *r = strnReplace(buffer.data(), search.c(), with.c(), len);
        bool early = source.empty() || search.seen().empty() || search.seen().size() >= 100 ||
                     with.seen().size() >= 100;
        if (early) {
            require(buffer == original, "strnReplace early return wrote into the text");
            break;
        }
        std::string want = reference_replace(source, search.seen(), with.seen());
        require(want == r, "strnReplace", source);
        lastReplace = r;
        if (len > 0) {
            std::vector<char> expected = original;
            for (int i = 0; i < len; ++i)
                expected[static_cast<std::size_t>(i)] =
                    static_cast<std::size_t>(i) < want.size() ? want[static_cast<std::size_t>(i)] : '\0';
            require(buffer == expected, "strnReplace write-back", source);
        } else {
            require(buffer == original, "strnReplace with len <= 0 wrote into the text");
        }
    }
    }
}

// xlsSetEncoding with one of the names, or one it does not know.
void set_encoding(FuzzedDataProvider &in) {
    std::size_t i = in.ConsumeIntegralInRange<std::size_t>(0, std::size(kEncodings) - 1);
    std::string before = xlsGetError();
    int r = xlsSetEncoding(kEncodings[i]);
    check_result("xlsSetEncoding", r, before, false);
    require((r == -1) == (i < 6), "xlsSetEncoding result", kEncodings[i]);
    if (r == -1) m.encoding = static_cast<Enc>(i % 3);
}

void reset_all() {
    xlsSetEncoding("ISO-8859-1");
    reset_library();
    m = Model{};
    lastUtf8 = lastReplace = nullptr;
}

// Ends the sequence's workbook so that its file is complete and can be checked.
void finish() {
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (close_workbook()) return;
        if (xlsGetError() == std::string("") && !m.open) return;
        Text none;
        write_cell(Text{"fine"}, 'S', none, none, 0, 0, 0, true);
        if (m.phase == 2) continue;
        add_sheet(Text{"zzFine" + std::to_string(attempt)}, xlsSheetSetupDefault);
    }
}

void make_template() {
    xlsStyle s1 = xlsStyleDefault;
    xlsInit(templatePath.c_str(), "Fuzz");
    xlsAddStyle(s1, "s1");
    xlsAddSheet("Alfa", xlsSheetSetupDefault);
    xlsWriteCell("a1", 'S', "");
    xlsWriteCell("a & b", 'S', "s1");
    xlsAddSheet("Beta", xlsSheetSetupDefault);
    xlsWriteCell("b1", 'N', "");
    if (xlsClose() != -1) finding("the merge template could not be written");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    dir = make_private_dir("gridquill-fuzz-api");
    templatePath = dir + "/template.xml";
    outPath = dir + "/out.xml";
    mergedPath = dir + "/merged.xml";
    longestPath = dir + "/" + std::string(199 - dir.size() - 5, 'q') + ".xml";
    make_template();
    std::atexit([] {
        note("gridquill_fuzz_api: " + std::to_string(workbooksChecked) + " workbooks parsed with " +
             std::to_string(cellsChecked) + " cells and " + std::to_string(namesChecked) +
             " sheet names");
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    reset_all();
    int fds = open_fds();
    FuzzedDataProvider in(data, size);
    set_encoding(in);
    for (int step = 0; step < 64 && in.remaining_bytes() > 0; ++step) {
        switch (in.ConsumeIntegralInRange<int>(0, 16)) {
        case 0: do_init(in); break;
        case 1: do_init_merge(in); break;
        case 2: do_style(in); break;
        case 3: do_sheet_delete(in); break;
        case 4: {
            Text name = in.ConsumeBool() ? Text{in.PickValueInArray({"Alfa", "Foglio", "Foglio1", ""})}
                                         : text(in, Use::verbatim);
            add_sheet(name, sheet_setup(in));
            break;
        }
        case 5: do_column(in); break;
        case 6:
        case 7: do_cell(in, false); break;
        case 8: do_cell(in, true); break;
        case 9: do_new_line(in, false); break;
        case 10: do_new_line(in, true); break;
        case 11: close_workbook(); break;
        case 12: do_queries(in); break;
        case 13: do_text_services(in); break;
        case 14: {
            const char *e = xlsGetError();
            require(e != nullptr && std::strlen(e) < 255, "xlsGetError");
            break;
        }
        case 15: set_encoding(in); break;
        default: do_cell(in, false); break;
        }
    }
    finish();
    reset_all();
    require(open_fds() == fds, "a stream was left open",
            std::to_string(open_fds() - fds) + " descriptors more");
    return 0;
}
