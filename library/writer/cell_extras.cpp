// What a cell may carry besides its value: a hyperlink with its screen tip and a comment,
// given before the cell and written with it.
#include <cstring>

#include "state.hpp"

namespace gridquill::detail {

namespace {

constexpr std::string_view kCommentFont =
    "<Font html:Face=\"Tahoma\" x:CharSet=\"1\" html:Size=\"8\" html:Color=\"#000000\">";

inline char *put(char *o, std::string_view s) noexcept {
    std::memcpy(o, s.data(), s.size());
    return o + s.size();
}

// Escapes `text` into `field` whole, or leaves the field empty and says so.
template <std::size_t N>
bool keep(BoundedText<N> &field, std::string_view text, Place place) noexcept {
    field.clear();
    if (append_escaped(field, text, place)) return true;
    field.clear();
    return false;
}

void update_pending() noexcept {
    g.cellExtrasPending = !g.cellExtras.link.empty() || g.cellExtras.comment;
    if (g.phase >= PHASE_CELLS) g.phase = g.cellExtrasPending ? PHASE_CELLS_WAITING : PHASE_CELLS;
}

}  // namespace

char *put_link(char *o) noexcept {
    const CellExtras &e = g.cellExtras;
    if (e.link.empty()) return o;
    o = put(put(put(o, "ss:HRef=\""), e.link.view()), "\" ");
    if (!e.tip.empty()) o = put(put(put(o, "x:HRefScreenTip=\""), e.tip.view()), "\" ");
    return o;
}

void end_cell_with_comment() noexcept {
    CellExtras &e = g.cellExtras;
    if (e.comment) {
        BoundedText<8192> &out = g.staging;
        out.assign("<Comment");
        if (!e.author.empty()) out.append(" ss:Author=\"").append(e.author.view()).append("\"");
        if (e.showAlways) out.append(" ss:ShowAlways=\"1\"");
        out.append("><ss:Data xmlns=\"http://www.w3.org/TR/REC-html40\">").append(kCommentFont);
        emit(out.view());
        emit(e.commentText.view());  // up to its own bound, beyond staging's
        emit("</Font></ss:Data></Comment>");
    }
    emit("</Cell>\n");
    e.link.clear();
    e.tip.clear();
    e.comment = false;
    g.cellExtrasPending = false;
}

void forget_cell_extras() noexcept {
    g.cellExtras.link.clear();
    g.cellExtras.tip.clear();
    g.cellExtras.comment = false;
    g.cellExtrasPending = false;
}

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" int xlsSetCellLink(const char *address, const char *screenTip) noexcept {
    if (!attached()) return kNo;
    if (g.phase < PHASE_SHEET || g.outFile == nullptr) return refuse_no_sheet("xlsSetCellLink");
    CellExtras &e = g.cellExtras;
    if (!keep(e.link, arg(address), Place::attribute)) {
        update_pending();
        return fail({"Indirizzo troppo lungo (piu' di 2079 byte) in xlsSetCellLink().\n"});
    }
    if (!keep(e.tip, e.link.empty() ? std::string_view() : arg(screenTip), Place::attribute)) {
        e.link.clear();
        update_pending();
        return fail({"Suggerimento troppo lungo (piu' di 255 byte) in xlsSetCellLink().\n"});
    }
    update_pending();
    return kYes;
}

extern "C" int xlsSetCellComment(const char *text, const char *author, int showAlways) noexcept {
    if (!attached()) return kNo;
    if (g.phase < PHASE_SHEET || g.outFile == nullptr) return refuse_no_sheet("xlsSetCellComment");
    CellExtras &e = g.cellExtras;
    e.comment = false;
    if (!keep(e.commentText, arg(text), Place::content)) {
        update_pending();
        return fail({"Commento troppo lungo (piu' di 8191 byte) in xlsSetCellComment().\n"});
    }
    if (!keep(e.author, arg(author), Place::attribute)) {
        update_pending();
        return fail({"Autore troppo lungo (piu' di 255 byte) in xlsSetCellComment().\n"});
    }
    e.comment = !e.commentText.empty();
    e.showAlways = showAlways != 0;
    update_pending();
    return kYes;
}
