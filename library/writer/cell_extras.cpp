// What a cell may carry besides its value: a hyperlink with its screen tip and a comment,
// given before the cell and written with it.
#include "cell_extras.hpp"

#include <cstring>

#include "errors.hpp"
#include "line.hpp"

namespace gridquill::detail {

namespace {

constexpr std::string_view kCommentFont =
    "<Font html:Face=\"Tahoma\" x:CharSet=\"1\" html:Size=\"8\" html:Color=\"#000000\">";

void update_pending(WriterState &w) noexcept {
    w.cells.extrasPending = !w.cells.extras.link.empty() || w.cells.extras.comment;
    if (w.book.phase >= PHASE_CELLS)
        w.book.phase = w.cells.extrasPending ? PHASE_CELLS_WAITING : PHASE_CELLS;
}

}  // namespace

char *put_link(const WriterState &w, char *o) noexcept {
    const CellExtras &e = w.cells.extras;
    if (e.link.empty()) return o;
    o = put(put(put(o, "ss:HRef=\""), e.link.view()), "\" ");
    if (!e.tip.empty()) o = put(put(put(o, "x:HRefScreenTip=\""), e.tip.view()), "\" ");
    return o;
}

void end_cell_with_comment(WriterState &w) noexcept {
    CellExtras &e = w.cells.extras;
    if (e.comment) {
        StagingText &out = w.staging;
        out.assign("<Comment");
        if (!e.author.empty()) out.append(" ss:Author=\"").append(e.author.view()).append("\"");
        if (e.showAlways) out.append(" ss:ShowAlways=\"1\"");
        out.append("><ss:Data xmlns=\"http://www.w3.org/TR/REC-html40\">").append(kCommentFont);
        w.out.write(out.view());
        w.out.write(e.commentText.view());  // up to its own bound, beyond staging's
        w.out.write("</Font></ss:Data></Comment>");
    }
    w.out.write("</Cell>\n");
    e.reset();
    w.cells.extrasPending = false;
}

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" int xlsSetCellLink(const char *address, const char *screenTip) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!sheet_open(w)) return refuse_no_sheet(w, "xlsSetCellLink");
    CellExtras &e = w.cells.extras;
    if (!keep_escaped(e.link, arg(address), Place::attribute, w.settings.encoding)) {
        update_pending(w);
        return fail(w, {"Indirizzo troppo lungo (piu' di 2079 byte) in xlsSetCellLink().\n"});
    }
    if (!keep_escaped(e.tip, e.link.empty() ? std::string_view() : arg(screenTip), Place::attribute,
                      w.settings.encoding)) {
        e.link.clear();
        update_pending(w);
        return fail(w, {"Suggerimento troppo lungo (piu' di 255 byte) in xlsSetCellLink().\n"});
    }
    update_pending(w);
    return kYes;
}

extern "C" int xlsSetCellComment(const char *text, const char *author, int showAlways) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!sheet_open(w)) return refuse_no_sheet(w, "xlsSetCellComment");
    CellExtras &e = w.cells.extras;
    e.comment = false;
    if (!keep_escaped(e.commentText, arg(text), Place::content, w.settings.encoding)) {
        update_pending(w);
        return fail(w, {"Commento troppo lungo (piu' di 8191 byte) in xlsSetCellComment().\n"});
    }
    if (!keep_escaped(e.author, arg(author), Place::attribute, w.settings.encoding)) {
        update_pending(w);
        return fail(w, {"Autore troppo lungo (piu' di 255 byte) in xlsSetCellComment().\n"});
    }
    e.comment = !e.commentText.empty();
    e.showAlways = showAlways != 0;
    update_pending(w);
    return kYes;
}
