// Opening a workbook (reset, prologue with the built-in styles) and closing it.
#include "workbook.hpp"

#include <cerrno>
#include <ctime>

#include "errors.hpp"
#include "merge_port.hpp"
#include "properties.hpp"
#include "sheet.hpp"

namespace gridquill::detail {

constexpr std::size_t kMaxAuthor = 99;

constexpr std::string_view kPrologueHead =
    "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\" ?>\n"
    "<?mso-application progid=\"Excel.Sheet\"?>\n"
    "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\" "
    "xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
    "xmlns:x=\"urn:schemas-microsoft-com:office:excel\" "
    "xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\" "
    "xmlns:html=\"http://www.w3.org/TR/REC-html40\">\n"
    " <DocumentProperties xmlns=\"urn:schemas-microsoft-com:office:office\">\n";

constexpr std::string_view kPrologueWorkbookStart =
    "  <Version>11.0000</Version>\n"
    " </DocumentProperties>\n"
    " <ExcelWorkbook xmlns=\"urn:schemas-microsoft-com:office:excel\">\n";

constexpr std::string_view kPrologueStyles =
    "  <ProtectStructure>False</ProtectStructure>\n"
    "  <ProtectWindows>False</ProtectWindows>\n"
    " </ExcelWorkbook>\n"
    " <Styles>\n"
    "  <Style ss:ID=\"Default\" ss:Name=\"Normal\">\n"
    "   <Alignment ss:Vertical=\"Bottom\"/>\n"
    "   <Borders/>\n"
    "   <Font/>\n"
    "   <Interior/>\n"
    "   <NumberFormat/>\n"
    "   <Protection/>\n"
    "  </Style>\n"
    "  <Style ss:ID=\"txt\">\n"
    "   <Alignment ss:Horizontal=\"Left\" ss:Vertical=\"Bottom\"/>\n"
    "   <NumberFormat/>\n"
    "   <Protection ss:Protected=\"0\"/>\n"
    "  </Style>\n"
    "  <Style ss:ID=\"num\">\n"
    "   <Alignment ss:Horizontal=\"Right\" ss:Vertical=\"Bottom\"/>\n"
    "   <NumberFormat/>\n"
    "   <Protection ss:Protected=\"0\"/>\n"
    "  </Style>\n"
    "  <Style ss:ID=\"date\">\n"
    "   <Alignment ss:Horizontal=\"Center\" ss:Vertical=\"Bottom\"/>\n"
    "   <NumberFormat ss:Format=\"Short Date\"/>\n"
    "   <Protection ss:Protected=\"0\"/>\n"
    "  </Style>\n";

int start_workbook(WriterState &w, const char *path, const char *author, xlsWriteFunction write,
                   void *context, bool stream) noexcept {
    w.reset_workbook();
    w.book.seed_style_ids();

    std::string_view who = arg(author), where = arg(path);
    if (who.empty()) who = kDefaultName;
    who = who.substr(0, text_cut(who, kMaxAuthor, Source::markup, w.settings.encoding));
    if (where.empty()) where = kDefaultName;

    char created[22] = "";
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    if (gmtime_r(&now, &utc) != nullptr)
        std::strftime(created, sizeof created, "%Y-%m-%dT%H:%M:%SZ", &utc);
    clear_error(w);

    if (stream) {
        w.out.path.clear();
        if (write == nullptr) {
            errno = EINVAL;
            return fail_open(w, {"Errore in apertura del flusso in output"});
        }
        w.out.open_stream(write, context);
    } else {
        if (where.size() > kMaxPath) {  // refused like a path that cannot be opened
            w.out.path.clear();
            errno = ENAMETOOLONG;
            return fail_open(w, {"Errore in apertura del file '", where, "'"});
        }
        w.out.path.assign(where);
        if (!w.out.open_file(w.out.path.c_str(), w.settings.atomic))
            return fail_open(w, {"Errore in apertura del file '", w.out.path.view(), "'"});
    }
    w.out.write(kPrologueHead);
    write_properties_before(w, kLastAuthorOrder);
    w.staging.assign("  <LastAuthor>");
    append_escaped(w.staging, who, Place::content, w.settings.encoding);
    w.staging.append("</LastAuthor>\n  <Created>").append(created).append("</Created>\n");
    w.out.write(w.staging.view());
    write_properties_before(w, kVersionOrder);
    w.staging.assign(kPrologueWorkbookStart);
    w.book.activeSheet = w.settings.activeSheet;
    w.settings.activeSheet = -1;
    if (w.book.activeSheet >= 0)
        w.staging.append("  <ActiveSheet>")
            .append_int(w.book.activeSheet)
            .append("</ActiveSheet>\n");
    w.out.write(w.staging.append(kPrologueStyles).view());
    w.settings.forget_properties();
    return kYes;
}

void start_merge(WriterState &w, const MergeHooks &hooks) noexcept {
    w.reset_workbook();
    clear_error(w);
    w.book.merge = &hooks;
    w.book.activeSheet = w.settings.activeSheet;  // taken by this workbook, as an open does
    w.settings.activeSheet = -1;
}

bool open_merge_output(WriterState &w) noexcept {
    return w.out.open_file(w.out.path.c_str(), w.settings.atomic);
}

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" int xlsInit(const char *path, const char *author) noexcept {
    if (!attached()) return kNo;
    return start_workbook(current(), path, author);
}

extern "C" int xlsInitStream(xlsWriteFunction write, void *context, const char *author) noexcept {
    if (!attached()) return kNo;
    return start_workbook(current(), "", author, write, context, true);
}

extern "C" int xlsSetAtomic(int enabled) noexcept {
    if (!attached()) return kNo;
    current().settings.atomic = enabled != 0;
    return kYes;
}

extern "C" int xlsAbandon(void) noexcept {
    if (!attached()) return kNo;
    current().reset_workbook();
    return kYes;
}

extern "C" int xlsClose(void) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (w.book.phase < PHASE_CELLS)
        return fail(w, {"Non si puo' chiudere Excel a questo punto.\n"});
    if (!w.out.is_open()) {  // never opened, or its open failed: there is no workbook
        w.reset_workbook();
        return fail(
            w, {"Nessun file in output aperto: la cartella di lavoro non e' stata scritta.\n"});
    }
    __ChiudiSheet(w);
    const bool merged = w.book.merge != nullptr;
    if (!merged || !w.book.merge->finish(w)) w.out.write("</Workbook>\n");
    const int active = w.book.activeSheet;
    const bool activeShown = active < 0 || w.book.selectedWritten || merged;
    bool toStream = w.out.to_stream();
    bool whole = !w.book.inputTruncated;
    bool written = w.out.close(whole);
    w.reset_workbook();
    if (!written && toStream) return fail_open(w, {"Errore in scrittura del flusso in output"});
    if (!written) return fail_open(w, {"Errore in scrittura del file '", w.out.path.view(), "'"});
    if (!whole)
        return fail(w, {"File in output '", w.out.path.view(),
                        "' incompleto: il file in input era troncato.\n"});
    if (!activeShown) {  // the workbook is whole: a warning, not a failure
        BoundedText<16> index;
        index.append_int(active);
        fail(w, {"Foglio attivo ", index.view(),
                 " inesistente o nascosto: la cartella si apre sul primo foglio visibile.\n"});
    }
    return kYes;
}
