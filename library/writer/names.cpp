// Named ranges: the workbook's, written before its first worksheet, and each worksheet's,
// among them the print area and titles, written in the worksheet's head before its table.
#include "names.hpp"

#include "errors.hpp"
#include "merge_port.hpp"

namespace gridquill::detail {

namespace {

constexpr std::size_t kNameLineSize =
    sizeof("   <NamedRange ss:Name=\"\" ss:RefersTo=\"\" ss:Hidden=\"1\"/>\n") +
    kEscapeFactor * kMaxDefinedName + kMaxNameReference;

bool is_digit(char c) noexcept { return c >= '0' && c <= '9'; }
bool is_letter(char c) noexcept {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
           static_cast<unsigned char>(c) >= 0x80;
}
char upper(char c) noexcept { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// Digits from `at` on; where they end.
std::size_t digits_from(std::string_view s, std::size_t at) noexcept {
    while (at < s.size() && is_digit(s[at])) ++at;
    return at;
}

// A1 ("B12", "XFD1") or R1C1 ("R", "C", "R2", "RC3", "R1C1") cell or line reference.
bool is_reference(std::string_view s) noexcept {
    std::size_t letters = 0;
    while (letters < s.size() && letters < 4 && ((s[letters] >= 'A' && s[letters] <= 'Z') ||
                                                 (s[letters] >= 'a' && s[letters] <= 'z')))
        ++letters;
    if (letters >= 1 && letters <= 3 && letters < s.size() && digits_from(s, letters) == s.size())
        return true;
    std::size_t at = 0;
    if (at < s.size() && upper(s[at]) == 'R') at = digits_from(s, at + 1);
    if (at < s.size() && upper(s[at]) == 'C') at = digits_from(s, at + 1);
    return at == s.size() && !s.empty();
}

bool valid_name(std::string_view name) noexcept {
    if (name.empty() || name.size() > kMaxDefinedName) return false;
    if (!is_letter(name[0]) && name[0] != '_' && name[0] != '\\') return false;
    for (char c : name)
        if (!is_letter(c) && !is_digit(c) && c != '_' && c != '.' && c != '\\') return false;
    return !is_reference(name);
}

// A reader of what a named range refers to: R1C1 references (cells, ranges, rows, columns,
// relative parts in brackets), each with its sheet, plain or quoted, if any; constants
// (numbers, texts in double quotes, TRUE and FALSE, error values); items joined by commas.
class ReferenceReader {
public:
    explicit ReferenceReader(std::string_view text) noexcept : s_(text) {}

    bool valid() noexcept {
        if (s_.starts_with('=')) ++at_;
        do {
            if (!item()) return false;
        } while (take(','));
        return at_ == s_.size();
    }

private:
    bool take(char c) noexcept {
        if (at_ < s_.size() && s_[at_] == c) return ++at_, true;
        return false;
    }
    bool take_upper(char c) noexcept {
        return take(c) || take(static_cast<char>(c - 'A' + 'a'));
    }
    bool take_word(std::string_view word) noexcept {
        if (s_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }
    // Digits as a number up to `max`; false when there are none or it is out of range.
    bool number_up_to(long long max, long long least = 1) noexcept {
        std::size_t from = at_;
        long long v = 0;
        while (at_ < s_.size() && is_digit(s_[at_]) && v <= max) v = v * 10 + (s_[at_++] - '0');
        return at_ > from && v >= least && v <= max;
    }
    // The row or column part after R or C: absolute digits, a relative offset in
    // brackets, or nothing (the same row or column as the formula's).
    bool part(long long max) noexcept {
        if (at_ < s_.size() && is_digit(s_[at_])) return number_up_to(max);
        if (!take('[')) return true;
        take('-');
        return number_up_to(max, 0) && take(']');
    }
    bool cell() noexcept {
        bool any = false;
        if (take_upper('R')) {
            if (!part(kMaxRows)) return false;
            any = true;
        }
        if (take_upper('C')) {
            if (!part(kMaxColumns)) return false;
            any = true;
        }
        return any;
    }
    bool area() noexcept { return cell() && (!take(':') || cell()); }
    bool sheet_then_area() noexcept {
        if (take('\'')) {  // 'a sheet', a quote doubled inside
            for (;;) {
                if (at_ == s_.size()) return false;
                if (take('\'') && !take('\'')) break;
                if (at_ < s_.size() && s_[at_] != '\'') ++at_;
            }
            return take('!') && area();
        }
        std::size_t from = at_;
        while (at_ < s_.size() && (is_letter(s_[at_]) || is_digit(s_[at_]) || s_[at_] == '_' ||
                                   s_[at_] == '.'))
            ++at_;
        if (take('!')) return at_ > from + 1 && area();
        at_ = from;
        return area();
    }
    bool constant() noexcept {
        std::size_t from = at_;
        if (take('"')) {  // a text, a double quote doubled inside
            for (;;) {
                if (at_ == s_.size()) return false;
                if (take('"') && !take('"')) return true;
                if (at_ < s_.size() && s_[at_] != '"') ++at_;
            }
        }
        for (std::string_view word : {"TRUE", "FALSE", "#NULL!", "#DIV/0!", "#VALUE!", "#REF!",
                                      "#NAME?", "#NUM!", "#N/A"})
            if (take_word(word)) return true;
        take('-');
        std::size_t digits = at_;
        while (at_ < s_.size() && is_digit(s_[at_])) ++at_;
        if (take('.'))
            while (at_ < s_.size() && is_digit(s_[at_])) ++at_;
        if (at_ == digits || (at_ == digits + 1 && s_[digits] == '.')) return at_ = from, false;
        if (take('E') || take('e')) {
            if (!take('+')) take('-');
            std::size_t exponent = at_;
            while (at_ < s_.size() && is_digit(s_[at_])) ++at_;
            if (at_ == exponent) return at_ = from, false;
        }
        return true;
    }
    bool item() noexcept {
        std::size_t from = at_;
        if (constant() && (at_ == s_.size() || s_[at_] == ',')) return true;
        at_ = from;
        return sheet_then_area();
    }

    std::string_view s_;
    std::size_t at_ = 0;
};

// The name as its registry keeps it: upper case, since names differ by more than case.
BoundedText<kMaxDefinedName + 1> name_key(std::string_view name) noexcept {
    BoundedText<kMaxDefinedName + 1> key;
    for (char c : name) key.append(upper(c));
    return key;
}

// A sheet name as a formula writes it: quoted ('' for a quote) unless it is a plain word.
template <std::size_t N>
void append_sheet_reference(BoundedText<N> &out, std::string_view sheet) noexcept {
    bool plain = !sheet.empty() && !is_digit(sheet[0]) && !is_reference(sheet);
    for (char c : sheet) plain = plain && (is_letter(c) || is_digit(c) || c == '_' || c == '.');
    if (plain) {
        out.append(sheet);
    } else {
        out.append('\'');
        for (char c : sheet)
            out.append(c == '\'' ? std::string_view("''") : std::string_view(&c, 1));
        out.append('\'');
    }
    out.append('!');
}

// Composes a NamedRange line and adds it to `lines` unless the name is refused.
template <std::size_t Entries, std::size_t N>
int add_name(WriterState &w, Registry<Entries, kMaxDefinedName> &ids, BoundedText<N> &lines,
             std::string_view indent, std::string_view name, std::string_view refersTo, bool hidden,
             std::string_view call) noexcept {
    if (!valid_name(name)) return fail(w, {"Nome '", name, "' non valido in ", call, "().\n"});
    if (refersTo.empty() || refersTo == "=")
        return fail(w, {"Riferimento mancante per il nome '", name, "' in ", call, "().\n"});
    if (!ReferenceReader(refersTo).valid())
        return fail(w, {"Riferimento non valido per il nome '", name, "' in ", call,
                        "(): serve un riferimento R1C1 come =Foglio!R1C1:R2C3, o una costante.\n"});
    auto key = name_key(name);
    if (ids.contains(key.view()))
        return fail(w, {"Nome '", name, "' duplicato in ", call, "().\n"});
    BoundedText<kNameLineSize> line;
    line.assign(indent).append("<NamedRange ss:Name=\"");
    append_escaped(line, name, Place::attribute, w.settings.encoding);
    line.append("\" ss:RefersTo=\"");
    std::size_t from = line.size();
    if (refersTo[0] != '=') line.append('=');
    bool whole = append_escaped(line, refersTo, Place::attribute, w.settings.encoding);
    if (!whole || line.size() - from > kMaxNameReference)
        return fail(w, {"Riferimento troppo lungo (al massimo 1024 byte) per il nome '", name,
                        "' in ", call, "().\n"});
    line.append(hidden ? "\" ss:Hidden=\"1\"/>\n" : "\"/>\n");
    if (ids.size() == ids.max_entries || lines.capacity - lines.size() < line.size())
        return fail(w, {"Troppi nomi: non c'e' posto per il nome '", name, "' in ", call, "().\n"});
    ids.add(key.view());
    lines.append(line.view());
    return kYes;
}

int refuse_sheet_phase(WriterState &w, std::string_view call) noexcept {
    return fail(w, {"Non si puo' dare un nome del foglio a questo punto in ", call,
                    "(): va dato dopo xlsAddSheet(), prima di colonne e celle.\n"});
}

// Rows or columns `first` to `last` of the open worksheet, as a reference ("R1:R2", "C3").
template <std::size_t N>
void append_lines(BoundedText<N> &out, std::string_view sheet, char kind, int first,
                  int last) noexcept {
    append_sheet_reference(out, sheet);
    out.append(kind).append_int(first);
    if (last != first) out.append(':').append(kind).append_int(last);
}

// Adds a name to the open worksheet while its head is due; `call` names the exported call
// in messages.
int add_sheet_scope_name(WriterState &w, std::string_view name, std::string_view refersTo,
                         bool hidden, std::string_view call) noexcept {
    if (!sheet_head_open(w)) return refuse_sheet_phase(w, call);
    return add_name(w, w.sheet.nameIds, w.sheet.scopeNames, "   ", name, refersTo, hidden, call);
}

// "=Sheet!R1C1:R2C2" for a block of the open worksheet.
BoundedText<kMaxNameReference> block_reference(const WriterState &w, const CellRange &r) noexcept {
    BoundedText<kMaxNameReference> text;
    text.append('=');
    append_sheet_reference(text, w.sheet.name.view());
    text.append('R').append_int(r.firstRow).append('C').append_int(r.firstColumn);
    text.append(":R").append_int(r.lastRow).append('C').append_int(r.lastColumn);
    return text;
}

// The open worksheet's Names element, when it has names; the head's middle part.
void write_sheet_names(WriterState &w) noexcept {
    if (!w.sheet.scopeNames.empty()) {
        w.out.write("  <Names>\n");
        w.out.write(w.sheet.scopeNames.view());
        w.out.write("  </Names>\n");
    }
    w.sheet.scopeNames.clear();
    w.sheet.nameIds.clear();
}

}  // namespace

int add_filter_name(WriterState &w, const CellRange &range) noexcept {
    return add_sheet_scope_name(w, "_FilterDatabase", block_reference(w, range).view(), true,
                                "xlsAutoFilter");
}

void write_workbook_names(WriterState &w) noexcept {
    if (w.book.namesWritten) return;
    w.book.namesWritten = true;
    if (w.book.names.empty()) return;
    w.out.write(" <Names>\n");
    w.out.write(w.book.names.view());
    w.out.write(" </Names>\n");
}

void register_input_name(WriterState &w, std::string_view name) noexcept {
    if (name.size() <= kMaxDefinedName) w.book.nameIds.add(name_key(name).view());  // full: ignored
}

void write_workbook_names_inside(WriterState &w) noexcept {
    if (w.book.namesWritten) return;
    w.book.namesWritten = true;
    w.out.write(w.book.names.view());
}

void write_sheet_head(WriterState &w) noexcept {
    if (!w.sheet.headPending) return;
    w.out.write(" <Worksheet ss:Name=\"");
    w.out.write(w.sheet.name.view());
    if (w.sheet.protect) w.out.write("\" ss:Protected=\"1");  // also written as the options
    if (w.sheet.display & XLS_DISPLAY_RIGHT_TO_LEFT) w.out.write("\" ss:RightToLeft=\"1");
    w.out.write("\" >\n");
    write_sheet_names(w);
    w.sheet.headPending = false;
    static_assert(kMaxColumns == 256);
    w.out.write("  <Table ss:ExpandedColumnCount=\"256\" x:FullColumns=\"1\" x:FullRows=\"1\">\n");
}

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" int xlsAddName(const char *name, const char *refersTo) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (w.book.phase != PHASE_STYLES || !w.out.is_open())
        return fail(w, {"Non si puo' aggiungere un nome della cartella a questo punto in "
                        "xlsAddName(): va dato prima del primo foglio.\n"});
    return add_name(w, w.book.nameIds, w.book.names, "  ", arg(name), arg(refersTo), false,
                    "xlsAddName");
}

extern "C" int xlsAddSheetName(const char *name, const char *refersTo) noexcept {
    if (!attached()) return kNo;
    return add_sheet_scope_name(current(), arg(name), arg(refersTo), false, "xlsAddSheetName");
}

extern "C" int xlsSetPrintArea(int firstRow, int firstColumn, int lastRow,
                               int lastColumn) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!sheet_head_open(w)) return refuse_sheet_phase(w, "xlsSetPrintArea");
    if (firstRow < 1 || firstRow > lastRow || lastRow > kMaxRows || firstColumn < 1 ||
        firstColumn > lastColumn || lastColumn > kMaxColumns)
        return fail(w, {"Intervallo errato in xlsSetPrintArea().\n"});
    CellRange area{firstRow, firstColumn, lastRow, lastColumn};
    return add_sheet_scope_name(w, "Print_Area", block_reference(w, area).view(), false,
                                "xlsSetPrintArea");
}

extern "C" int xlsSetPrintTitles(int firstRow, int lastRow, int firstColumn,
                                 int lastColumn) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!sheet_head_open(w)) return refuse_sheet_phase(w, "xlsSetPrintTitles");
    bool rows = firstRow != 0 || lastRow != 0, columns = firstColumn != 0 || lastColumn != 0;
    if ((!rows && !columns) ||
        (rows && (firstRow < 1 || firstRow > lastRow || lastRow > kMaxRows)) ||
        (columns && (firstColumn < 1 || firstColumn > lastColumn || lastColumn > kMaxColumns)))
        return fail(w, {"Intervallo errato in xlsSetPrintTitles().\n"});
    BoundedText<kMaxNameReference> titles;
    titles.append('=');
    if (columns) append_lines(titles, w.sheet.name.view(), 'C', firstColumn, lastColumn);
    if (columns && rows) titles.append(',');
    if (rows) append_lines(titles, w.sheet.name.view(), 'R', firstRow, lastRow);
    return add_sheet_scope_name(w, "Print_Titles", titles.view(), false, "xlsSetPrintTitles");
}
