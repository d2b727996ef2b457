// Gridquill for C++17 and later: a header-only layer over the C interface of gridquill.h.
// A workbook object that closes its file on scope exit, typed cells, builders, exceptions.
#ifndef GRIDQUILL_HPP
#define GRIDQUILL_HPP

#if (defined(_MSVC_LANG) ? _MSVC_LANG : __cplusplus) < 201703L
#error "gridquill.hpp needs C++17 or later (-std=c++17); in C or older C++ use gridquill.h"
#else

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <exception>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "gridquill.h"

namespace gridquill {

// Longest texts the interface passes on whole; a longer text is refused, never cut.
// Texts are UTF-8: each workbook selects xlsSetEncoding("UTF-8") in its own context.
inline constexpr std::size_t kMaxCellUnits = XLS_MAX_CELL_UNITS;  // a cell value, UTF-16 units
inline constexpr std::size_t kMaxCellBytes = 3 * kMaxCellUnits + 3;  // the most that holds them
inline constexpr std::size_t kMaxFormula = XLS_MAX_FORMULA;
inline constexpr std::size_t kMaxText = XLS_MAX_TEXT;  // a property, a name, a sheet to drop
inline constexpr std::size_t kMaxStyleId = XLS_MAX_STYLE_ID;  // a style that this client defines
inline constexpr std::size_t kMaxStyleRef = 31;  // a style a cell, row or column names
inline constexpr std::size_t kMaxSheetName = XLS_MAX_SHEET_NAME;  // characters
inline constexpr std::size_t kMaxAuthor = 99;
inline constexpr std::size_t kMaxPath = 4095;
inline constexpr std::size_t kMaxLinkText = 2079;     // links, tips, authors, conditions
inline constexpr std::size_t kMaxCommentText = 8191;

// The version of the library loaded at run time, "1.1.0" (xlsVersion).
inline std::string_view version() noexcept { return xlsVersion(); }

// A refused call. Library refusals carry xlsGetError()'s message, with the system's reason
// where the failure had one (an open, a write: system_error() is its errno); the
// interface's own refusals (texts that do not fit, bad numbers) carry its own.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string &message, int system_error = 0)
        : std::runtime_error(message), system_error_(system_error) {}
    int system_error() const noexcept { return system_error_; }

private:
    int system_error_;
};

namespace detail {

[[noreturn]] inline void refuse(const std::string &message) { throw Error(message); }

// Throws the library's message unless the C call succeeded.
inline void check(int result) {
    if (result != XLS_FAIL) return;
    int reason = xlsGetErrno();
    if (*xlsGetError() == '\0') refuse("Chiamata rifiutata dalla libreria senza un messaggio\n");
    if (reason == 0) refuse(xlsGetError());
    throw Error(std::string(xlsGetError()) + ": " + std::strerror(reason) + "\n", reason);
}

inline void refuse_too_long(const char *what, std::size_t size, std::size_t limit,
                            const char *unit = "byte") {
    refuse(std::string("Testo troppo lungo per ") + what + " (" + std::to_string(size) + " " +
           unit + ", al massimo " + std::to_string(limit) + ")\n");
}

// A text the C functions would stop short at, or that does not fit `limit`.
inline void check_text(std::string_view text, std::size_t limit, const char *what) {
    if (text.size() > limit) refuse_too_long(what, text.size(), limit);
    if (!text.empty() && std::memchr(text.data(), '\0', text.size()) != nullptr)
        refuse(std::string("Carattere nullo nel testo per ") + what + "\n");
}

// Characters of a UTF-8 text (its bytes that do not continue a sequence), and its
// UTF-16 units (four-byte sequences take two); at most, for texts that are not UTF-8.
inline std::size_t characters(std::string_view text) noexcept {
    std::size_t n = 0;
    for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return n;
}
inline std::size_t utf16_units(std::string_view text) noexcept {
    std::size_t n = characters(text);
    for (char c : text) n += static_cast<unsigned char>(c) >= 0xF0;
    return n;
}

#if defined(__cpp_char8_t)
inline std::string_view chars(std::u8string_view text) noexcept {
    return {reinterpret_cast<const char *>(text.data()), text.size()};
}
#endif

// A zero-terminated copy of a text in a fixed array, refusing what does not fit.
template <std::size_t Limit>
class CText {
public:
    CText(std::string_view text, const char *what) {
        check_text(text, Limit, what);
        if (!text.empty()) std::memcpy(data_, text.data(), text.size());
        data_[text.size()] = '\0';
    }
    const char *c_str() const noexcept { return data_; }

private:
    char data_[Limit + 1];
};

// Copies a text into a fixed field of a record, zero-filling the rest.
template <std::size_t N>
void set_field(char (&field)[N], std::string_view text, const char *what) {
    check_text(text, N - 1, what);
    std::memset(field, 0, N);
    if (!text.empty()) std::memcpy(field, text.data(), text.size());
}

inline unsigned char small_number(int value, const char *what) {
    if (value < 0 || value > 255)
        refuse(std::string("Valore fuori dall'intervallo 0-255 per ") + what + ": " +
               std::to_string(value) + "\n");
    return static_cast<unsigned char>(value);
}

template <class T>
inline constexpr bool is_number_v =
    std::is_arithmetic_v<T> && !std::is_same_v<T, bool> && !std::is_same_v<T, char> &&
    !std::is_same_v<T, signed char> && !std::is_same_v<T, unsigned char> &&
    !std::is_same_v<T, wchar_t> && !std::is_same_v<T, char16_t> && !std::is_same_v<T, char32_t>
#if defined(__cpp_char8_t)
    && !std::is_same_v<T, char8_t>
#endif
    ;

}  // namespace detail

// A date and time of day, written as the DateTime text "YYYY-MM-DDTHH:MM:SS.000".
// A cell shows it as a date only through a style with a date number format ("date").
struct DateTime {
    int year = 1900, month = 1, day = 1, hour = 0, minute = 0, second = 0;

    DateTime() = default;
    constexpr DateTime(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) noexcept
        : year(y), month(mo), day(d), hour(h), minute(mi), second(s) {}

    // True for a real calendar date from year 1 to 9999 and a time of day.
    constexpr bool valid() const noexcept {
        if (year < 1 || year > 9999 || month < 1 || month > 12) return false;
        constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        int last = days[month - 1] + (month == 2 && leap ? 1 : 0);
        return day >= 1 && day <= last && hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 &&
               second >= 0 && second <= 59;
    }
};

// Where a cell goes and how it looks: style, formula, empty columns before it, merge.
class CellOptions {
public:
    constexpr CellOptions &style(std::string_view id) noexcept {
        style_ = id;
        return *this;
    }
    // An R1C1 formula, as it reads ("=IF(RC[-1]=\"Nord\",1,0)"); the library escapes it.
    constexpr CellOptions &formula(std::string_view text) noexcept {
        formula_ = text;
        return *this;
    }
    constexpr CellOptions &skip(int columns) noexcept {
        skip_ = columns;
        return *this;
    }
    constexpr CellOptions &merge(int across, int down = 0) noexcept {
        across_ = across;
        down_ = down;
        return *this;
    }

private:
    friend class Workbook;
    std::string_view style_, formula_;
    int skip_ = 0, across_ = 0, down_ = 0;
};

// The row break: empty rows to leave, the next row's height in points and its style.
class RowOptions {
public:
    constexpr RowOptions &skip(int rows) noexcept {
        skip_ = rows;
        return *this;
    }
    constexpr RowOptions &height(int points) noexcept {
        height_ = points;
        return *this;
    }
    constexpr RowOptions &style(std::string_view id) noexcept {
        style_ = id;
        return *this;
    }

private:
    friend class Workbook;
    std::string_view style_;
    int skip_ = 0, height_ = 0;
};

// A named cell style. Starts from xlsStyleDefault with no fill and the number format
// "General" (readers paint an uncoloured "Solid" fill black, and LibreOffice lets a
// style without a format take the one of the style before it).
class Style {
public:
    explicit Style(std::string_view id) : record_(xlsStyleDefault) {
        if (id.empty()) detail::refuse("Manca l'ID dello stile\n");
        detail::set_field(record_.id, id, "l'ID dello stile");
        record_.pattern[0] = '\0';
        detail::set_field(record_.numberFormat, "General", "il formato numerico");
    }

    Style &horizontal(std::string_view how) {
        return text(record_.horizontal, how, "l'allineamento");
    }
    Style &vertical(std::string_view how) { return text(record_.vertical, how, "l'allineamento"); }
    Style &indent(int level) {
        record_.indent = detail::small_number(level, "il rientro");
        return *this;
    }
    Style &wrap(bool on = true) noexcept {
        record_.wrapText = flag(on);
        return *this;
    }
    Style &vertical_text(bool on = true) noexcept {
        record_.verticalText = flag(on);
        return *this;
    }
    Style &rotate(int degrees) noexcept {
        record_.rotate = degrees;
        return *this;
    }

    // All four borders with one weight (0 removes them).
    Style &border(int weight) {
        unsigned char w = detail::small_number(weight, "lo spessore del bordo");
        record_.weightTop = record_.weightBottom = record_.weightLeft = record_.weightRight = w;
        return *this;
    }
    Style &border_top(int weight) {
        record_.weightTop = detail::small_number(weight, "lo spessore del bordo");
        return *this;
    }
    Style &border_bottom(int weight) {
        record_.weightBottom = detail::small_number(weight, "lo spessore del bordo");
        return *this;
    }
    Style &border_left(int weight) {
        record_.weightLeft = detail::small_number(weight, "lo spessore del bordo");
        return *this;
    }
    Style &border_right(int weight) {
        record_.weightRight = detail::small_number(weight, "lo spessore del bordo");
        return *this;
    }
    Style &line_style(std::string_view name) {
        return text(record_.lineStyle, name, "lo stile della linea");
    }
    Style &border_color(std::string_view rgb) {
        return text(record_.borderColor, rgb, "il colore del bordo");
    }

    Style &font(std::string_view name) {
        return text(record_.fontName, name, "il nome del carattere");
    }
    Style &bold(bool on = true) noexcept {
        record_.bold = flag(on);
        return *this;
    }
    Style &italic(bool on = true) noexcept {
        record_.italic = flag(on);
        return *this;
    }
    Style &size(int points) {
        record_.fontSize = detail::small_number(points, "la dimensione del carattere");
        return *this;
    }
    Style &font_color(std::string_view rgb) {
        return text(record_.fontColor, rgb, "il colore del carattere");
    }

    // A solid fill in this colour ("#RRGGBB").
    Style &fill(std::string_view rgb) {
        text(record_.interiorColor, rgb, "il colore di sfondo");
        if (record_.pattern[0] == '\0') text(record_.pattern, "Solid", "il motivo");
        return *this;
    }
    Style &pattern(std::string_view name) { return text(record_.pattern, name, "il motivo"); }
    Style &pattern_color(std::string_view rgb) {
        return text(record_.patternColor, rgb, "il colore del motivo");
    }
    // A named or custom number format; "" writes the element without a format.
    Style &number_format(std::string_view format) {
        return text(record_.numberFormat, format, "il formato numerico");
    }
    Style &protect(bool on = true) noexcept {
        record_.isProtected = flag(on);
        return *this;
    }

    const xlsStyle &record() const noexcept { return record_; }

private:
    static char flag(bool on) noexcept { return on ? '1' : '0'; }
    template <std::size_t N>
    Style &text(char (&field)[N], std::string_view value, const char *what) {
        detail::set_field(field, value, what);
        return *this;
    }
    xlsStyle record_;
};

// Page setup of a worksheet, starting from xlsSheetSetupDefault.
class SheetSetup {
public:
    SheetSetup() noexcept : record_(xlsSheetSetupDefault) {}

    // Header and footer texts, at most 127 bytes; "&P" is the page number.
    SheetSetup &header(std::string_view text) {
        return page_text(record_.header, text, "l'intestazione");
    }
    SheetSetup &footer(std::string_view text) {
        return page_text(record_.footer, text, "il pie' di pagina");
    }
    // Margins are decimal numbers in inches, as text ("0.75"); an empty header margin
    // leaves out the layout, footer and gridlines of the page setup.
    SheetSetup &header_margin(std::string_view inches) {
        return field(record_.headerMargin, inches);
    }
    SheetSetup &footer_margin(std::string_view inches) {
        return field(record_.footerMargin, inches);
    }
    SheetSetup &margins(std::string_view top, std::string_view bottom, std::string_view left,
                        std::string_view right) {
        field(record_.marginTop, top);
        field(record_.marginBottom, bottom);
        field(record_.marginLeft, left);
        return field(record_.marginRight, right);
    }
    SheetSetup &gridlines(bool on = true) noexcept {
        record_.gridlines = on ? '1' : '0';
        return *this;
    }
    SheetSetup &landscape() noexcept {
        record_.orientation = 'L';
        return *this;
    }
    SheetSetup &portrait() noexcept {
        record_.orientation = 'P';
        return *this;
    }

    const xlsSheetSetup &record() const noexcept { return record_; }

private:
    template <std::size_t N>
    SheetSetup &field(char (&to)[N], std::string_view value) {
        detail::set_field(to, value, "un margine");
        return *this;
    }
    template <std::size_t N>
    SheetSetup &page_text(char (&to)[N], std::string_view value, const char *what) {
        detail::set_field(to, value, what);
        return *this;
    }
    xlsSheetSetup record_;
};

// Document properties of a workbook, given to its constructor. Texts as for cells; each
// at most 255 bytes.
class Properties {
public:
    Properties &title(std::string_view text) { return set(0, text); }
    Properties &subject(std::string_view text) { return set(1, text); }
    Properties &keywords(std::string_view text) { return set(2, text); }
    Properties &description(std::string_view text) { return set(3, text); }
    Properties &category(std::string_view text) { return set(4, text); }
    Properties &manager(std::string_view text) { return set(5, text); }
    Properties &company(std::string_view text) { return set(6, text); }
    // Not a property but also used by the open: the worksheet (0-based) it opens on, the
    // only one selected (a merge keeps its input's).
    Properties &active_sheet(int sheet) {
        active_ = sheet;
        return *this;
    }

private:
    friend class Workbook;
    static constexpr int kCount = 7;
    static constexpr const char *kNames[kCount] = {"Title",    "Subject", "Keywords", "Description",
                                                   "Category", "Manager", "Company"};
    Properties &set(int which, std::string_view text) {
        detail::check_text(text, kMaxText, "una proprieta' del documento");
        values_[which] = std::string(text);
        return *this;
    }
    // Sets them in the library for the open that follows.
    void apply() const {
        for (int i = 0; i < kCount; ++i)
            if (!values_[i].empty())
                detail::check(xlsSetDocumentProperty(kNames[i], values_[i].c_str()));
        if (active_ != -1) detail::check(xlsSetActiveSheet(active_));
    }
    std::string values_[kCount];
    int active_ = -1;
};

// The workbook being written, in a context of its own: any number may be open at once, in
// any threads, each used by one thread at a time. Each call selects the workbook's context
// in the calling thread and then selects back what was selected before. A file is
// written atomically unless Replace::in_place is asked for: it replaces the old file only
// when the workbook is closed whole. The destructor closes the workbook, first completing
// a workbook that could not be closed yet (a worksheet named by the library where none was
// started, an empty text cell in a worksheet still without cells), so the file is always
// left well-formed; unwound by an exception, it abandons the workbook instead, leaving the
// old file (or none). close() reports what the close met.
class Workbook {
public:
    // How a file is written: through a temporary file that replaces the old one at a
    // whole close (xlsSetAtomic), or into the file itself from the start.
    enum class Replace { atomically, in_place };

    // Opens a new workbook at `path`; an empty author is written as "Cartella".
    explicit Workbook(std::string_view path, std::string_view author = {},
                      const Properties &properties = Properties(),
                      Replace how = Replace::atomically) {
        detail::CText<kMaxPath> where(path, "il percorso");
        detail::CText<kMaxAuthor> who(author, "l'autore");
        open([&] { return xlsSetAtomic(how == Replace::atomically), xlsInit(where.c_str(), who.c_str()); },
             properties);
    }

    // Opens a new workbook written to `out` (which must outlive it), in blocks; a stream
    // that goes bad makes close() throw as a failed file write does.
    explicit Workbook(std::ostream &out, std::string_view author = {},
                      const Properties &properties = Properties())
        : Workbook(write_to_ostream, &out, author, properties) {}

    // Opens a new workbook written through the C function `write(context, data, size)`.
    Workbook(xlsWriteFunction write, void *context, std::string_view author = {},
             const Properties &properties = Properties()) {
        detail::CText<kMaxAuthor> who(author, "l'autore");
        open([&] { return xlsInitStream(write, context, who.c_str()); }, properties);
    }
    // Starts a workbook at `output` as a copy of the workbook at `input`; its worksheets
    // follow with the first sheet(), less those passed to drop_sheet().
    // Atomically written, the output may be the input itself.
    static Workbook merge(std::string_view input, std::string_view output,
                          const Properties &properties = Properties(),
                          Replace how = Replace::atomically) {
        return Workbook(input, output, properties, how, MergeTag{});
    }

    Workbook(Workbook &&other) noexcept
        : context_(other.context_), open_(other.open_), sheet_(other.sheet_), cells_(other.cells_),
          unwinding_(other.unwinding_) {
        other.context_ = nullptr;
        other.open_ = false;
    }
    Workbook(const Workbook &) = delete;
    Workbook &operator=(const Workbook &) = delete;
    Workbook &operator=(Workbook &&) = delete;

    ~Workbook() {
        if (context_ == nullptr) return;
        if (Selection in(context_); open_ && in.ok() && std::uncaught_exceptions() > unwinding_) {
            xlsAbandon();  // half a workbook is never left to look finished
        } else if (open_ && in.ok()) {
            if (!sheet_) xlsAddSheet("", xlsSheetSetupDefault);
            if (!cells_) xlsWriteCell("", 'S', "");
            xlsClose();
        }
        xlsFreeContext(context_);
    }

    bool is_open() const noexcept { return open_; }

    Workbook &style(const Style &style) {
        Selection in = use();
        detail::check(xlsAddStyle(style.record(), ""));
        return *this;
    }

    // In a merge, leaves out the input worksheet of this name.
    Workbook &drop_sheet(std::string_view name) {
        return mark_sheet(name, xlsSheetDelete, "Manca il nome del foglio da togliere\n");
    }
    // In a merge, the next sheet() of this name takes the input worksheet's place.
    Workbook &replace_sheet(std::string_view name) {
        return mark_sheet(name, xlsSheetReplace, "Manca il nome del foglio da sostituire\n");
    }
    // In a merge, the next sheet() of this name continues the input worksheet's rows.
    Workbook &append_to_sheet(std::string_view name) {
        return mark_sheet(name, xlsSheetAppend, "Manca il nome del foglio da continuare\n");
    }
    // In a merge, the input's worksheet names in its order.
    std::vector<std::string> input_sheets() {
        Selection in = use();
        std::vector<std::string> names;
        for (int i = 0; const char *name = xlsGetMergeSheet(i); ++i) names.emplace_back(name);
        return names;
    }

private:
    Workbook &mark_sheet(std::string_view name, int (*mark)(const char *) GRIDQUILL_NOEXCEPT,
                         const char *missing) {
        Selection in = use();
        detail::CText<kMaxText> sheet(name, "il nome del foglio");
        if (name.empty()) detail::refuse(missing);
        detail::check(mark(sheet.c_str()));
        return *this;
    }

public:
    // Starts a worksheet of at most 31 characters.
    Workbook &sheet(std::string_view name, const SheetSetup &setup = SheetSetup()) {
        Selection in = use();
        if (detail::characters(name) > kMaxSheetName)
            detail::refuse_too_long("il nome del foglio", detail::characters(name), kMaxSheetName,
                                    "caratteri");
        detail::CText<4 * kMaxSheetName + 3> sheet(name, "il nome del foglio");
        detail::check(xlsAddSheet(sheet.c_str(), setup.record()));
        sheet_ = true;
        cells_ = false;
        return *this;
    }

    // A workbook-wide name before the first sheet(): an R1C1 formula with absolute
    // references, e.g. "=Dati!R1C1:R4C2" or "=0.5".
    Workbook &name(std::string_view name, std::string_view refers_to) {
        return add_name(xlsAddName, name, refers_to);
    }
    // A name of the sheet just started, before its first column or cell.
    Workbook &sheet_name(std::string_view name, std::string_view refers_to) {
        return add_name(xlsAddSheetName, name, refers_to);
    }
    // The sheet's print area (1-based, inclusive), before its first column or cell.
    Workbook &print_area(int first_row, int first_column, int last_row, int last_column) {
        Selection in = use();
        detail::check(xlsSetPrintArea(first_row, first_column, last_row, last_column));
        return *this;
    }
    // Rows (and columns) repeated on every printed page; 0, 0 for none of a kind.
    Workbook &print_titles(int first_row, int last_row, int first_column = 0,
                           int last_column = 0) {
        Selection in = use();
        detail::check(xlsSetPrintTitles(first_row, last_row, first_column, last_column));
        return *this;
    }

    // Width in points of a column (1 to 256), before the worksheet's first cell; hidden or not.
    Workbook &column(int column, int width, std::string_view style = {}, bool hidden = false) {
        Selection in = use();
        detail::CText<kMaxStyleRef> id(style, "l'ID dello stile");
        detail::check(hidden ? xlsColumnEx(column, width, id.c_str(), 1)
                             : xlsColumn(column, width, id.c_str()));
        return *this;
    }

    // A Number cell with an R1C1 formula and the value shown until a reader computes it.
    Workbook &formula(std::string_view formula, double value, std::string_view style = {}) {
        Selection in = use();
        detail::CText<kMaxStyleRef> id(style, "l'ID dello stile");
        detail::CText<kMaxFormula> text(formula, "la formula");
        detail::check(xlsWriteFormula(text.c_str(), value, id.c_str()));
        cells_ = true;
        return *this;
    }

    // A hyperlink ("https://...", "mailto:...", "#Sheet!A1") on the next cell written.
    Workbook &link(std::string_view address, std::string_view screen_tip = {}) {
        Selection in = use();
        detail::CText<kMaxLinkText> where(address, "il collegamento");
        detail::CText<kMaxLinkText> tip(screen_tip, "il suggerimento");
        detail::check(xlsSetCellLink(where.c_str(), tip.c_str()));
        return *this;
    }
    // A comment on the next cell written; shown always or on pointing.
    Workbook &comment(std::string_view text, std::string_view author = {}, bool shown = false) {
        Selection in = use();
        detail::CText<kMaxCommentText> note(text, "il commento");
        detail::CText<kMaxLinkText> who(author, "l'autore del commento");
        detail::check(xlsSetCellComment(note.c_str(), who.c_str(), shown ? 1 : 0));
        return *this;
    }
    // Hides the row that the next cell opens (call it after next_row()).
    Workbook &hide_row() {
        return in_context([] { return xlsHideRow(); });
    }

    // Options of the open worksheet, written at its end; rows and columns 1-based.
    Workbook &freeze(int rows, int columns = 0) {
        return in_context([=] { return xlsFreezePanes(rows, columns); });
    }
    // Filter buttons over the range; last_row 0 reaches down to the last row written.
    Workbook &autofilter(int first_row, int first_column, int last_row, int last_column) {
        return in_context(
            [=] { return xlsAutoFilter(first_row, first_column, last_row, last_column); });
    }
    Workbook &select(int row, int column) {
        return in_context([=] { return xlsSelectCell(row, column); });
    }
    Workbook &tab_color(int rgb) {  // 0xRRGGBB
        return in_context([=] { return xlsSetTabColor(rgb); });
    }
    Workbook &zoom(int percent) {
        return in_context([=] { return xlsSetZoom(percent); });
    }
    Workbook &display(int flags) {  // XLS_DISPLAY_* or-ed
        return in_context([=] { return xlsSetDisplay(flags); });
    }
    Workbook &hide_sheet(int how = 1) {
        return in_context([=] { return xlsHideSheet(how); });
    }
    Workbook &protect() {
        return in_context([] { return xlsProtectSheet(); });
    }
    Workbook &print_layout(int scale, int fit_wide = -1, int fit_tall = -1, int paper_size = 0) {
        return in_context([=] { return xlsSetPrintLayout(scale, fit_wide, fit_tall, paper_size); });
    }
    Workbook &page_break(int after_row, int after_column = 0) {
        return in_context([=] { return xlsAddPageBreak(after_row, after_column); });
    }
    Workbook &validation(int first_row, int first_column, int last_row, int last_column,
                         const xlsValidation &rule) {
        return in_context(
            [&] { return xlsAddValidation(first_row, first_column, last_row, last_column, rule); });
    }
    // One condition of a conditional format; up to 3 for the same range.
    Workbook &condition(int first_row, int first_column, int last_row, int last_column,
                        std::string_view qualifier, std::string_view value1,
                        std::string_view value2, std::string_view format) {
        detail::CText<32> how(qualifier, "il confronto");
        detail::CText<kMaxLinkText> a(value1, "il valore"), b(value2, "il valore"),
            look(format, "il formato");
        return in_context([&] {
            return xlsAddCondition(first_row, first_column, last_row, last_column, how.c_str(),
                                   a.c_str(), b.c_str(), look.c_str());
        });
    }

    // A Number cell from its text, as a reader takes it: an optional '-', digits with an
    // optional '.' fraction and an optional exponent ("1250.5", "-3e-7"); "1250,50", " 12 "
    // or "1_000" are refused.
    Workbook &number(std::string_view text, const CellOptions &options = CellOptions()) {
        alive();
        std::size_t i = text.size() > 1 && text[0] == '-' ? 1 : 0, digits = 0;
        auto digit_run = [&] {
            std::size_t from = i;
            while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
            return i - from;
        };
        digits = digit_run();
        if (i < text.size() && text[i] == '.') ++i, digits += digit_run();
        bool valid = digits > 0 && text.size() <= 64;
        if (valid && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
            ++i;
            if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
            valid = digit_run() > 0;
        }
        if (!valid || i != text.size())
            detail::refuse("Testo '" + std::string(text.substr(0, 64)) +
                           "' non valido per una cella Number\n");
        detail::CText<64> value(text, "una cella");
        return write(value.c_str(), 'N', options);
    }

    // A text cell of at most 32767 UTF-16 units; line breaks show with a wrapping style.
    // A text of 4096 bytes or more is copied to the heap, to be terminated for the C call.
    Workbook &cell(std::string_view text, const CellOptions &options = CellOptions()) {
        alive();
        std::size_t units = detail::utf16_units(text);
        if (units > kMaxCellUnits)
            detail::refuse_too_long("una cella", units, kMaxCellUnits, "unita' UTF-16");
        if (text.size() < 4096) {
            detail::CText<4095> value(text, "una cella");
            return write(value.c_str(), 'S', options);
        }
        detail::check_text(text, kMaxCellBytes, "una cella");
        std::string value(text);
        return write(value.c_str(), 'S', options);
    }
#if defined(__cpp_char8_t)
    Workbook &cell(std::u8string_view text, const CellOptions &options = CellOptions()) {
        return cell(detail::chars(text), options);
    }
    Workbook &sheet(std::u8string_view name, const SheetSetup &setup = SheetSetup()) {
        return sheet(detail::chars(name), setup);
    }
#endif
    Workbook &cell(std::string_view text, std::string_view style) {
        return cell(text, CellOptions().style(style));
    }

    // A number cell: integers in decimal, floating point in the shortest text that reads
    // back as the same value (std::to_chars); infinities and NaN are refused.
    template <class T, std::enable_if_t<detail::is_number_v<T>, int> = 0>
    Workbook &cell(T number, const CellOptions &options = CellOptions()) {
        alive();
        if constexpr (std::is_floating_point_v<T>) {
            if (!std::isfinite(number)) detail::refuse("Numero non finito per una cella Number\n");
        }
        char digits[64];
        std::to_chars_result r = std::to_chars(digits, digits + sizeof digits - 1, number);
        *r.ptr = '\0';
        return write(digits, 'N', options);
    }
    template <class T, std::enable_if_t<detail::is_number_v<T>, int> = 0>
    Workbook &cell(T number, std::string_view style) {
        return cell(number, CellOptions().style(style));
    }

    // A Boolean cell, TRUE or FALSE (bool alone: a pointer does not become one).
    template <class T, std::enable_if_t<std::is_same_v<T, bool>, int> = 0>
    Workbook &cell(T value, std::string_view style = {}) {
        Selection in = use();
        detail::CText<kMaxStyleRef> id(style, "l'ID dello stile");
        detail::check(xlsWriteBoolean(value ? 1 : 0, id.c_str()));
        cells_ = true;
        return *this;
    }

    // A DateTime cell; give it a style with a date format (such as "date") to show a date.
    Workbook &cell(const DateTime &when, const CellOptions &options = CellOptions()) {
        alive();
        if (!when.valid())
            detail::refuse("Data non valida: " + std::to_string(when.year) + "-" +
                           std::to_string(when.month) + "-" + std::to_string(when.day) + " " +
                           std::to_string(when.hour) + ":" + std::to_string(when.minute) + ":" +
                           std::to_string(when.second) + "\n");
        char text[] = "0000-00-00T00:00:00.000";
        put(text, 4, when.year);
        put(text + 5, 2, when.month);
        put(text + 8, 2, when.day);
        put(text + 11, 2, when.hour);
        put(text + 14, 2, when.minute);
        put(text + 17, 2, when.second);
        return write(text, 'D', options);
    }
    Workbook &cell(const DateTime &when, std::string_view style) {
        return cell(when, CellOptions().style(style));
    }

    // Ends the row.
    Workbook &next_row(const RowOptions &options = RowOptions()) {
        Selection in = use();
        detail::CText<kMaxStyleRef> id(options.style_, "l'ID dello stile");
        detail::check(xlsNewLineEx(options.skip_, options.height_, id.c_str()));
        return *this;
    }

    // A1 name of the next cell's position; empty beyond column ZZ. Valid until the next call.
    std::string_view position() const noexcept {
        Selection in(context_);
        const char *p = in.ok() ? xlsGetPosition() : nullptr;
        return p != nullptr ? std::string_view(p) : std::string_view();
    }
    // R1C1 range relative to the next cell's position, for formulas. Valid until the next call.
    std::string_view range(int row1, int col1, int row2, int col2) const noexcept {
        Selection in(context_);
        return in.ok() ? xlsGetRectangle(row1, col1, row2, col2) : std::string_view();
    }

    // Ends the workbook and closes the file; throws when refused (no cell in the last
    // worksheet: the workbook stays open) or when a write failed (the file is closed).
    void close() {
        Selection in = use();
        int result = xlsClose();
        if (result == XLS_FAIL && !cells_) detail::check(result);
        release();
        detail::check(result);
    }

private:
    struct MergeTag {};
    Workbook(std::string_view input, std::string_view output, const Properties &properties,
             Replace how, MergeTag) {
        detail::CText<kMaxPath> from(input, "il percorso");
        detail::CText<kMaxPath> to(output, "il percorso");
        open([&] { return xlsSetAtomic(how == Replace::atomically), xlsInitMerge(from.c_str(), to.c_str()); },
             properties);
    }

    static int write_to_ostream(void *context, const char *data, std::size_t size) noexcept {
        auto &out = *static_cast<std::ostream *>(context);
        try {
            out.write(data, static_cast<std::streamsize>(size));
        } catch (...) {
            return 0;
        }
        return out ? static_cast<int>(size) : 0;
    }

    Workbook &add_name(int (*call)(const char *, const char *), std::string_view name,
                       std::string_view refers_to) {
        Selection in = use();
        detail::CText<kMaxText> id(name, "il nome");
        detail::CText<kMaxFormula> formula(refers_to, "il riferimento del nome");
        detail::check(call(id.c_str(), formula.c_str()));
        return *this;
    }

    // The workbook's context selected in the calling thread for one call; what was
    // selected before comes back at the end. ok() is false when another thread holds it.
    class Selection {
    public:
        explicit Selection(xlsContext *context) noexcept
            : previous_(xlsGetContext()),
              ok_(context == previous_ || xlsSelectContext(context) != XLS_FAIL) {}
        // The same, throwing the library's message when another thread holds it.
        Selection(xlsContext *context, bool strict) : Selection(context) {
            if (strict && !ok_) detail::refuse(xlsGetError());
        }
        Selection(const Selection &) = delete;
        Selection &operator=(const Selection &) = delete;
        ~Selection() {
            if (ok_ && xlsGetContext() != previous_) xlsSelectContext(previous_);
        }
        bool ok() const noexcept { return ok_; }

    private:
        xlsContext *previous_;
        bool ok_;
    };

    // A context of its own, the workbook opened in it by `start`; a failure frees it.
    template <class Start>
    void open(Start start, const Properties &properties) {
        context_ = xlsNewContext();
        if (context_ == nullptr) detail::refuse(xlsGetError());
        std::string failure;
        int reason = 0;
        {
            Selection in(context_);
            try {
                xlsSetEncoding("UTF-8");
                properties.apply();
                detail::check(start());
            } catch (const Error &e) {
                failure = e.what();
                reason = e.system_error();
            }
        }
        if (!failure.empty()) {
            xlsFreeContext(context_);
            context_ = nullptr;
            throw Error(failure, reason);
        }
        open_ = true;
    }
    void release() noexcept { open_ = false; }
    void alive() const {
        if (!open_) detail::refuse("La cartella di lavoro e' chiusa\n");
    }
    // The workbook's context selected for one call of an open workbook.
    Selection use() const {
        alive();
        return Selection(context_, true);
    }
    // One C call in the workbook's context; throws its message on failure.
    template <class Call>
    Workbook &in_context(Call call) {
        Selection in = use();
        detail::check(call());
        return *this;
    }

    Workbook &write(const char *value, char type, const CellOptions &options) {
        Selection in = use();
        detail::CText<kMaxStyleRef> id(options.style_, "l'ID dello stile");
        detail::CText<kMaxFormula> formula(options.formula_, "la formula");
        detail::check(xlsWriteCellEx(value, type, id.c_str(), formula.c_str(), options.skip_,
                                     options.across_, options.down_));
        cells_ = true;
        return *this;
    }

    static void put(char *to, int width, int value) noexcept {
        for (int i = width - 1; i >= 0; --i, value /= 10)
            to[i] = static_cast<char>('0' + value % 10);
    }

    xlsContext *context_ = nullptr;
    bool open_ = false;
    bool sheet_ = false;  // a worksheet has been started
    bool cells_ = false;  // a cell has been written since it started
    int unwinding_ = std::uncaught_exceptions();  // exceptions in flight when it was made
};

}  // namespace gridquill

#endif  // C++17
#endif  // GRIDQUILL_HPP
