// Merge: a new workbook that starts as a copy of an existing one, whoever wrote it, with
// chosen worksheets left out, replaced where they stand or continued, and the client's
// styles, names and worksheets added. The input is judged whole before anything is
// written (input.cpp), then copied as it stands, cut and edited at the places found.
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <string_view>

#include "../textutil/names.hpp"
#include "../writer/merge_port.hpp"
#include "../writer/sheet.hpp"
#include "input.hpp"

namespace gridquill::detail {

namespace {

struct BuiltInStyle {
    std::string_view id;
    std::string_view definition;
};

// Added after the input's styles when the input has no style of that ID, in this order.
constexpr BuiltInStyle kBuiltInStyles[] = {
    {"txt",
     "  <Style ss:ID=\"txt\">\n   <Alignment ss:Horizontal=\"Left\" ss:Vertical=\"Bottom\"/>\n"
     "   <NumberFormat/>\n   <Protection ss:Protected=\"0\"/>\n  </Style>\n"},
    {"num",
     "  <Style ss:ID=\"num\">\n   <Alignment ss:Horizontal=\"Right\" ss:Vertical=\"Bottom\"/>\n"
     "   <NumberFormat/>\n   <Protection ss:Protected=\"0\"/>\n  </Style>\n"},
    {"date",
     "  <Style ss:ID=\"date\">\n   <Alignment ss:Horizontal=\"Center\" ss:Vertical=\"Bottom\"/>\n"
     "   <NumberFormat ss:Format=\"Short Date\"/>\n   <Protection ss:Protected=\"0\"/>\n"
     "  </Style>\n"},
};

constexpr std::string_view kExcelNamespace = "urn:schemas-microsoft-com:office:excel";

// True when the output path names the open input: the same text, or the same device
// and inode (another path, a link).
bool is_input(const Input &input, const char *inputPath, const char *outputPath) noexcept {
    if (std::string_view(inputPath) == outputPath) return true;
    struct stat in {}, out {};
    return fstat(input.fd(), &in) == 0 && stat(outputPath, &out) == 0 && in.st_dev == out.st_dev &&
           in.st_ino == out.st_ino;
}

bool merging(const WriterState &w) noexcept {
    return w.book.merge != nullptr && w.mergeInput != nullptr && w.in.is_open();
}

// ---- The edits -------------------------------------------------------------------

void add_edit(MergeInput &m, Offset at, Offset to, std::string_view text,
              Edit::Kind kind = Edit::text) noexcept {
    if (m.editCount == kMaxEdits || at == kNowhere) return;
    Edit &e = m.edits[m.editCount++];
    e.at = at;
    e.to = to < at ? at : to;
    e.kind = kind;
    if (text.size() > m.pool.room()) text = {};  // the pool's bound: the edit writes nothing
    e.textAt = static_cast<std::uint32_t>(m.pool.size());
    m.pool.append(text);
    e.textSize = static_cast<std::uint32_t>(text.size());
}

// In the input's order; edits at one place keep the order they were made in.
void sort_edits(MergeInput &m) noexcept {
    for (std::size_t i = m.nextEdit + 1; i < m.editCount; ++i) {
        Edit e = m.edits[i];
        std::size_t j = i;
        for (; j > m.nextEdit && m.edits[j - 1].at > e.at; --j) m.edits[j] = m.edits[j - 1];
        m.edits[j] = e;
    }
}

void apply(WriterState &w, MergeInput &m, const Edit &e) noexcept {
    switch (e.kind) {
    case Edit::text: w.out.write({m.pool.c_str() + e.textAt, e.textSize}); break;
    case Edit::names: write_workbook_names(w); break;
    case Edit::names_inside:
        if (e.to != e.at) w.out.write(">\n");  // an empty Names element opened
        write_workbook_names_inside(w);
        if (e.to != e.at) w.out.write({m.pool.c_str() + e.textAt, e.textSize});
        break;
    }
    if (e.to > m.cursor) m.cursor = e.to;
}

// The input's bytes from the copy's position up to `to`, edited; the insertions at `to`
// come too. An input that ends before is noted for xlsClose.
void copy_to(WriterState &w, MergeInput &m, Offset to) noexcept {
    for (;;) {
        while (m.nextEdit < m.editCount) {
            const Edit &e = m.edits[m.nextEdit];
            if (e.at < m.cursor) {  // inside a part left out
                ++m.nextEdit;
                continue;
            }
            if (e.at != m.cursor || e.at > to || (e.at == to && e.to != e.at)) break;
            ++m.nextEdit;
            apply(w, m, e);
        }
        if (m.cursor >= to || m.copyEnded) return;
        Offset limit = to;
        if (m.nextEdit < m.editCount && m.edits[m.nextEdit].at < limit) limit = m.edits[m.nextEdit].at;
        while (m.cursor >= m.chunkStart + m.chunk.size()) {
            m.chunkStart += m.chunk.size();
            m.chunk = m.source.next();
            if (m.chunk.empty()) {
                m.copyEnded = true;
                w.book.inputTruncated = true;
                return;
            }
        }
        Offset end = m.chunkStart + m.chunk.size();
        if (limit < end) end = limit;
        w.out.write(m.chunk.substr(static_cast<std::size_t>(m.cursor - m.chunkStart),
                                   static_cast<std::size_t>(end - m.cursor)));
        m.cursor = end;
    }
}

// ---- What the copy changes ---------------------------------------------------------

template <std::size_t N>
BoundedText<N> &element(BoundedText<N> &out, std::string_view prefix, std::string_view name,
                        std::string_view content) noexcept {
    std::string_view colon = prefix.empty() ? "" : ":";
    return out.append("<").append(prefix).append(colon).append(name).append(">").append(content)
        .append("</").append(prefix).append(colon).append(name).append(">");
}

// The client's document properties in the input's DocumentProperties, each in its place
// of the sequence and in place of the input's value, or in an element of their own.
void plan_properties(WriterState &w, MergeInput &m) noexcept {
    const InputPlan &p = m.plan;
    BoundedText<kPropertySize + 64> line;
    BoundedText<kPropertyCount * (kPropertySize + 64)> all;
    for (int i = 0; i < kPropertyCount; ++i) {
        if (w.settings.properties[i].empty()) continue;
        const PropertySlot slot = property_slot(i);
        line.assign("  ");
        element(line, p.propertiesInside != kNowhere ? p.propertiesPrefix.view() : "", slot.name,
                w.settings.properties[i].view())
            .append("\n");
        if (p.propertiesInside == kNowhere) {
            all.append(line.view());
            continue;
        }
        const PropertyChild *next = nullptr;
        for (std::size_t c = 0; c < p.childCount && next == nullptr; ++c)
            if (p.children[c].order >= slot.order) next = &p.children[c];
        add_edit(m, next != nullptr ? next->start : p.propertiesEnd,
                 next != nullptr ? next->start : p.propertiesEnd, line.view());
        if (next != nullptr && next->order == slot.order) add_edit(m, next->start, next->end, "");
    }
    if (!all.empty()) {
        BoundedText<kPropertyCount * (kPropertySize + 64) + 128> wrapped;
        wrapped.append(" <DocumentProperties xmlns=\"urn:schemas-microsoft-com:office:office\">\n")
            .append(all.view())
            .append(" </DocumentProperties>\n");
        add_edit(m, p.propertiesAt, p.propertiesAt, wrapped.view());
    }
}

// What the start knows: the declaration of a transcoded input, the namespaces the root
// lacks, the document properties.
void plan_start(WriterState &w, MergeInput &m) noexcept {
    const InputPlan &p = m.plan;
    if (p.declStart != kNowhere) {
        add_edit(m, p.declStart, p.declEnd,
                 p.standalone ? "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
                              : "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    }
    if (!p.rootDeclarations.empty() || p.rootEmpty) {
        BoundedText<600> tag;
        tag.append(p.rootDeclarations.view()).append(p.rootEmpty ? ">\n" : ">");
        add_edit(m, p.rootGt, p.rootTagEnd, tag.view());
    }
    plan_properties(w, m);
}

// Each input sheet's place among the output's sheets, -1 for one left out.
void number_sheets(MergeInput &m) noexcept {
    m.keptCount = 0;
    for (std::size_t i = 0; i < m.plan.sheetCount; ++i)
        m.outputIndex[i] = m.marks[i] == SheetMark::drop ? -1 : m.keptCount++;
}

// The sheet the output opens on: the client's choice, else the input's active sheet where
// it stays and is visible, else the first such sheet, else the client's first new sheet.
// The workbook's ActiveSheet and FirstVisibleSheet follow.
void plan_view(WriterState &w, MergeInput &m) noexcept {
    const InputPlan &p = m.plan;
    number_sheets(m);
    int active = w.book.activeSheet;
    m.activeChosen = active >= 0;
    if (active < 0) {
        auto shown = [&](std::size_t i) {
            return m.outputIndex[i] >= 0 && (m.marks[i] == SheetMark::replace || !p.sheets[i].hidden);
        };
        std::size_t input = static_cast<std::size_t>(p.activeSheet);
        if (input < p.sheetCount && shown(input)) {
            active = m.outputIndex[input];
        } else {
            active = m.keptCount;
            for (std::size_t i = p.sheetCount; i-- > 0;)
                if (shown(i)) active = m.outputIndex[i];
        }
    }
    m.active = active;
    w.book.activeSheet = active;
    BoundedText<96> text;
    if (p.activeStart != kNowhere) {
        text.append_int(active);
        add_edit(m, p.activeStart, p.activeEnd, text.view());
    } else if (active != 0 && p.activeAt != kNowhere) {
        BoundedText<24> number;
        element(text, p.workbookPrefix.view(), "ActiveSheet", number.append_int(active).view());
        add_edit(m, p.activeAt, p.activeAt, text.view());
    } else if (active != 0 && p.workbookEnd == kNowhere) {
        BoundedText<24> number;
        text.append(" <ExcelWorkbook xmlns=\"").append(kExcelNamespace).append("\">");
        element(text, "", "ActiveSheet", number.append_int(active).view()).append("</ExcelWorkbook>\n");
        add_edit(m, p.workbookAt, p.workbookAt, text.view());
    }
    if (p.firstStart != kNowhere) {
        int first = 0;
        for (std::size_t i = 0; i < p.sheetCount && static_cast<int>(i) < p.firstVisible; ++i)
            if (m.outputIndex[i] >= 0) ++first;
        if (first > active) first = active;
        text.clear();
        add_edit(m, p.firstStart, p.firstEnd, text.append_int(first).view());
    }
}

// The sheets' edits: the ones left out, one Selected on the active sheet, the counts of
// a continued table; the client's workbook names.
void plan_sheets(WriterState &w, MergeInput &m) noexcept {
    const InputPlan &p = m.plan;
    number_sheets(m);
    if (!w.book.names.empty()) {
        if (p.namesInside != kNowhere) {
            BoundedText<80> close;
            close.append("</").append(p.namesName.view()).append(">");
            add_edit(m, p.namesInside, p.namesEmpty ? p.namesInside + 2 : p.namesInside,
                     p.namesEmpty ? close.view() : "", Edit::names_inside);
        } else if (p.sheetCount != 0) {
            add_edit(m, p.sheets[0].start, p.sheets[0].start, "", Edit::names);
        }
    }
    BoundedText<160> text;
    for (std::size_t i = 0; i < p.sheetCount; ++i) {
        const InputSheet &s = p.sheets[i];
        if (m.marks[i] == SheetMark::drop) {
            add_edit(m, s.start, s.end, "");
            continue;
        }
        if (m.marks[i] == SheetMark::replace) continue;
        if (m.marks[i] == SheetMark::append) {
            for (int k = 0; k < 2; ++k) add_edit(m, s.countsStart[k], s.countsEnd[k], "");
        }
        const bool selected = m.outputIndex[i] == m.active;
        if (!selected && s.selectedStart != kNowhere) {
            add_edit(m, s.selectedStart, s.selectedEnd, "");
        } else if (selected && s.selectedStart == kNowhere && (p.anySelected || m.activeChosen)) {
            std::string_view prefix(s.prefixText[0], s.optionsPrefix);
            std::string_view colon = prefix.empty() ? "" : ":";
            text.clear();
            if (s.optionsInside != kNowhere && s.optionsEmpty) {
                text.append("><").append(prefix).append(colon).append("Selected/></").append(prefix)
                    .append(colon).append("WorksheetOptions>");
                add_edit(m, s.optionsInside, s.optionsInside + 2, text.view());
            } else if (s.optionsInside != kNowhere) {
                text.append("<").append(prefix).append(colon).append("Selected/>");
                add_edit(m, s.optionsInside, s.optionsInside, text.view());
            } else if (s.optionsAt != kNowhere) {
                text.append("  <WorksheetOptions xmlns=\"").append(kExcelNamespace)
                    .append("\">\n   <Selected/>\n  </WorksheetOptions>\n");
                add_edit(m, s.optionsAt, s.optionsAt, text.view());
            }
        }
    }
}

// The input up to the end of its styles, and the built-in styles it lacks: at the first
// call that writes, so that the sheets marked until then are known to the view state.
void write_head(WriterState &w, MergeInput &m) noexcept {
    if (m.headWritten) return;
    m.headWritten = true;
    plan_view(w, m);
    sort_edits(m);
    const InputPlan &p = m.plan;
    if (p.stylesEnd != kNowhere) {
        copy_to(w, m, p.stylesEnd);
        if (p.stylesEmpty) w.out.write(">\n");
    } else {
        copy_to(w, m, p.stylesAt);
        w.out.write(" <Styles>\n");
    }
    for (const BuiltInStyle &style : kBuiltInStyles)
        if (m.builtIns & (1u << (&style - kBuiltInStyles))) w.out.write(style.definition);
}

// The Styles end and the start of the sheets' copy, at the first xlsAddSheet.
void begin_sheets(WriterState &w, MergeInput &m) noexcept {
    write_head(w, m);
    m.sheetsBegun = true;
    plan_sheets(w, m);
    sort_edits(m);
    const InputPlan &p = m.plan;
    if (p.stylesEnd == kNowhere) {
        w.out.write(" </Styles>\n");
    } else if (p.stylesEmpty) {
        w.out.write("</");
        w.out.write(p.stylesName.view());
        w.out.write(">");
        m.cursor = p.stylesEnd + 2;
    }
}

// The input's sheets that stay count as names of the workbook, once.
void register_kept_names(WriterState &w, MergeInput &m) noexcept {
    if (m.namesRegistered) return;
    m.namesRegistered = true;
    for (std::size_t i = 0; i < m.plan.sheetCount; ++i)
        if (m.marks[i] == SheetMark::keep)
            register_sheet_name(w, m.sheetNames.at(m.plan.sheets[i].nameIndex));
}

// The copy passes a marked sheet the client has not taken: it stays as it is.
void pass_sheets_before(WriterState &w, MergeInput &m, std::size_t limit) noexcept {
    for (; m.nextSheet < limit; ++m.nextSheet) {
        SheetMark &mark = m.marks[m.nextSheet];
        if (mark != SheetMark::replace && mark != SheetMark::append) continue;
        mark = SheetMark::passed;
        register_sheet_name(w, m.sheetNames.at(m.plan.sheets[m.nextSheet].nameIndex));
    }
}

// The input's sheet name that reads as `seen`, case ignored; -1 for none.
int sheet_index(MergeInput &m, std::string_view seen) noexcept {
    BoundedText<kMaxInputSheetName + 1> key;
    if (!append_folded(key, seen)) return -1;
    const char *found = m.sheetNames.find(key.view());
    if (found == nullptr) return -1;
    return static_cast<int>((found - m.sheetNames.at(0).data()) /
                            static_cast<std::ptrdiff_t>(decltype(m.sheetNames)::stored_size));
}

void free_merge_input(MergeInput *m) noexcept { delete m; }

MergeInput *ensure_merge_input(WriterState &w) noexcept {
    if (w.mergeInput == nullptr) w.mergeInput = new (std::nothrow) MergeInput;
    w.freeMergeInput = free_merge_input;
    return w.mergeInput;
}

// Marks the input sheets named `name` (as a reader sees it); 0 with a message when the
// input has none, or the copy has begun.
int mark_sheet(WriterState &w, const char *name, SheetMark mark, std::string_view call) noexcept {
    std::string_view sheet = arg(name);
    if (sheet.empty()) return kNo;
    if (sheet.size() > kMaxMarkedName)
        return fail(w, {"Nome Sheet troppo lungo (al massimo 199 caratteri) in ", call, "()."});
    if (!merging(w))
        return fail(w, {"Nessun file in input aperto: il foglio '", sheet, "' non c'e' in ", call,
                        "().\n"});
    MergeInput &m = *w.mergeInput;
    if (m.sheetsBegun)
        return fail(w, {"Non si puo' segnare il foglio '", sheet, "' a questo punto in ", call,
                        "(): va fatto prima del primo xlsAddSheet().\n"});
    BoundedText<kMaxUnitBytes * kMaxMarkedName + 1> escaped;
    BoundedText<kMaxMarkedName + 1> seen;
    append_escaped(escaped, sheet, Place::attribute, w.settings.encoding);
    int index = append_decoded(seen, escaped.view()) ? sheet_index(m, seen.view()) : -1;
    if (index < 0)
        return fail(w, {"Foglio '", sheet, "' non presente nel file in input in ", call, "().\n"});
    for (std::size_t i = 0; i < m.plan.sheetCount; ++i) {
        if (m.plan.sheets[i].nameIndex != index) continue;
        if (mark == SheetMark::append && !m.plan.sheets[i].appendable)
            return fail(w, {"Il foglio '", sheet,
                            "' del file in input non ha una tabella che si "
                            "possa continuare in ",
                            call, "().\n"});
        m.marks[i] = mark;
    }
    return kYes;
}

void merge_write_head(WriterState &w) noexcept {
    if (merging(w)) write_head(w, *w.mergeInput);
}

int merge_sheet_turn(WriterState &w, std::string_view seen) noexcept {
    if (!merging(w)) return -1;
    MergeInput &m = *w.mergeInput;
    register_kept_names(w, m);
    int index = sheet_index(m, seen);
    if (index < 0) return -1;
    for (std::size_t i = m.nextSheet; i < m.plan.sheetCount; ++i)
        if (m.plan.sheets[i].nameIndex == index &&
            (m.marks[i] == SheetMark::replace || m.marks[i] == SheetMark::append))
            return static_cast<int>(i);
    return -1;
}

void __CopiaSheet(WriterState &w, int turn) noexcept {
    if (!w.out.is_open() || !merging(w)) {
        w.out.write(" </Styles>\n");
        w.in.close();
        errno = EBADF;
        fail_open(w, {"Errore in apertura dei file in __CopiaSheet()."});
        return;
    }
    MergeInput &m = *w.mergeInput;
    if (!m.sheetsBegun) begin_sheets(w, m);
    const InputPlan &p = m.plan;
    if (turn < 0) {
        pass_sheets_before(w, m, p.sheetCount);
        copy_to(w, m, p.afterSheets);
        w.book.mergeSheetIndex = m.keptCount + m.newSheets++;
        return;
    }
    const std::size_t i = static_cast<std::size_t>(turn);
    const InputSheet &s = p.sheets[i];
    pass_sheets_before(w, m, i);
    m.nextSheet = i + 1;
    w.book.mergeSheetIndex = m.outputIndex[i];
    if (m.marks[i] == SheetMark::replace) {
        copy_to(w, m, s.start);
        if (m.cursor < s.end) m.cursor = s.end;
        return;
    }
    copy_to(w, m, s.tableEnd);
    if (s.tableEmpty) {
        w.out.write(">\n");
        m.cursor = s.tableEnd + 2;
    }
    m.appending = turn;
}

void merge_sheet_started(WriterState &w) noexcept {
    if (!merging(w) || w.mergeInput->appending < 0) return;
    const InputSheet &s = w.mergeInput->plan.sheets[w.mergeInput->appending];
    w.sheet.headPending = false;
    w.book.phase = PHASE_CELLS;  // rows follow the input's: no column definitions, a close at once
    w.cells.lastRow = s.lastRow;
    w.cells.currentRow = (s.reachRow > s.lastRow ? s.reachRow : s.lastRow) + 1;
    if (w.cells.currentRow != w.cells.lastRow + 1)
        w.cells.pendingRowAttrs.assign(" ss:Index=\"").append_int(w.cells.currentRow).append("\" ");
}

bool merge_close_sheet(WriterState &w) noexcept {
    if (!merging(w) || w.mergeInput->appending < 0) return false;
    MergeInput &m = *w.mergeInput;
    const InputSheet &s = m.plan.sheets[m.appending];
    m.appending = -1;
    if (w.cells.rowOpen) w.out.write("   </Row>\n");
    w.cells.rowOpen = false;
    if (s.tableEmpty) {
        w.out.write("</");
        w.out.write({s.prefixText[1], s.tablePrefix});
        w.out.write(s.tablePrefix != 0 ? ":Table>" : "Table>");
    }
    copy_to(w, m, s.end);
    return true;
}

bool merge_finish(WriterState &w) noexcept {
    if (!merging(w) || !w.mergeInput->sheetsBegun) return false;
    MergeInput &m = *w.mergeInput;
    const InputPlan &p = m.plan;
    pass_sheets_before(w, m, p.sheetCount);
    if (p.rootEmpty) {
        copy_to(w, m, p.rootTagEnd);
        w.out.write("</");
        w.out.write(p.rootName.view());
        w.out.write(">\n");
    }
    copy_to(w, m, p.length);
    if (m.cursor < p.length) w.book.inputTruncated = true;
    w.in.close();
    return true;
}

constexpr MergeHooks kHooks = {merge_write_head,    merge_sheet_turn,  __CopiaSheet,
                               merge_sheet_started, merge_close_sheet, merge_finish};

}  // namespace

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" int xlsInitMerge(const char *inputPath, const char *outputPath) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    start_merge(w, kHooks);  // the active sheet: the client's choice, else the input's

    const char *input = inputPath != nullptr ? inputPath : "";
    if (!w.in.open(input))
        return fail_open(w, {"Errore in apertura del file in input '", input, "'"});

    std::string_view where = arg(outputPath);
    if (where.empty()) where = kDefaultName;
    if (where.size() > kMaxPath) {  // refused like a path that cannot be opened
        w.out.path.clear();
        errno = ENAMETOOLONG;
        return fail_open(w, {"Errore in apertura del file in output '", where, "'"});
    }
    w.out.path.assign(where);
    // A temporary output leaves the input whole until the workbook replaces it.
    if (!(w.settings.atomic && writes_through_temporary(w.out.path.c_str())) &&
        is_input(w.in, input, w.out.path.c_str())) {
        w.in.close();
        return fail(w, {"File in input e file in output coincidono."});
    }
    MergeInput *m = ensure_merge_input(w);
    if (m == nullptr) {
        w.in.close();
        return fail(w, {"Memoria insufficiente per leggere il file in input.\n"});
    }
    // The whole input judged before anything is opened for writing.
    ScanTarget target;
    target.maxStyleId = kMaxRegisteredId;
    target.add_style = [](std::string_view id) noexcept {
        return current().book.styleIds.add(id) != decltype(Workbook::styleIds)::Add::full;
    };
    target.add_name = [](std::string_view name) noexcept { register_input_name(current(), name); };
    BoundedText<256> message;
    if (!scan_input(*m, w.in, target, message)) {
        w.in.close();
        return message.view() == kReadError ? fail_open(w, {kReadError})
                                            : fail(w, {message.view()});
    }
    m->builtIns = 0;
    for (const BuiltInStyle &style : kBuiltInStyles) {
        if (w.book.styleIds.contains(style.id)) continue;
        if (w.book.styleIds.add(style.id) != decltype(Workbook::styleIds)::Add::added) {
            w.in.close();
            return fail(w, {"File in input con troppi tag <Style>."});
        }
        m->builtIns |= 1u << (&style - kBuiltInStyles);
    }
    if (!w.in.rewind()) {
        w.in.close();
        return fail_open(w, {kReadError});
    }
    if (!open_merge_output(w))
        return fail_open(w, {"Errore in apertura del file in output '", w.out.path.view(), "'"});
    m->source.start(w.in, m->plan.encoding);
    m->cursor = m->chunkStart = 0;
    m->chunk = {};
    m->editCount = m->nextEdit = 0;
    m->pool.clear();
    m->headWritten = m->sheetsBegun = m->copyEnded = m->namesRegistered = false;
    m->nextSheet = 0;
    m->newSheets = 0;
    m->appending = -1;
    for (auto &mark : m->marks) mark = SheetMark::keep;
    plan_start(w, *m);
    forget_properties(w);
    return kYes;
}

extern "C" const char *xlsGetMergeSheet(int index) noexcept {
    if (!attached()) return nullptr;
    WriterState &w = current();
    if (!merging(w) || index < 0 || static_cast<std::size_t>(index) >= w.mergeInput->plan.sheetCount)
        return nullptr;
    return w.mergeInput->sheetText[index];
}

extern "C" int xlsSheetDelete(const char *name) noexcept {
    if (!attached()) return kNo;
    return mark_sheet(current(), name, SheetMark::drop, "xlsSheetDelete");
}

extern "C" int xlsSheetReplace(const char *name) noexcept {
    if (!attached()) return kNo;
    return mark_sheet(current(), name, SheetMark::replace, "xlsSheetReplace");
}

extern "C" int xlsSheetAppend(const char *name) noexcept {
    if (!attached()) return kNo;
    return mark_sheet(current(), name, SheetMark::append, "xlsSheetAppend");
}
