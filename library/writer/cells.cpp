// Cells, row breaks and column definitions: the per-cell path of the writer.
#include <cstring>

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

constexpr std::size_t kNotFast = static_cast<std::size_t>(-1);

// Escapes and converts a value in one pass when its whole result fits under the cut
// points (kUtf8StopAt bytes); otherwise kNotFast. `out` has room for kUtf8StopAt + 5.
std::size_t encode_value_fast(const char *value, char *out) noexcept {
    char *o = out;
    char *const last = out + kUtf8StopAt;
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(value); *p; ++p) {
        unsigned char b = *p;
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
    return static_cast<std::size_t>(o - out);
}

// The value pipeline with every cut point of the text services (escape '&', then '<',
// then '>', then convert), for values that reach the limits. A cut that leaves a bare
// special character or a split entity at the end is cut back before it.
std::size_t encode_value_cut(std::string_view value, char *out) noexcept {
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

}  // namespace

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" int xlsWriteCellEx(const char *value, char type, const char *styleId,
                              const char *formula, int skip, int mergeAcross,
                              int mergeDown) noexcept {
    if (g.phase < PHASE_SHEET) return fail({"Non si puo' scrivere una cella a questo punto\n"});
    std::string_view style = arg(styleId), calc = arg(formula);
    if (!style.empty() && !known_style(style))
        return fail({"ID stile '", style, "' errato o mancante in xlsWriteCell().\n"});
    if (calc.size() > kMaxFormula)
        return fail({"Formula troppo lunga (piu' di 1024 caratteri) in xlsWriteCell().\n"});
    if (skip < 0 || skip > kMaxSkip) skip = 0;

    char *o = g.cellLine;
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
    int column = saturating_add(g.currentColumn, skip);
    if (skip > 0) o = put(put_int(put(o, "ss:Index=\""), column), "\" ");
    if (!calc.empty()) o = put(put(put(o, "ss:Formula=\""), calc), "\" ");
    if (!style.empty()) o = put(put(put(o, "ss:StyleID=\""), style), "\" ");
    o = put(o, type == 'N' || type == 'n'   ? "><Data ss:Type=\"Number\">"
               : type == 'D' || type == 'd' ? "><Data ss:Type=\"DateTime\">"
                                            : "><Data ss:Type=\"String\">");
    const char *text = value != nullptr ? value : "";
    std::size_t n = encode_value_fast(text, o);
    if (n == kNotFast) n = encode_value_cut(text, o);
    o = put(o + n, "</Data></Cell>\n");
    emit({g.cellLine, static_cast<std::size_t>(o - g.cellLine)});

    g.currentColumn = saturating_add(column, 1);
    g.pendingRowAttrs.clear();
    g.phase = PHASE_CELLS;
    return kYes;
}

extern "C" int xlsWriteCell(const char *value, char type, const char *styleId) noexcept {
    return xlsWriteCellEx(value, type, styleId, "", 0, 0, 0);
}

extern "C" int xlsNewLineEx(int skip, int height, const char *styleId) noexcept {
    if (g.phase < PHASE_SHEET) return fail({"Non si puo' saltare una linea a questo punto.\n"});
    std::string_view style = arg(styleId);
    if (!style.empty() && !known_style(style))  // checked before anything moves
        return fail({"ID stile '", style, "' errato o mancante in xlsNewLine().\n"});
    g.currentRow = saturating_add(g.currentRow, static_cast<long long>(skip) + 1);
    g.currentColumn = 1;
    if (g.rowOpen) emit("   </Row>\n");
    g.rowOpen = kNo;
    auto &attrs = g.pendingRowAttrs;
    attrs.clear();
    if (skip >= 1 && skip <= kMaxSkip) attrs.append(" ss:Index=\"").append_int(g.currentRow).append("\" ");
    if (height >= 1 && height <= kMaxRowHeight)
        attrs.append(" ss:AutoFitHeight=\"0\" ss:Height=\"").append_int(height).append("\" ");
    if (!style.empty()) attrs.append(" ss:StyleID=\"").append(style).append("\" ");
    return kYes;
}

extern "C" int xlsNewLine(void) noexcept { return xlsNewLineEx(0, 0, ""); }

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
