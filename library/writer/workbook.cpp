// Opening a workbook (reset, prologue with the built-in styles) and closing it.
#include <cerrno>
#include <ctime>

#include "../gridquill.h"
#include "../merge/merge.hpp"
#include "extras.hpp"
#include "sheet.hpp"
#include "state.hpp"

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

void reset_workbook() noexcept {
    g.sheetNames.clear();
    g.styleIds.clear();
    g.deletedSheets.clear();
    g.sheetCount = 0;
    g.phase = PHASE_STYLES;
    g.rowOpen = kNo;
    g.inputTruncated = false;
    g.stream = {};
    g.propertiesCursor = 0;
    g.workbookNameIds.clear();
    g.workbookNames.clear();
    g.workbookNamesWritten = false;
    g.sheetNameIds.clear();
    g.sheetScopeNames.clear();
    g.sheetHeadPending = false;
    g.workbookActiveSheet = -1;
    g.selectedWritten = false;
    forget_cell_extras();
}

void drop_open_streams() noexcept {
    g.stream.write = nullptr;  // a stream's unwritten bytes are dropped, without a call
    if (g.outFile != nullptr) close_output(false);  // a temporary file is removed
    close_input();
}

int start_workbook(const char *path, const char *author, const StreamTarget *target) noexcept {
    drop_open_streams();
    reset_workbook();
    seed_style_ids();
    g.mergeMode = kNo;

    std::string_view who = arg(author), where = arg(path);
    if (who.empty()) who = kDefaultName;
    who = who.substr(0, text_cut(who, kMaxAuthor, Source::markup, g.encoding));
    if (where.empty()) where = kDefaultName;

    char created[22] = "";
    std::time_t now = std::time(nullptr);
    std::tm utc{};
    if (gmtime_r(&now, &utc) != nullptr)
        std::strftime(created, sizeof created, "%Y-%m-%dT%H:%M:%SZ", &utc);
    clear_error();

    if (target != nullptr) {
        g.outputPath.clear();
        errno = EINVAL;  // the reason for a missing function
        g.stream = *target;
        if (target->write != nullptr) g.outFile = open_output("");
        if (g.outFile == nullptr) {
            g.stream = {};
            return fail_open({"Errore in apertura del flusso in output"});
        }
    } else {
        if (where.size() > kMaxPath) {  // refused like a path that cannot be opened
            g.outputPath.clear();
            errno = ENAMETOOLONG;
            return fail_open({"Errore in apertura del file '", where, "'"});
        }
        g.outputPath.assign(where);
        g.outFile = open_output(g.outputPath.c_str());
        if (g.outFile == nullptr)
            return fail_open({"Errore in apertura del file '", g.outputPath.view(), "'"});
    }
    emit(kPrologueHead);
    write_properties_before(kLastAuthorOrder);
    g.staging.assign("  <LastAuthor>");
    append_escaped(g.staging, who, Place::content);
    g.staging.append("</LastAuthor>\n  <Created>")
        .append(created)
        .append("</Created>\n");
    emit(g.staging.view());
    write_properties_before(kVersionOrder);
    g.staging.assign(kPrologueWorkbookStart);
    g.workbookActiveSheet = g.activeSheet;
    g.activeSheet = -1;
    if (g.workbookActiveSheet >= 0)
        g.staging.append("  <ActiveSheet>").append_int(g.workbookActiveSheet).append("</ActiveSheet>\n");
    emit(g.staging.append(kPrologueStyles).view());
    forget_properties();
    return kYes;
}

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" int xlsInit(const char *path, const char *author) noexcept {
    if (!attached()) return kNo;
    return start_workbook(path, author, nullptr);
}

extern "C" int xlsSetAtomic(int enabled) noexcept {
    if (!attached()) return kNo;
    g.atomic = enabled != 0;
    return kYes;
}

extern "C" int xlsAbandon(void) noexcept {
    if (!attached()) return kNo;
    drop_open_streams();
    reset_workbook();
    return kYes;
}

extern "C" int xlsClose(void) noexcept {
    if (!attached()) return kNo;
    if (g.phase < PHASE_CELLS) return fail({"Non si puo' chiudere Excel a questo punto.\n"});
    if (g.outFile == nullptr) {  // never opened, or its open failed: there is no workbook
        close_input();
        reset_workbook();
        return fail({"Nessun file in output aperto: la cartella di lavoro non e' stata scritta.\n"});
    }
    __ChiudiSheet();
    if (!merge_finish()) emit("</Workbook>\n");
    const int active = g.workbookActiveSheet;
    const bool activeShown = active < 0 || g.selectedWritten || g.mergeMode;
    bool toStream = g.stream.write != nullptr;
    bool whole = !g.inputTruncated;
    bool written = close_output(whole);
    reset_workbook();
    if (!written && toStream) return fail_open({"Errore in scrittura del flusso in output"});
    if (!written)
        return fail_open({"Errore in scrittura del file '", g.outputPath.view(), "'"});
    if (!whole)
        return fail({"File in output '", g.outputPath.view(),
                     "' incompleto: il file in input era troncato.\n"});
    if (!activeShown) {  // the workbook is whole: a warning, not a failure
        BoundedText<16> index;
        index.append_int(active);
        fail({"Foglio attivo ", index.view(),
              " inesistente o nascosto: la cartella si apre sul primo foglio visibile.\n"});
    }
    return kYes;
}
