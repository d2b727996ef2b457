// Cells, row breaks and column definitions: the per-cell path of the writer.
#include <cmath>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "../textutil/names.hpp"
#include "../textutil/text_length.hpp"
#include "../textutil/textutil.hpp"
#include "cell_extras.hpp"
#include "errors.hpp"
#include "line.hpp"
#include "names.hpp"
#include "styles.hpp"

namespace gridquill::detail {

namespace {

constexpr int kMaxRowHeight = 199;

// The cell types, as indexes into the tables below.
enum Kind : unsigned { kString, kNumber, kDateTime, kBoolean };

// By type: the type part after the attributes, and the whole start of a cell line without
// attributes.
constexpr Piece<32> kTypePart[] = {piece<32>("><Data ss:Type=\"String\">"),
                                   piece<32>("><Data ss:Type=\"Number\">"),
                                   piece<32>("><Data ss:Type=\"DateTime\">"),
                                   piece<32>("><Data ss:Type=\"Boolean\">")};
// (A line start to a cache line, so that a type's is found with a shift.)
struct alignas(64) CellStart {
    Piece<48> piece;
};
constexpr CellStart kBareCellStart[] = {{piece<48>("    <Cell ><Data ss:Type=\"String\">")},
                                        {piece<48>("    <Cell ><Data ss:Type=\"Number\">")},
                                        {piece<48>("    <Cell ><Data ss:Type=\"DateTime\">")},
                                        {piece<48>("    <Cell ><Data ss:Type=\"Boolean\">")}};

// The type of each type letter a client gives; Boolean has none.
constexpr auto kTypeOfLetter = [] {
    struct Table {
        unsigned char t[256];
    } t{};
    for (unsigned char letter : {'N', 'n'}) t.t[letter] = kNumber;
    for (unsigned char letter : {'D', 'd'}) t.t[letter] = kDateTime;
    return t;
}();

inline unsigned kind_of(char type) noexcept {
    return kTypeOfLetter.t[static_cast<unsigned char>(type)];
}

// A C text argument, null taken as "".
inline std::string_view text_arg(const char *s) noexcept {
    return s != nullptr ? std::string_view(s, text_length(s)) : std::string_view();
}

// What the value pipeline writes for a byte when nothing is cut: up to five bytes, kept
// in a word so that each is put with one fixed-size copy.
struct ByteOutput {
    char text[7];
    unsigned char size;
};

struct Entity {
    char byte;
    std::string_view text;
};

constexpr auto kByteOutput = [] {
    struct Table {
        ByteOutput b[256];
    } t{};
    for (int b = 0; b < 256; ++b) {
        ByteOutput &e = t.b[b];
        e.size = static_cast<unsigned char>(put_utf8(e.text, b < 0x20 ? ' ' : char32_t(b)));
    }
    for (Entity entity : {Entity{'&', "&amp;"}, Entity{'<', "&lt;"}, Entity{'>', "&gt;"}}) {
        ByteOutput &e = t.b[static_cast<unsigned char>(entity.byte)];
        for (std::size_t i = 0; i < entity.text.size(); ++i) e.text[i] = entity.text[i];
        e.size = static_cast<unsigned char>(entity.text.size());
    }
    return t;
}();

// The same for the cell values of the new modes, below 0x80 and, for Windows-1252, above:
// tabs kept, line feeds as references the reader shows as line breaks (a carriage return
// is decided with the byte after it), the code page's characters from 0x80 to 0x9F.
constexpr auto kNewModeByteOutput = [] {
    auto t = kByteOutput;
    auto set = [&](int b, std::string_view text) {
        ByteOutput &e = t.b[b];
        for (std::size_t i = 0; i < text.size(); ++i) e.text[i] = text[i];
        e.size = static_cast<unsigned char>(text.size());
    };
    set('\t', "\t");
    set('\n', "&#10;");
    for (int b = 0x80; b < 0xA0; ++b) {
        ByteOutput &e = t.b[b];
        e.size = static_cast<unsigned char>(
            put_utf8(e.text, windows1252_char(static_cast<unsigned char>(b))));
    }
    return t;
}();

constexpr std::size_t kBlock = 16;

#if defined(__SSE2__)
// One bit per byte of v, set where the pipeline changes or stops at the byte: a control
// byte, a byte from 0x80 up, '&', '<' or '>'. Only the top bit of each byte counts.
inline unsigned stop_mask(__m128i v) noexcept {
    // Signed and saturating, v - 0x20 is negative exactly below 0x20 and from 0x80 up.
    __m128i stop = _mm_subs_epi8(v, _mm_set1_epi8(0x20));
    stop = _mm_or_si128(stop, _mm_cmpeq_epi8(v, _mm_set1_epi8('&')));
    // '<' (0x3C) and '>' (0x3E) are the two bytes that give '>' with bit 1 set.
    __m128i angle = _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(2)), _mm_set1_epi8('>'));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(stop, angle)));
}

// Copies the kBlock bytes at p to o and returns how many of them, from the first, the
// pipeline keeps unchanged (kBlock: all); a terminator among them stops the run.
inline std::size_t copy_plain_block(const char *p, char *o) noexcept {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(o), v);
    unsigned m = stop_mask(v);
    return m == 0 ? kBlock : static_cast<std::size_t>(__builtin_ctz(m));
}

// The same for the r bytes at p that end with a value's terminator, 8 <= r <= kBlock,
// read as two words of 8 that overlap in the middle and written to o the same way. The
// terminator stops the run, so the result is below r.
inline std::size_t copy_plain_tail8(const char *p, std::size_t r, char *o) noexcept {
    std::uint64_t head, tail;
    std::memcpy(&head, p, 8);
    std::memcpy(&tail, p + r - 8, 8);
    std::memcpy(o, &head, 8);
    std::memcpy(o + r - 8, &tail, 8);
    unsigned m = stop_mask(
        _mm_set_epi64x(static_cast<long long>(tail), static_cast<long long>(head)));
    auto bit = static_cast<std::size_t>(__builtin_ctz(m));
    return bit < 8 ? bit : bit + r - 16;
}

// The same for 4 <= r <= 8 bytes, as two words of 4.
inline std::size_t copy_plain_tail4(const char *p, std::size_t r, char *o) noexcept {
    std::uint32_t head, tail;
    std::memcpy(&head, p, 4);
    std::memcpy(&tail, p + r - 4, 4);
    std::memcpy(o, &head, 4);
    std::memcpy(o + r - 4, &tail, 4);
    __m128i both = _mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(head)),
                                      _mm_cvtsi32_si128(static_cast<int>(tail)));
    auto bit = static_cast<std::size_t>(__builtin_ctz(stop_mask(both)));
    return bit < 4 ? bit : bit + r - 8;
}

// Copies a value of 4 to kBlock - 1 bytes to o, as two words that overlap, and says whether
// none of its bytes changes. The answer only steers: where the line goes on follows from
// the size alone, not from a count worked out of the bytes, so the next cell need not wait
// for the check.
inline bool copy_short_plain(const char *p, std::size_t size, char *o) noexcept {
    if (size >= 8 && size < kBlock) {
        std::uint64_t head, tail;
        std::memcpy(&head, p, 8);
        std::memcpy(&tail, p + size - 8, 8);
        std::memcpy(o, &head, 8);
        std::memcpy(o + size - 8, &tail, 8);
        return stop_mask(_mm_set_epi64x(static_cast<long long>(tail),
                                        static_cast<long long>(head))) == 0;
    }
    if (size >= 4 && size < 8) {
        std::uint32_t head, tail;
        std::memcpy(&head, p, 4);
        std::memcpy(&tail, p + size - 4, 4);
        std::memcpy(o, &head, 4);
        std::memcpy(o + size - 4, &tail, 4);
        return stop_mask(_mm_unpacklo_epi32(_mm_cvtsi32_si128(static_cast<int>(head)),
                                            _mm_cvtsi32_si128(static_cast<int>(tail)))) == 0;
    }
    return false;
}
#else
inline bool copy_short_plain(const char *, std::size_t, char *) noexcept { return false; }
inline std::size_t copy_plain_block(const char *, char *) noexcept { return 0; }
inline std::size_t copy_plain_tail8(const char *, std::size_t, char *) noexcept { return 0; }
inline std::size_t copy_plain_tail4(const char *, std::size_t, char *) noexcept { return 0; }
#endif

constexpr std::size_t kNotFast = static_cast<std::size_t>(-1);

inline bool continuation(char c) noexcept { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Puts what a cell value of the new modes becomes for the byte at p that stops a plain
// run, and moves past what it took: a whole UTF-8 sequence, a carriage return with its line
// feed. The value's terminator stops every look ahead.
template <Encoding E>
[[gnu::always_inline]] inline void put_special(const char *&p, char *&o,
                                               std::string_view value) noexcept {
    auto b = static_cast<unsigned char>(*p);
    if constexpr (E == Encoding::utf8) {
        if (b >= 0xC2 && b <= 0xDF && continuation(p[1])) {
            std::memcpy(o, p, 2);
            o += 2;
            p += 2;
            return;
        }
        auto c1 = static_cast<unsigned char>(p[1]);
        if ((b & 0xF0) == 0xE0 && continuation(p[1]) && continuation(p[2]) &&
            (b != 0xE0 || c1 >= 0xA0) && (b != 0xED || c1 < 0xA0) &&
            (b != 0xEF || c1 != 0xBF || static_cast<unsigned char>(p[2]) < 0xBE)) {
            std::memcpy(o, p, 3);
            o += 3;
            p += 3;
            return;
        }
        if (b >= 0x80) {  // four bytes, or what becomes U+FFFD
            Unit u = next_unit(value, static_cast<std::size_t>(p - value.data()), Place::content,
                               Source::cell, E);
            std::memcpy(o, u.out, sizeof u.out);
            o += u.size;
            p += u.in;
            return;
        }
    }
    if (b == '\r') {
        o = put(o, "&#10;");
        p += p[1] == '\n' ? 2 : 1;
        return;
    }
    const ByteOutput &put_byte = kNewModeByteOutput.b[b];
    std::memcpy(o, &put_byte, sizeof put_byte);
    o += put_byte.size;
    ++p;
}

// Escapes and converts a value in one pass when its whole result fits under the cut
// points (kUtf8StopAt bytes); otherwise kNotFast. E is the client's encoding. Runs of plain
// bytes go up to kBlock at a time, reading only the value's own bytes and its terminator;
// nothing is written past kUtf8StopAt + 8 bytes of `out`.
template <Encoding E>
[[gnu::always_inline]] inline std::size_t encode_value_fast(std::string_view value,
                                                            char *out) noexcept {
    const std::size_t size = value.size();
    const char *p = value.data();
    char *o = out;
    if (size < kBlock) [[likely]] {  // all of a short value at once, unless it holds a stop
        std::size_t n = 0;
        if (size >= 7) [[likely]]
            n = copy_plain_tail8(p, size + 1, o);
        else if (size >= 3)
            n = copy_plain_tail4(p, size + 1, o);
        if (n == size) [[likely]]
            return size;
        p += n;
        o += n;
    } else if (size > kUtf8StopAt) {
        return kNotFast;  // each byte gives one or more
    }
    const char *const end = value.data() + size;  // the terminator
    char *const last = out + kUtf8StopAt;
    for (;;) {
        const auto readable = static_cast<std::size_t>(end - p) + 1;
        std::size_t n = 0;  // plain bytes at p, copied already
        if (last - o >= static_cast<std::ptrdiff_t>(kBlock)) [[likely]] {
            n = readable >= kBlock ? copy_plain_block(p, o)
                : readable >= 8    ? copy_plain_tail8(p, readable, o)
                : readable >= 4    ? copy_plain_tail4(p, readable, o)
                                   : 0;
        }
        p += n;
        o += n;
        if (p == end) return static_cast<std::size_t>(o - out);
        if (n == kBlock) continue;
        if constexpr (E == Encoding::latin1) {
            const ByteOutput &put_byte = kByteOutput.b[static_cast<unsigned char>(*p++)];
            std::memcpy(o, &put_byte, sizeof put_byte);
            o += put_byte.size;
        } else {
            put_special<E>(p, o, value);
        }
        if (o > last) return kNotFast;
    }
}

// The longest line of a cell without a formula or style; each adds its escaped form.
constexpr std::size_t kBareCellLineSize =
    kCellLineSize - kEscapeFactor * kMaxFormula - kMaxEscapedId;

// The value pipeline with every cut point of the text services (escape '&', then '<',
// then '>', then convert), for values that reach the limits. A cut that leaves a bare
// special character or a split entity at the end is cut back before it.
[[gnu::noinline]] std::size_t encode_value_cut(std::string_view value, char *out) noexcept {
    char a[kServiceBufferSize], b[kServiceBufferSize];
    std::size_t n = replace_into(value, "&", "&amp;", a);
    if (n != 0) n = replace_into({a, n}, "<", "&lt;", b);
    if (n != 0) n = replace_into({b, n}, ">", "&gt;", a);
    n = n != 0 ? latin1_to_utf8({a, n}, b) : 0;
    n = well_formed_prefix({b, n});
    std::memcpy(out, b, n);
    return n;
}

// The value of the new modes, for values whose result passes kUtf8StopAt bytes: the line
// so far goes out, then the value a character at a time, whole up to kMaxCellUnits UTF-16
// units and cut beyond at a character, then the end of the line.
[[gnu::noinline]] void write_long_value(WriterState &w, std::string_view text, char *o) noexcept {
    Output &out = w.out;
    out.commit(o);
    std::size_t units = 0;
    for (std::size_t i = 0; i < text.size();) {
        Unit u = next_unit(text, i, Place::content, Source::cell, w.settings.encoding);
        if (units + u.utf16 > kMaxCellUnits) break;
        char *at = out.reserve(sizeof u.out);
        std::memcpy(at, u.out, sizeof u.out);
        out.commit(at + u.size);
        units += u.utf16;
        i += u.in;
    }
    bool comment = w.cells.extrasPending;  // the comment, if any, follows the data
    o = out.reserve(sizeof "</Data></Cell>\n");
    out.commit(put(o, comment ? "</Data>" : "</Data></Cell>\n"));
    if (comment) end_cell_with_comment(w);
}

// A value under kBlock bytes without a byte that changes, copied whole; else kNotFast.
[[gnu::always_inline]] inline std::size_t short_plain_value(std::string_view value,
                                                            char *out) noexcept {
    const std::size_t size = value.size();
    std::size_t n = kNotFast;
    if (size >= 7 && size < kBlock) n = copy_plain_tail8(value.data(), size + 1, out);
    else if (size >= 3 && size < 7) n = copy_plain_tail4(value.data(), size + 1, out);
    else if (size == 0) n = 0;
    return n == size ? size : kNotFast;
}

// The one-pass encoder of the new modes, out of the Latin-1 mode's way; the UTF-8 mode
// drops a byte-order mark.
[[gnu::noinline]] std::size_t encode_value_new_mode(Encoding encoding, std::string_view text,
                                                    char *o) noexcept {
    if (encoding == Encoding::windows1252) return encode_value_fast<Encoding::windows1252>(text, o);
    if (text.size() >= 3 && std::memcmp(text.data(), "\xEF\xBB\xBF", 3) == 0) text.remove_prefix(3);
    return encode_value_fast<Encoding::utf8>(text, o);
}

// A style ID a cell names that is not a plain name: known, and its form in the file.
[[gnu::noinline]] bool known_other_style(const WriterState &w, std::string_view id,
                                         StyleName &written) noexcept {
    return style_reference(w, id, written);
}

// Puts a formula or style ID escaped for its attribute.
[[gnu::noinline]] char *put_escaped(Encoding encoding, char *o, std::string_view text) noexcept {
    bool whole = true;
    return o + escape_into(o, kEscapeFactor * text.size(), text, Place::attribute, Source::markup,
                           encoding, whole);
}

// The refusals of a cell, kept out of the way of its writing.
[[gnu::cold, gnu::noinline]] int refuse_cell_phase(WriterState &w) noexcept {
    return fail(w, {"Non si puo' scrivere una cella a questo punto\n"});
}
[[gnu::cold, gnu::noinline]] int refuse_cell_style(WriterState &w,
                                                   std::string_view style) noexcept {
    return fail(w, {"ID stile '", style, "' errato o mancante in xlsWriteCell().\n"});
}
[[gnu::cold, gnu::noinline]] int refuse_cell_edge(WriterState &w) noexcept {
    static_assert(kMaxRows == 1048576 && kMaxColumns == 256);
    return fail(w, {"Cella oltre i limiti del foglio (1048576 righe, 256 colonne) in "
                    "xlsWriteCell().\n"});
}
[[gnu::cold, gnu::noinline]] int refuse_cell_formula(WriterState &w) noexcept {
    static_assert(kMaxFormula == 1024);
    return fail(w, {"Formula troppo lunga (piu' di 1024 caratteri) in xlsWriteCell().\n"});
}

// Ends the cell lines that write_cell does not end itself: a value that reaches the cut
// points (n is kNotFast), or a cell with a link or comment.
[[gnu::noinline]] int end_cell_line(WriterState &w, std::string_view text, char *o,
                                    std::size_t n) noexcept {
    if (n == kNotFast && w.settings.encoding != Encoding::latin1) {
        write_long_value(w, text, o);
        return kYes;
    }
    if (n == kNotFast) n = encode_value_cut(text, o);
    if (w.cells.extrasPending) {  // the comment, if any, follows the data
        w.out.commit(put(o + n, "</Data>"));
        end_cell_with_comment(w);
        return kYes;
    }
    w.out.commit(put(o + n, "</Data></Cell>\n"));
    return kYes;
}

constexpr std::size_t kStoredStyle = decltype(Workbook::styleIds)::stored_size;

// The row start tag with the attributes its row break left, when the output is open; the
// row's first cell.
[[gnu::noinline]] char *open_row(WriterState &w, char *o) noexcept {
    Cells &cells = w.cells;
    cells.lastRow = cells.currentRow;
    if (w.out.is_open() && cells.pendingRowAttrs.empty()) {
        o = put(o, "   <Row>\n");
        cells.rowOpen = true;
    } else if (w.out.is_open()) {
        o = put(o, "   <Row");
        constexpr std::size_t kShortAttrs = 128;  // index, height and a short style ID
        if (cells.pendingRowAttrs.size() < kShortAttrs) {  // one fixed copy
            std::memcpy(o, cells.pendingRowAttrs.c_str(), kShortAttrs);
            o += cells.pendingRowAttrs.size();
        } else {
            o = put(o, cells.pendingRowAttrs.view());
        }
        o = put(o, ">\n");
        cells.rowOpen = true;
    }
    cells.pendingRowAttrs.clear();
    return o;
}

// A value in the new modes: numbers and short words, the same in every mode, at once;
// else the one-pass encoder.
[[gnu::always_inline]] inline std::size_t encode_value_new_modes(Encoding encoding,
                                                                 std::string_view text,
                                                                 char *o) noexcept {
    std::size_t n = short_plain_value(text, o);
    if (n != kNotFast) [[likely]]
        return n;
    return encode_value_new_mode(encoding, text, o);
}

// Any cell: the checks, then the row start tag if due and the cell line, assembled in the
// output's buffer. A sheet's first cell, a cell with a link, comment, style, formula, skip
// or merge, and the refusals come here.
[[gnu::noinline]] int write_any_cell(WriterState &w, std::string_view text, unsigned kind,
                                     const char *styleId, const char *formula, int skip,
                                     int mergeAcross, int mergeDown) noexcept {
    if (w.book.phase < PHASE_SHEET) return refuse_cell_phase(w);
    std::string_view style, calc = text_arg(formula);
    const char *storedStyle = nullptr;
    StyleName styleName;
    if (styleId != nullptr && *styleId != '\0') {
        style = {styleId, text_length(styleId)};
        if (plain_name(style)) {  // its own form in the file: copied from the registry
            storedStyle = w.book.styleIds.find(style);
            if (storedStyle == nullptr) return refuse_cell_style(w, style);
        } else if (!known_other_style(w, style, styleName)) {
            return refuse_cell_style(w, style);
        }
    }
    if (calc.size() > kMaxFormula) return refuse_cell_formula(w);
    if (skip < 0 || skip > kMaxSkip) skip = 0;
    Cells &cells = w.cells;
    // The grid's edges: the cell and the cells it merges stay inside, or nothing is written.
    const int column = saturating_add(cells.currentColumn, skip);
    if (column > kMaxColumns - (mergeAcross > 0 ? mergeAcross : 0) ||
        cells.currentRow > kMaxRows - (mergeDown > 0 ? mergeDown : 0))
        return refuse_cell_edge(w);
    if (w.book.phase != PHASE_CELLS) write_sheet_head(w);  // the sheet's first cell

    char *o = w.out.reserve(kBareCellLineSize + kEscapeFactor * calc.size() +
                            (style.empty() ? 0 : kMaxEscapedId));
    if (!cells.rowOpen) o = open_row(w, o);
    o = put(o, "    <Cell ");
    if (mergeAcross > 0) {
        o = put_int(put(o, "ss:MergeAcross=\""), mergeAcross);
        o = put(o, "\" ");
    }
    if (mergeDown > 0) {
        o = put_int(put(o, "ss:MergeDown=\""), mergeDown);
        o = put(o, "\" ");
    }
    if (skip > 0) o = put(put_int(put(o, "ss:Index=\""), column), "\" ");
    if (!calc.empty()) {
        o = put(o, "ss:Formula=\"");
        o = plain_text(calc) ? put(o, calc) : put_escaped(w.settings.encoding, o, calc);
        o = put(o, "\" ");
    }
    if (storedStyle != nullptr) {  // copied whole from the registry, which pads it
        o = put(o, "ss:StyleID=\"");
        std::memcpy(o, storedStyle, kStoredStyle);
        o = put(o + style.size(), "\" ");
    } else if (!style.empty()) {
        o = put(put(put(o, "ss:StyleID=\""), styleName.view()), "\" ");
    }
    o = put_piece(put_link(w, o), kTypePart[kind]);
    // A merged cell covers its further columns too: the next cell lands after them.
    cells.currentColumn = saturating_add(column, 1LL + (mergeAcross > 0 ? mergeAcross : 0));
    w.book.phase = PHASE_CELLS;

    const Encoding encoding = w.settings.encoding;
    const std::size_t n = encoding == Encoding::latin1
                              ? encode_value_fast<Encoding::latin1>(text, o)
                              : encode_value_new_modes(encoding, text, o);
    return end_cell_line(w, text, o, n);
}

// The value of a common cell that is not short and plain, and the end of its line; o is
// where the value goes.
[[gnu::noinline]] int write_cell_value(WriterState &w, std::string_view text, char *o) noexcept {
    const Encoding encoding = w.settings.encoding;
    std::size_t n;
    if (encoding == Encoding::latin1) [[likely]]
        n = encode_value_fast<Encoding::latin1>(text, o);
    else n = encode_value_new_mode(encoding, text, o);  // not short and plain: seen already
    if (n == kNotFast) [[unlikely]]
        return end_cell_line(w, text, o, n);
    w.out.commit(put(o + n, "</Data></Cell>\n"));
    return kYes;
}

// The common cell's line at o, where its room is reserved: the start for its type, then
// a short plain value here, any other by write_cell_value.
[[gnu::always_inline]] inline int put_cell_line(WriterState &w, char *o, std::string_view text,
                                                unsigned kind) noexcept {
    o = put_piece(o, kBareCellStart[kind].piece);
    ++w.cells.currentColumn;
    if (copy_short_plain(text.data(), text.size(), o)) [[likely]] {  // the same in every mode
        w.out.commit(put(o + text.size(), "</Data></Cell>\n"));
        return kYes;
    }
    return write_cell_value(w, text, o);
}

// A common cell that opens its row or finds the buffer full. An open row lies inside the
// grid, as its row was checked when it opened and moves only when it closes, so only a
// row's first cell checks it.
[[gnu::noinline]] int write_cell_opening(WriterState &w, std::string_view text,
                                         unsigned kind) noexcept {
    Cells &cells = w.cells;
    if (!cells.rowOpen && cells.currentRow > kMaxRows) return refuse_cell_edge(w);
    char *o = w.out.reserve(kBareCellLineSize);
    if (!cells.rowOpen) o = open_row(w, o);
    return put_cell_line(w, o, text, kind);
}

// A cell without formula, skip or merge, by write_any_cell; few arguments, so that a call
// of it can be a jump.
[[gnu::noinline]] int write_other_cell(WriterState &w, std::string_view text, unsigned kind,
                                       const char *styleId) noexcept {
    return write_any_cell(w, text, kind, styleId, "", 0, 0, 0);
}

// One cell, inlined into each entry point: the common cell (a sheet's further cell, with no
// style, formula, skip, merge, link or comment, inside the grid) written here, any other by
// write_any_cell. What is not written here is reached by a jump, so that the common cell
// makes no call and saves no register.
[[gnu::always_inline]] inline int write_cell(WriterState &w, std::string_view text, unsigned kind,
                                             const char *styleId, const char *formula, int skip,
                                             int mergeAcross, int mergeDown) noexcept {
    Cells &cells = w.cells;
    const bool bare = (formula == nullptr || *formula == '\0') && skip == 0 && mergeAcross <= 0 &&
                      mergeDown <= 0;
    if (w.book.phase != PHASE_CELLS || (styleId != nullptr && *styleId != '\0') || !bare ||
        cells.currentColumn > kMaxColumns) [[unlikely]] {
        if (bare) return write_other_cell(w, text, kind, styleId);
        return write_any_cell(w, text, kind, styleId, formula, skip, mergeAcross, mergeDown);
    }
    if (!cells.rowOpen || !w.out.has_room(kBareCellLineSize)) [[unlikely]]
        return write_cell_opening(w, text, kind);
    return put_cell_line(w, w.out.reserve(kBareCellLineSize), text, kind);
}

// A row break; inlined into both entry points like write_cell.
[[gnu::always_inline]] inline int new_line(WriterState &w, int skip, int height,
                                           const char *styleId) noexcept {
    if (w.book.phase < PHASE_SHEET)
        return fail(w, {"Non si puo' saltare una linea a questo punto.\n"});
    std::string_view style = text_arg(styleId);
    StyleName styleName;
    if (!style.empty() && !style_reference(w, style, styleName))  // checked before anything moves
        return fail(w, {"ID stile '", style, "' errato o mancante in xlsNewLine().\n"});
    // A skip in range writes the row's index; any other break leaves the next row right
    // below the last row that holds a cell, as a reader places a row without an index.
    Cells &cells = w.cells;
    const bool indexed = skip >= 1 && skip <= kMaxSkip;
    cells.currentRow = indexed ? saturating_add(cells.currentRow, static_cast<long long>(skip) + 1)
                               : saturating_add(cells.lastRow, 1);
    cells.currentColumn = 1;
    if (cells.rowOpen) {
        constexpr std::string_view kRowEnd = "   </Row>\n";
        w.out.commit(put(w.out.reserve(kRowEnd.size()), kRowEnd));
    }
    cells.rowOpen = false;
    auto &attrs = cells.pendingRowAttrs;
    attrs.clear();
    if (indexed) attrs.append(" ss:Index=\"").append_int(cells.currentRow).append("\" ");
    if (height >= 1 && height <= kMaxRowHeight)
        attrs.append(" ss:AutoFitHeight=\"0\" ss:Height=\"").append_int(height).append("\" ");
    if (!style.empty()) attrs.append(" ss:StyleID=\"").append(styleName.view()).append("\" ");
    return kYes;
}

// A cell that is the thread's first call.
[[gnu::noinline]] int write_first_cell(std::string_view text, unsigned kind, const char *styleId,
                                       const char *formula, int skip, int mergeAcross,
                                       int mergeDown) noexcept {
    if (!attached()) return kNo;
    return write_any_cell(current(), text, kind, styleId, formula, skip, mergeAcross, mergeDown);
}

}  // namespace

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" int xlsWriteCellEx(const char *value, char type, const char *styleId,
                              const char *formula, int skip, int mergeAcross,
                              int mergeDown) noexcept {
    const std::string_view text = text_arg(value);
    if (!attached_already()) [[unlikely]]
        return write_first_cell(text, kind_of(type), styleId, formula, skip, mergeAcross,
                                mergeDown);
    return write_cell(current(), text, kind_of(type), styleId, formula, skip, mergeAcross,
                      mergeDown);
}

extern "C" int xlsWriteCell(const char *value, char type, const char *styleId) noexcept {
    const std::string_view text = text_arg(value);
    if (!attached_already()) [[unlikely]]
        return write_first_cell(text, kind_of(type), styleId, "", 0, 0, 0);
    return write_cell(current(), text, kind_of(type), styleId, "", 0, 0, 0);
}

extern "C" int xlsNewLineEx(int skip, int height, const char *styleId) noexcept {
    if (!attached()) return kNo;
    return new_line(current(), skip, height, styleId);
}

extern "C" int xlsNewLine(void) noexcept {
    if (!attached()) return kNo;
    return new_line(current(), 0, 0, "");
}

namespace {

// One column definition; `hidden` adds the hidden attribute.
int column_line(WriterState &w, int column, int width, const char *styleId, bool hidden) noexcept {
    if (column < 1 || column > kMaxColumns)
        return fail(w, {"Numero di colonna errato in xlsColumn()\n"});
    if (width < 0) return fail(w, {"Larghezza di colonna negativa in xlsColumn().\n"});
    if (w.book.phase != PHASE_SHEET)
        return fail(w, {"Non si puo' aggiungere una definizione Colonna a questo punto\n"});
    std::string_view style = arg(styleId);
    StyleName styleName;
    if (!style.empty() && !style_reference(w, style, styleName))
        return fail(w, {"ID stile '", style, "' errato o mancante.\n"});
    write_sheet_head(w);
    auto &line = w.staging;
    line.assign("   <Column ss:Index=\"").append_int(column).append("\" ");
    if (!style.empty()) line.append("ss:StyleID=\"").append(styleName.view()).append("\" ");
    if (hidden) line.append("ss:Hidden=\"1\" ");
    line.append(" ss:AutoFitWidth=\"0\" ss:Width=\"").append_int(width).append("\"/>\n");
    w.out.write(line.view());
    return kYes;
}

}  // namespace

extern "C" int xlsColumn(int column, int width, const char *styleId) noexcept {
    if (!attached()) return kNo;
    return column_line(current(), column, width, styleId, false);
}

extern "C" int xlsColumnEx(int column, int width, const char *styleId, int hidden) noexcept {
    if (!attached()) return kNo;
    return column_line(current(), column, width, styleId, hidden != 0);
}

extern "C" int xlsHideRow(void) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!sheet_open(w)) return refuse_no_sheet(w, "xlsHideRow");
    if (w.cells.rowOpen)
        return fail(w, {"Riga gia' aperta: xlsHideRow() va chiamata dopo xlsNewLine().\n"});
    if (w.cells.pendingRowAttrs.view().find("ss:Hidden") == std::string_view::npos)
        w.cells.pendingRowAttrs.append(" ss:Hidden=\"1\" ");
    return kYes;
}

extern "C" int xlsWriteNumber(double value, const char *styleId) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!std::isfinite(value)) return fail(w, {"Numero non finito in xlsWriteNumber().\n"});
    char digits[32];
    *std::to_chars(digits, digits + sizeof digits - 1, value).ptr = '\0';
    return write_cell(w, digits, kNumber, styleId, "", 0, 0, 0);
}

extern "C" int xlsWriteFormula(const char *formula, double value, const char *styleId) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!std::isfinite(value)) return fail(w, {"Numero non finito in xlsWriteFormula().\n"});
    if (arg(formula).empty()) return fail(w, {"Manca la formula in xlsWriteFormula().\n"});
    char digits[32];
    *std::to_chars(digits, digits + sizeof digits - 1, value).ptr = '\0';
    return write_cell(w, digits, kNumber, styleId, formula, 0, 0, 0);
}

extern "C" int xlsWriteDateTime(int year, int month, int day, int hour, int minute, int second,
                                const char *styleId) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    bool valid = year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
                 day <= kDays[month >= 1 && month <= 12 ? month - 1 : 0] + (month == 2 && leap) &&
                 hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 &&
                 second <= 59;
    if (!valid) return fail(w, {"Data o ora non valida in xlsWriteDateTime().\n"});
    char text[] = "0000-00-00T00:00:00.000";
    auto put2 = [](char *at, int width, int v) {
        for (int i = width - 1; i >= 0; --i, v /= 10) at[i] = static_cast<char>('0' + v % 10);
    };
    put2(text, 4, year);
    put2(text + 5, 2, month);
    put2(text + 8, 2, day);
    put2(text + 11, 2, hour);
    put2(text + 14, 2, minute);
    put2(text + 17, 2, second);
    return write_cell(w, text, kDateTime, styleId, "", 0, 0, 0);
}

extern "C" int xlsWriteBoolean(int value, const char *styleId) noexcept {
    if (!attached()) return kNo;
    return write_cell(current(), value != 0 ? "1" : "0", kBoolean, styleId, "", 0, 0, 0);
}

extern "C" int xlsWriteBooleanEx(int value, const char *styleId, int skip) noexcept {
    if (!attached()) return kNo;
    return write_cell(current(), value != 0 ? "1" : "0", kBoolean, styleId, "", skip, 0, 0);
}
