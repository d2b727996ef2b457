// Merge: a new workbook that starts as a copy of an existing one, whoever wrote it, with
// chosen worksheets left out, replaced where they stand or continued, and the client's
// styles, names and worksheets added. The input is judged whole before anything is
// written (input.cpp), then copied as it stands, cut and edited at the places found.
#include "merge.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <string_view>

#include "../textutil/names.hpp"
#include "../writer/extras.hpp"
#include "../writer/sheet.hpp"
#include "../writer/state.hpp"
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
bool is_input(const char *inputPath, const char *outputPath) noexcept {
    if (std::string_view(inputPath) == outputPath) return true;
    struct stat in {}, out {};
    return fstat(fileno(g.inFile), &in) == 0 && stat(outputPath, &out) == 0 &&
           in.st_dev == out.st_dev && in.st_ino == out.st_ino;
}

bool merging() noexcept { return g.mergeInput != nullptr && g.inFile != nullptr; }

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

void apply(MergeInput &m, const Edit &e) noexcept {
    switch (e.kind) {
    case Edit::text: emit({m.pool.c_str() + e.textAt, e.textSize}); break;
    case Edit::names: write_workbook_names(); break;
    case Edit::names_inside:
        if (e.to != e.at) emit(">\n");  // an empty Names element opened
        write_workbook_names_inside();
        if (e.to != e.at) emit({m.pool.c_str() + e.textAt, e.textSize});
        break;
    }
    if (e.to > m.cursor) m.cursor = e.to;
}

// The input's bytes from the copy's position up to `to`, edited; the insertions at `to`
// come too. An input that ends before is noted for xlsClose.
void copy_to(MergeInput &m, Offset to) noexcept {
    for (;;) {
        while (m.nextEdit < m.editCount) {
            const Edit &e = m.edits[m.nextEdit];
            if (e.at < m.cursor) {  // inside a part left out
                ++m.nextEdit;
                continue;
            }
            if (e.at != m.cursor || e.at > to || (e.at == to && e.to != e.at)) break;
            ++m.nextEdit;
            apply(m, e);
        }
        if (m.cursor >= to || m.copyEnded) return;
        Offset limit = to;
        if (m.nextEdit < m.editCount && m.edits[m.nextEdit].at < limit) limit = m.edits[m.nextEdit].at;
        while (m.cursor >= m.chunkStart + m.chunk.size()) {
            m.chunkStart += m.chunk.size();
            m.chunk = m.source.next();
            if (m.chunk.empty()) {
                m.copyEnded = true;
                g.inputTruncated = true;
                return;
            }
        }
        Offset end = m.chunkStart + m.chunk.size();
        if (limit < end) end = limit;
        emit(m.chunk.substr(static_cast<std::size_t>(m.cursor - m.chunkStart),
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
void plan_properties(MergeInput &m) noexcept {
    const InputPlan &p = m.plan;
    BoundedText<kPropertySize + 64> line;
    BoundedText<kPropertyCount * (kPropertySize + 64)> all;
    for (int i = 0; i < kPropertyCount; ++i) {
        if (g.properties[i].empty()) continue;
        const PropertySlot slot = property_slot(i);
        line.assign("  ");
        element(line, p.propertiesInside != kNowhere ? p.propertiesPrefix.view() : "", slot.name,
                g.properties[i].view())
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
void plan_start(MergeInput &m) noexcept {
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
    plan_properties(m);
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
void plan_view(MergeInput &m) noexcept {
    const InputPlan &p = m.plan;
    number_sheets(m);
    int active = g.workbookActiveSheet;
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
    g.workbookActiveSheet = active;
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
void plan_sheets(MergeInput &m) noexcept {
    const InputPlan &p = m.plan;
    number_sheets(m);
    if (!g.workbookNames.empty()) {
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
void write_head(MergeInput &m) noexcept {
    if (m.headWritten) return;
    m.headWritten = true;
    plan_view(m);
    sort_edits(m);
    const InputPlan &p = m.plan;
    if (p.stylesEnd != kNowhere) {
        copy_to(m, p.stylesEnd);
        if (p.stylesEmpty) emit(">\n");
    } else {
        copy_to(m, p.stylesAt);
        emit(" <Styles>\n");
    }
    for (const BuiltInStyle &style : kBuiltInStyles)
        if (m.builtIns & (1u << (&style - kBuiltInStyles))) emit(style.definition);
}

// The Styles end and the start of the sheets' copy, at the first xlsAddSheet.
void begin_sheets(MergeInput &m) noexcept {
    write_head(m);
    m.sheetsBegun = true;
    plan_sheets(m);
    sort_edits(m);
    const InputPlan &p = m.plan;
    if (p.stylesEnd == kNowhere) {
        emit(" </Styles>\n");
    } else if (p.stylesEmpty) {
        emit("</");
        emit(p.stylesName.view());
        emit(">");
        m.cursor = p.stylesEnd + 2;
    }
}

// The input's sheets that stay count as names of the workbook, once.
void register_kept_names(MergeInput &m) noexcept {
    if (m.namesRegistered) return;
    m.namesRegistered = true;
    for (std::size_t i = 0; i < m.plan.sheetCount; ++i)
        if (m.marks[i] == SheetMark::keep) register_sheet_name(m.sheetNames.at(m.plan.sheets[i].nameIndex));
}

// The copy passes a marked sheet the client has not taken: it stays as it is.
void pass_sheets_before(MergeInput &m, std::size_t limit) noexcept {
    for (; m.nextSheet < limit; ++m.nextSheet) {
        SheetMark &mark = m.marks[m.nextSheet];
        if (mark != SheetMark::replace && mark != SheetMark::append) continue;
        mark = SheetMark::passed;
        register_sheet_name(m.sheetNames.at(m.plan.sheets[m.nextSheet].nameIndex));
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

MergeInput *ensure_merge_input() noexcept {
    if (g.mergeInput == nullptr) g.mergeInput = new (std::nothrow) MergeInput;
    return g.mergeInput;
}

// Marks the input sheets named `name` (as a reader sees it); 0 with a message when the
// input has none, or the copy has begun.
int mark_sheet(const char *name, SheetMark mark, std::string_view call) noexcept {
    std::string_view sheet = arg(name);
    if (sheet.empty()) return kNo;
    if (sheet.size() > kMaxMarkedName)
        return fail({"Nome Sheet troppo lungo (al massimo 199 caratteri) in ", call, "()."});
    if (!g.mergeMode || !merging())
        return fail({"Nessun file in input aperto: il foglio '", sheet, "' non c'e' in ", call, "().\n"});
    MergeInput &m = *g.mergeInput;
    if (m.sheetsBegun)
        return fail({"Non si puo' segnare il foglio '", sheet, "' a questo punto in ", call,
                     "(): va fatto prima del primo xlsAddSheet().\n"});
    BoundedText<kMaxUnitBytes * kMaxMarkedName + 1> escaped;
    BoundedText<kMaxMarkedName + 1> seen;
    append_escaped(escaped, sheet, Place::attribute);
    int index = append_decoded(seen, escaped.view()) ? sheet_index(m, seen.view()) : -1;
    if (index < 0)
        return fail({"Foglio '", sheet, "' non presente nel file in input in ", call, "().\n"});
    for (std::size_t i = 0; i < m.plan.sheetCount; ++i) {
        if (m.plan.sheets[i].nameIndex != index) continue;
        if (mark == SheetMark::append && !m.plan.sheets[i].appendable)
            return fail({"Il foglio '", sheet, "' del file in input non ha una tabella che si "
                         "possa continuare in ", call, "().\n"});
        m.marks[i] = mark;
    }
    return kYes;
}

}  // namespace

void free_merge_input(MergeInput *m) noexcept { delete m; }

void merge_write_head() noexcept {
    if (g.mergeMode && merging()) write_head(*g.mergeInput);
}

int merge_sheet_turn(std::string_view seen) noexcept {
    if (!g.mergeMode || !merging()) return -1;
    MergeInput &m = *g.mergeInput;
    register_kept_names(m);
    int index = sheet_index(m, seen);
    if (index < 0) return -1;
    for (std::size_t i = m.nextSheet; i < m.plan.sheetCount; ++i)
        if (m.plan.sheets[i].nameIndex == index &&
            (m.marks[i] == SheetMark::replace || m.marks[i] == SheetMark::append))
            return static_cast<int>(i);
    return -1;
}

void __CopiaSheet(int turn) noexcept {
    if (g.outFile == nullptr || !merging()) {
        emit(" </Styles>\n");
        close_input();
        errno = EBADF;
        fail_open({"Errore in apertura dei file in __CopiaSheet()."});
        return;
    }
    MergeInput &m = *g.mergeInput;
    if (!m.sheetsBegun) begin_sheets(m);
    const InputPlan &p = m.plan;
    if (turn < 0) {
        pass_sheets_before(m, p.sheetCount);
        copy_to(m, p.afterSheets);
        g.mergeSheetIndex = m.keptCount + m.newSheets++;
        return;
    }
    const std::size_t i = static_cast<std::size_t>(turn);
    const InputSheet &s = p.sheets[i];
    pass_sheets_before(m, i);
    m.nextSheet = i + 1;
    g.mergeSheetIndex = m.outputIndex[i];
    if (m.marks[i] == SheetMark::replace) {
        copy_to(m, s.start);
        if (m.cursor < s.end) m.cursor = s.end;
        return;
    }
    copy_to(m, s.tableEnd);
    if (s.tableEmpty) {
        emit(">\n");
        m.cursor = s.tableEnd + 2;
    }
    m.appending = turn;
}

void merge_sheet_started() noexcept {
    if (!g.mergeMode || !merging() || g.mergeInput->appending < 0) return;
    const InputSheet &s = g.mergeInput->plan.sheets[g.mergeInput->appending];
    g.sheetHeadPending = false;
    g.lastRow = s.lastRow;
    g.currentRow = (s.reachRow > s.lastRow ? s.reachRow : s.lastRow) + 1;
    if (g.currentRow != g.lastRow + 1)
        g.pendingRowAttrs.assign(" ss:Index=\"").append_int(g.currentRow).append("\" ");
}

bool merge_close_sheet() noexcept {
    if (!g.mergeMode || !merging() || g.mergeInput->appending < 0) return false;
    MergeInput &m = *g.mergeInput;
    const InputSheet &s = m.plan.sheets[m.appending];
    m.appending = -1;
    if (g.rowOpen) emit("   </Row>\n");
    g.rowOpen = kNo;
    if (s.tableEmpty) {
        emit("</");
        emit({s.prefixText[1], s.tablePrefix});
        emit(s.tablePrefix != 0 ? ":Table>" : "Table>");
    }
    copy_to(m, s.end);
    return true;
}

bool merge_finish() noexcept {
    if (!g.mergeMode || !merging() || !g.mergeInput->sheetsBegun) return false;
    MergeInput &m = *g.mergeInput;
    const InputPlan &p = m.plan;
    pass_sheets_before(m, p.sheetCount);
    if (p.rootEmpty) {
        copy_to(m, p.rootTagEnd);
        emit("</");
        emit(p.rootName.view());
        emit(">\n");
    }
    copy_to(m, p.length);
    if (m.cursor < p.length) g.inputTruncated = true;
    close_input();
    return true;
}

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" int xlsInitMerge(const char *inputPath, const char *outputPath) noexcept {
    if (!attached()) return kNo;
    drop_open_streams();
    reset_workbook();
    clear_error();
    g.mergeMode = kYes;
    g.workbookActiveSheet = g.activeSheet;  // the client's choice, else the input's
    g.activeSheet = -1;

    const char *input = inputPath != nullptr ? inputPath : "";
    g.inFile = std::fopen(input, "rb");
    if (g.inFile == nullptr)
        return fail_open({"Errore in apertura del file in input '", input, "'"});
    std::setvbuf(g.inFile, g.inBuffer, _IOFBF, sizeof g.inBuffer);

    std::string_view where = arg(outputPath);
    if (where.empty()) where = kDefaultName;
    if (where.size() > kMaxPath) {  // refused like a path that cannot be opened
        g.outputPath.clear();
        errno = ENAMETOOLONG;
        return fail_open({"Errore in apertura del file in output '", where, "'"});
    }
    g.outputPath.assign(where);
    // A temporary output leaves the input whole until the workbook replaces it.
    if (!writes_through_temporary(g.outputPath.c_str()) && is_input(input, g.outputPath.c_str())) {
        close_input();
        return fail({"File in input e file in output coincidono."});
    }
    MergeInput *m = ensure_merge_input();
    if (m == nullptr) {
        close_input();
        return fail({"Memoria insufficiente per leggere il file in input.\n"});
    }
    // The whole input judged before anything is opened for writing.
    ScanTarget target;
    target.maxStyleId = kMaxRegisteredId;
    target.add_style = [](std::string_view id) noexcept {
        return g.styleIds.add(id) != decltype(g.styleIds)::Add::full;
    };
    BoundedText<256> message;
    if (!scan_input(*m, g.inFile, target, message)) {
        close_input();
        return message.view() == kReadError ? fail_open({kReadError}) : fail({message.view()});
    }
    m->builtIns = 0;
    for (const BuiltInStyle &style : kBuiltInStyles) {
        if (g.styleIds.contains(style.id)) continue;
        if (g.styleIds.add(style.id) != decltype(g.styleIds)::Add::added) {
            close_input();
            return fail({"File in input con troppi tag <Style>."});
        }
        m->builtIns |= 1u << (&style - kBuiltInStyles);
    }
    if (std::fseek(g.inFile, 0, SEEK_SET) != 0) {
        close_input();
        return fail_open({kReadError});
    }
    g.outFile = open_output(g.outputPath.c_str());
    if (g.outFile == nullptr)
        return fail_open({"Errore in apertura del file in output '", g.outputPath.view(), "'"});
    m->source.start(g.inFile, m->plan.encoding);
    m->cursor = m->chunkStart = 0;
    m->chunk = {};
    m->editCount = m->nextEdit = 0;
    m->pool.clear();
    m->headWritten = m->sheetsBegun = m->copyEnded = m->namesRegistered = false;
    m->nextSheet = 0;
    m->newSheets = 0;
    m->appending = -1;
    for (auto &mark : m->marks) mark = SheetMark::keep;
    plan_start(*m);
    forget_properties();
    return kYes;
}

extern "C" int xlsSheetDelete(const char *name) noexcept {
    if (!attached()) return kNo;
    return mark_sheet(name, SheetMark::drop, "xlsSheetDelete");
}

extern "C" int xlsSheetReplace(const char *name) noexcept {
    if (!attached()) return kNo;
    return mark_sheet(name, SheetMark::replace, "xlsSheetReplace");
}

extern "C" int xlsSheetAppend(const char *name) noexcept {
    if (!attached()) return kNo;
    return mark_sheet(name, SheetMark::append, "xlsSheetAppend");
}
