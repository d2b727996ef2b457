// Cells, row breaks and column definitions: the per-cell path of the writer.
#include <climits>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "../textutil/textutil.hpp"
#include "state.hpp"

namespace gridquill::detail {

namespace {

constexpr int kMaxSkip = 200;
constexpr int kMaxRowHeight = 199;
constexpr int kMaxColumn = 256;

inline char *put(char *o, std::string_view s) noexcept {
    std::memcpy(o, s.data(), s.size());
    return o + s.size();
}

inline char *put_int(char *o, long long v) noexcept {
    return std::to_chars(o, o + 24, v).ptr;
}

// The type part of a cell line, padded to a fixed size so that it is copied as one block.
struct TypeTag {
    char text[32];
    std::size_t size;
};

constexpr TypeTag type_tag(std::string_view s) noexcept {
    TypeTag t{};
    for (std::size_t i = 0; i < s.size(); ++i) t.text[i] = s[i];
    t.size = s.size();
    return t;
}

constexpr TypeTag kNumberTag = type_tag("><Data ss:Type=\"Number\">");
constexpr TypeTag kDateTimeTag = type_tag("><Data ss:Type=\"DateTime\">");
constexpr TypeTag kStringTag = type_tag("><Data ss:Type=\"String\">");

// Puts the type part for a type letter; the padding lands where the value goes next.
inline char *put_type(char *o, char type) noexcept {
    const TypeTag &t = type == 'N' || type == 'n'   ? kNumberTag
                       : type == 'D' || type == 'd' ? kDateTimeTag
                                                    : kStringTag;
    std::memcpy(o, t.text, sizeof t.text);
    return o + t.size;
}

// a + b for b >= 0, held at INT_MAX.
inline int plus(int a, int b) noexcept {
    int r;
    return __builtin_add_overflow(a, b, &r) ? INT_MAX : r;
}

// A C text argument with the common empty case decided without a call.
inline std::string_view text_arg(const char *s) noexcept {
    return s != nullptr && *s != '\0' ? std::string_view(s) : std::string_view();
}

// What the value pipeline does with each byte when nothing is cut.
enum ByteClass : unsigned char { kCopy, kBlank, kAmp, kLess, kGreater, kHigh };

constexpr auto kByteClass = [] {
    struct Table {
        unsigned char c[256];
    } t{};
    for (int b = 0; b < 256; ++b)
        t.c[b] = b < 0x20 ? kBlank : b >= 0x80 ? kHigh : kCopy;
    t.c[static_cast<unsigned char>('&')] = kAmp;
    t.c[static_cast<unsigned char>('<')] = kLess;
    t.c[static_cast<unsigned char>('>')] = kGreater;
    return t;
}();

constexpr std::size_t kBlock = 16;

// True when the kBlock bytes at p lie in one memory page, so reading them all is safe even
// where the text ends before them.
inline bool block_readable(const char *p) noexcept {
    return (reinterpret_cast<std::uintptr_t>(p) & 4095) <= 4096 - kBlock;
}

#if defined(__SSE2__)
// Copies the kBlock bytes at p to o and returns how many of them, from the first, the
// pipeline keeps unchanged (kBlock: all): it stops at a control byte or the terminator, a
// byte from 0x80 up, '&', '<' or '>'. Reads past the terminator, within its page.
[[gnu::no_sanitize_address]] inline unsigned copy_plain_block(const char *p, char *o) noexcept {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(o), v);
    __m128i stop = _mm_cmplt_epi8(v, _mm_set1_epi8(0x20));  // signed: below 0x20 and 0x80 up
    stop = _mm_or_si128(stop, _mm_cmpeq_epi8(v, _mm_set1_epi8('&')));
    // '<' (0x3C) and '>' (0x3E) are the two bytes that give '>' with bit 1 set.
    __m128i angle = _mm_cmpeq_epi8(_mm_or_si128(v, _mm_set1_epi8(2)), _mm_set1_epi8('>'));
    stop = _mm_or_si128(stop, angle);
    unsigned m = static_cast<unsigned>(_mm_movemask_epi8(stop));
    return m == 0 ? kBlock : static_cast<unsigned>(__builtin_ctz(m));
}
#else
inline unsigned copy_plain_block(const char *, char *) noexcept { return 0; }
#endif

constexpr std::size_t kNotFast = static_cast<std::size_t>(-1);

// Escapes and converts a value in one pass when its whole result fits under the cut
// points (kUtf8StopAt bytes); otherwise kNotFast. Runs of plain bytes go kBlock at a
// time; nothing is written past kUtf8StopAt + 5 bytes of `out`.
[[gnu::always_inline]] inline std::size_t encode_value_fast(const char *value, char *out) noexcept {
    char *o = out;
    char *const last = out + kUtf8StopAt;
    const char *p = value;
    for (;;) {
        if (o + kBlock <= last && block_readable(p)) {
            unsigned n = copy_plain_block(p, o);
            p += n;
            o += n;
            if (n == kBlock) continue;
        }
        unsigned char b = static_cast<unsigned char>(*p++);
        if (b == 0) return static_cast<std::size_t>(o - out);
        switch (kByteClass.c[b]) {
        case kCopy: *o++ = static_cast<char>(b); break;
        case kBlank: *o++ = ' '; break;
        case kAmp: o = put(o, "&amp;"); break;
        case kLess: o = put(o, "&lt;"); break;
        case kGreater: o = put(o, "&gt;"); break;
        default:
            *o++ = static_cast<char>(0xC0 | (b >> 6));
            *o++ = static_cast<char>(0x80 | (b & 0x3F));
        }
        if (o > last) return kNotFast;
    }
}

#ifdef __GLIBC__
// Free bytes in the output stream's own buffer: glibc's put area, which its putc_unlocked
// fills the same way. Bytes placed there and counted by moving _IO_write_ptr are in the
// stream at once, for fflush and fclose alike.
inline std::size_t stream_room(const std::FILE *f) noexcept {
    return static_cast<std::size_t>(f->_IO_write_end - f->_IO_write_ptr);
}
#endif

// Where a cell line is assembled: straight in the stream's buffer when the longest line
// fits there, else in cellLine. The stream thus writes whole buffers, as fwrite does.
char *line_start() noexcept {
#ifdef __GLIBC__
    std::FILE *f = g.outFile;
    if (f != nullptr && stream_room(f) >= kCellLineSize) return f->_IO_write_ptr;
#endif
    return g.cellLine;
}

// Writes the line assembled from `start` up to `end`.
void line_end(char *start, char *end) noexcept {
    if (start == g.cellLine) emit({start, static_cast<std::size_t>(end - start)});
#ifdef __GLIBC__
    else g.outFile->_IO_write_ptr = end;
#endif
}

// emit for the short fixed texts of the cell path: into the stream's buffer when it fits.
void emit_short(std::string_view text) noexcept {
#ifdef __GLIBC__
    if (std::FILE *f = g.outFile; f != nullptr && stream_room(f) >= text.size()) {
        f->_IO_write_ptr = put(f->_IO_write_ptr, text);
        return;
    }
#endif
    emit(text);
}

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

bool known_style(std::string_view id) noexcept { return g.styleIds.contains(id); }

constexpr std::size_t kStoredStyle = decltype(g.styleIds)::stored_size;

// One cell: the checks, then the row start tag if due and the cell line, written at once.
// Inlined into both entry points, so xlsWriteCell's fixed arguments cost nothing.
[[gnu::always_inline]] inline int write_cell(const char *value, char type, const char *styleId,
                                             const char *formula, int skip, int mergeAcross,
                                             int mergeDown) noexcept {
    if (g.phase < PHASE_SHEET) return fail({"Non si puo' scrivere una cella a questo punto\n"});
    std::string_view style = text_arg(styleId), calc = text_arg(formula);
    const char *storedStyle = style.empty() ? nullptr : g.styleIds.find(style);
    if (!style.empty() && storedStyle == nullptr)
        return fail({"ID stile '", style, "' errato o mancante in xlsWriteCell().\n"});
    if (calc.size() > kMaxFormula)
        return fail({"Formula troppo lunga (piu' di 1024 caratteri) in xlsWriteCell().\n"});
    if (skip < 0 || skip > kMaxSkip) skip = 0;

    char *const line = line_start();
    char *o = line;
    if (!g.rowOpen && g.outFile != nullptr) {
        o = put(o, "   <Row");
        o = put(o, g.pendingRowAttrs.view());
        o = put(o, ">\n");
        g.rowOpen = kYes;
    }
    o = put(o, "    <Cell ");
    if (mergeAcross > 0) {
        o = put_int(put(o, "ss:MergeAcross=\""), mergeAcross);
        o = put(o, "\" ");
    }
    if (mergeDown > 0) {
        o = put_int(put(o, "ss:MergeDown=\""), mergeDown);
        o = put(o, "\" ");
    }
    int column = plus(g.currentColumn, skip);
    if (skip > 0) o = put(put_int(put(o, "ss:Index=\""), column), "\" ");
    if (!calc.empty()) o = put(put(put(o, "ss:Formula=\""), calc), "\" ");
    if (storedStyle != nullptr) {  // copied whole from the registry, which pads it
        o = put(o, "ss:StyleID=\"");
        std::memcpy(o, storedStyle, kStoredStyle);
        o = put(o + style.size(), "\" ");
    }
    o = put_type(o, type);
    const char *text = value != nullptr ? value : "";
    std::size_t n = encode_value_fast(text, o);
    if (n == kNotFast) n = encode_value_cut(text, o);
    o = put(o + n, "</Data></Cell>\n");
    line_end(line, o);

    g.currentColumn = plus(column, 1);
    g.pendingRowAttrs.clear();
    g.phase = PHASE_CELLS;
    return kYes;
}

// A row break; inlined into both entry points like write_cell.
[[gnu::always_inline]] inline int new_line(int skip, int height, const char *styleId) noexcept {
    if (g.phase < PHASE_SHEET) return fail({"Non si puo' saltare una linea a questo punto.\n"});
    std::string_view style = text_arg(styleId);
    if (!style.empty() && !known_style(style))  // checked before anything moves
        return fail({"ID stile '", style, "' errato o mancante in xlsNewLine().\n"});
    g.currentRow = saturating_add(g.currentRow, static_cast<long long>(skip) + 1);
    g.currentColumn = 1;
    if (g.rowOpen) emit_short("   </Row>\n");
    g.rowOpen = kNo;
    auto &attrs = g.pendingRowAttrs;
    attrs.clear();
    if (skip >= 1 && skip <= kMaxSkip)
        attrs.append(" ss:Index=\"").append_int(g.currentRow).append("\" ");
    if (height >= 1 && height <= kMaxRowHeight)
        attrs.append(" ss:AutoFitHeight=\"0\" ss:Height=\"").append_int(height).append("\" ");
    if (!style.empty()) attrs.append(" ss:StyleID=\"").append(style).append("\" ");
    return kYes;
}

}  // namespace

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" int xlsWriteCellEx(const char *value, char type, const char *styleId,
                              const char *formula, int skip, int mergeAcross,
                              int mergeDown) noexcept {
    return write_cell(value, type, styleId, formula, skip, mergeAcross, mergeDown);
}

extern "C" int xlsWriteCell(const char *value, char type, const char *styleId) noexcept {
    return write_cell(value, type, styleId, "", 0, 0, 0);
}

extern "C" int xlsNewLineEx(int skip, int height, const char *styleId) noexcept {
    return new_line(skip, height, styleId);
}

extern "C" int xlsNewLine(void) noexcept { return new_line(0, 0, ""); }

extern "C" int xlsColumn(int column, int width, const char *styleId) noexcept {
    if (column < 1 || column > kMaxColumn) return fail({"Numero di colonna errato in xlsColumn()\n"});
    if (g.phase != PHASE_SHEET)
        return fail({"Non si puo' aggiungere una definizione Colonna a questo punto\n"});
    std::string_view style = arg(styleId);
    if (!style.empty() && !known_style(style))
        return fail({"ID stile '", style, "' errato o mancante.\n"});
    auto &line = g.staging;
    line.assign("   <Column ss:Index=\"").append_int(column).append("\" ");
    if (!style.empty()) line.append("ss:StyleID=\"").append(style).append("\" ");
    line.append(" ss:AutoFitWidth=\"0\" ss:Width=\"").append_int(width).append("\"/>\n");
    emit(line.view());
    return kYes;
}
