// What a worksheet writes after its table: view and print options, frozen panes, the
// autofilter, page breaks, data validations and conditional formats. Given any time while
// the worksheet is open, kept in the writer state and written by the worksheet's end.
#include "sheet_options.hpp"

#include <array>

#include "errors.hpp"
#include "names.hpp"

namespace gridquill::detail {

namespace {

// The format's default colour palette, indexes 8 to 63, as 0xRRGGBB.
constexpr int kFirstPaletteIndex = 8;
constexpr std::array<int, 56> kPalette = {
    0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF,
    0x800000, 0x008000, 0x000080, 0x808000, 0x800080, 0x008080, 0xC0C0C0, 0x808080,
    0x9999FF, 0x993366, 0xFFFFCC, 0xCCFFFF, 0x660066, 0xFF8080, 0x0066CC, 0xCCCCFF,
    0x000080, 0xFF00FF, 0xFFFF00, 0x00FFFF, 0x800080, 0x800000, 0x008080, 0x0000FF,
    0x00CCFF, 0xCCFFFF, 0xCCFFCC, 0xFFFF99, 0x99CCFF, 0xFF99CC, 0xCC99FF, 0xFFCC99,
    0x3366FF, 0x33CCCC, 0x99CC00, 0xFFCC00, 0xFF9900, 0xFF6600, 0x666699, 0x969696,
    0x003366, 0x339966, 0x003300, 0x333300, 0x993300, 0x993366, 0x333399, 0x333333};

// Palette index of the colour nearest to rgb (squared distance; the first of equals).
int nearest_palette_index(int rgb) noexcept {
    int best = 0;
    long bestDistance = -1;
    for (std::size_t i = 0; i < kPalette.size(); ++i) {
        long dr = ((rgb >> 16) & 0xFF) - ((kPalette[i] >> 16) & 0xFF);
        long dg = ((rgb >> 8) & 0xFF) - ((kPalette[i] >> 8) & 0xFF);
        long db = (rgb & 0xFF) - (kPalette[i] & 0xFF);
        long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
        }
    }
    return best + kFirstPaletteIndex;
}

constexpr std::string_view kQualifiers[] = {"Between", "NotBetween", "Equal", "NotEqual",
                                            "Greater", "Less", "GreaterOrEqual", "LessOrEqual"};
constexpr std::string_view kValidationTypes[] = {"AnyValue", "Whole", "Decimal", "List",
                                                 "Date", "Time", "TextLength", "Custom"};
constexpr std::string_view kErrorStyles[] = {"Stop", "Warn", "Info"};

template <std::size_t N>
bool one_of(std::string_view word, const std::string_view (&words)[N]) noexcept {
    for (std::string_view w : words)
        if (w == word) return true;
    return false;
}

// The range, or the refusal naming the call.
bool check_range(const CellRange &r) noexcept {
    return r.firstRow >= 1 && r.firstRow <= kMaxRows && r.firstColumn >= 1 &&
           r.firstColumn <= kMaxColumns && r.lastColumn >= r.firstColumn &&
           r.lastColumn <= kMaxColumns &&
           (r.lastRow == 0 || (r.lastRow >= r.firstRow && r.lastRow <= kMaxRows));
}

int refuse_range(WriterState &w, std::string_view call) noexcept {
    return fail(w, {"Intervallo di celle errato in ", call, "().\n"});
}

// An element with escaped text content, when the text is not empty; false when it did
// not fit.
template <std::size_t N>
bool element(BoundedText<N> &out, std::string_view name, std::string_view text,
             Encoding encoding) noexcept {
    if (text.empty()) return true;
    out.append("<").append(name).append(">");
    bool whole = append_escaped(out, text, Place::content, encoding);
    out.append("</").append(name).append(">");
    return whole && !out.was_cut();
}

// One element with a number, on a line of its own at the options' depth (deeper: +1).
void append_number(StagingText &out, std::string_view name, long long value,
                   int deeper = 0) noexcept {
    out.append(deeper ? "    <" : "   <").append(name).append(">").append_int(value);
    out.append("</").append(name).append(">\n");
}

}  // namespace

void append_range(const WriterState &w, StagingText &out, const CellRange &r) noexcept {
    int last = r.lastRow != 0                 ? r.lastRow
               : w.cells.lastRow > r.firstRow ? w.cells.lastRow
                                              : r.firstRow;
    out.append("R").append_int(r.firstRow).append("C").append_int(r.firstColumn);
    if (last != r.firstRow || r.lastColumn != r.firstColumn)
        out.append(":R").append_int(last).append("C").append_int(r.lastColumn);
}

void write_print_options(const Sheet &o, StagingText &out) noexcept {
    if (o.fitWidth >= 0) append_number(out, "FitWidth", o.fitWidth, 1);
    if (o.fitHeight >= 0) append_number(out, "FitHeight", o.fitHeight, 1);
    if (o.scale != 0) append_number(out, "Scale", o.scale, 1);
    if (o.paperSize != 0) append_number(out, "PaperSizeIndex", o.paperSize, 1);
}

bool sheet_selected(WriterState &w) noexcept {
    // Several selected sheets open grouped: what is typed into one goes into all of them.
    if (w.sheet.visibility != 0 || w.book.selectedWritten) return false;
    const int place = w.book.merge != nullptr ? w.book.mergeSheetIndex : w.book.sheetCount - 1;
    w.book.selectedWritten = w.book.activeSheet < 0 || w.book.activeSheet == place;
    return w.book.selectedWritten;
}

void write_sheet_options(const Sheet &o, StagingText &out) noexcept {
    if (o.fitWidth >= 0 || o.fitHeight >= 0) out.append("   <FitToPage/>\n");
    if (o.visibility == 1) out.append("   <Visible>SheetHidden</Visible>\n");
    if (o.visibility == 2) out.append("   <Visible>SheetVeryHidden</Visible>\n");
    if (o.display & XLS_DISPLAY_NO_GRIDLINES) out.append("   <DoNotDisplayGridlines/>\n");
    if (o.display & XLS_DISPLAY_NO_HEADINGS) out.append("   <DoNotDisplayHeadings/>\n");
    if (o.display & XLS_DISPLAY_NO_ZEROS) out.append("   <DoNotDisplayZeros/>\n");
    if (o.display & XLS_DISPLAY_RIGHT_TO_LEFT) out.append("   <DisplayRightToLeft/>\n");
    if (o.zoom != 0) append_number(out, "Zoom", o.zoom);
    if (o.tabColor >= 0) append_number(out, "TabColorIndex", o.tabColor);
    // Frozen panes: the split, the first row and column of the lower and right panes, the
    // active pane (0 bottom-right, 1 top-right, 2 bottom-left, 3 top-left), then each pane.
    int active = 3;
    if (o.freezeRows > 0 || o.freezeColumns > 0) {
        out.append("   <FreezePanes/>\n   <FrozenNoSplit/>\n");
        if (o.freezeRows > 0) {
            append_number(out, "SplitHorizontal", o.freezeRows);
            append_number(out, "TopRowBottomPane", o.freezeRows);
        }
        if (o.freezeColumns > 0) {
            append_number(out, "SplitVertical", o.freezeColumns);
            append_number(out, "LeftColumnRightPane", o.freezeColumns);
        }
        active = o.freezeRows > 0 && o.freezeColumns > 0 ? 0 : o.freezeRows > 0 ? 2 : 1;
        append_number(out, "ActivePane", active);
    }
    if (active != 3 || o.selectRow > 0) {
        out.append("   <Panes>\n");
        static constexpr int kOrder[] = {3, 1, 2, 0};
        for (int pane : kOrder) {
            bool used = pane == 3 || pane == active ||
                        (active == 0 && (pane == 1 || pane == 2));
            if (!used) continue;
            out.append("    <Pane>\n     <Number>").append_int(pane).append("</Number>\n");
            if (pane == active && o.selectRow > 0)
                out.append("     <ActiveRow>").append_int(o.selectRow - 1)
                    .append("</ActiveRow>\n     <ActiveCol>").append_int(o.selectColumn - 1)
                    .append("</ActiveCol>\n     <RangeSelection>R").append_int(o.selectRow)
                    .append("C").append_int(o.selectColumn).append("</RangeSelection>\n");
            out.append("    </Pane>\n");
        }
        out.append("   </Panes>\n");
    }
    if (o.protect)
        out.append("   <ProtectContents>True</ProtectContents>\n"
                   "   <ProtectObjects>True</ProtectObjects>\n"
                   "   <ProtectScenarios>True</ProtectScenarios>\n");
}

void write_after_options(WriterState &w) noexcept {
    const Sheet &o = w.sheet;
    StagingText &out = w.staging;
    if (o.rowBreakCount > 0 || o.columnBreakCount > 0) {  // a line at a time: up to 512
        w.out.write("  <PageBreaks xmlns=\"urn:schemas-microsoft-com:office:excel\">\n");
        if (o.columnBreakCount > 0) w.out.write("   <ColBreaks>\n");
        for (int i = 0; i < o.columnBreakCount; ++i) {
            out.assign("    <ColBreak><Column>").append_int(o.columnBreaks[i]);
            w.out.write(out.append("</Column></ColBreak>\n").view());
        }
        if (o.columnBreakCount > 0) w.out.write("   </ColBreaks>\n");
        if (o.rowBreakCount > 0) w.out.write("   <RowBreaks>\n");
        for (int i = 0; i < o.rowBreakCount; ++i) {
            out.assign("    <RowBreak><Row>").append_int(o.rowBreaks[i]);
            w.out.write(out.append("</Row></RowBreak>\n").view());
        }
        if (o.rowBreakCount > 0) w.out.write("   </RowBreaks>\n");
        w.out.write("  </PageBreaks>\n");
    }
    for (std::size_t i = 0; i < o.validationCount; ++i) {
        out.assign("  <DataValidation xmlns=\"urn:schemas-microsoft-com:office:excel\">\n");
        out.append("   <Range>");
        append_range(w, out, o.validations[i].range);
        out.append("</Range>\n");
        w.out.write(out.view());
        w.out.write(o.validations[i].body.view());
        w.out.write("  </DataValidation>\n");
    }
    if (o.filter) {
        out.assign("  <AutoFilter x:Range=\"");
        append_range(w, out, o.filterRange);
        out.append("\" xmlns=\"urn:schemas-microsoft-com:office:excel\">\n  </AutoFilter>\n");
        w.out.write(out.view());
    }
    for (std::size_t i = 0; i < o.conditionalCount; ++i) {
        const Sheet::Conditional &c = o.conditionals[i];
        out.assign("  <ConditionalFormatting xmlns=\"urn:schemas-microsoft-com:office:excel\">\n");
        out.append("   <Range>");
        append_range(w, out, c.range);
        out.append("</Range>\n");
        w.out.write(out.view());
        for (std::size_t k = 0; k < c.count; ++k) w.out.write(c.conditions[k].view());
        w.out.write("  </ConditionalFormatting>\n");
    }
}

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" int xlsFreezePanes(int rows, int columns) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!sheet_open(w)) return refuse_no_sheet(w, "xlsFreezePanes");
    if (rows < 0 || rows >= kMaxRows || columns < 0 || columns >= kMaxColumns)
        return fail(w, {"Numero di righe o colonne errato in xlsFreezePanes().\n"});
    w.sheet.freezeRows = rows;
    w.sheet.freezeColumns = columns;
    return kYes;
}

extern "C" int xlsAutoFilter(int firstRow, int firstColumn, int lastRow, int lastColumn) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!sheet_open(w)) return refuse_no_sheet(w, "xlsAutoFilter");
    CellRange range{firstRow, firstColumn, lastRow, lastColumn};
    if (!check_range(range)) return refuse_range(w, "xlsAutoFilter");
    if (w.sheet.filterNamed)
        return fail(w, {"Filtro gia' scritto nei nomi del foglio in xlsAutoFilter().\n"});
    // Its name goes into the worksheet's head, while the head is due and the rows known.
    if (lastRow != 0 && sheet_head_open(w)) {
        if (add_filter_name(w, range) == kNo) return kNo;
        w.sheet.filterNamed = true;
    }
    w.sheet.filter = true;
    w.sheet.filterRange = range;
    return kYes;
}

extern "C" int xlsSelectCell(int row, int column) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!sheet_open(w)) return refuse_no_sheet(w, "xlsSelectCell");
    if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
        return fail(w, {"Cella errata in xlsSelectCell().\n"});
    w.sheet.selectRow = row;
    w.sheet.selectColumn = column;
    return kYes;
}

extern "C" int xlsSetTabColor(int rgb) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!sheet_open(w)) return refuse_no_sheet(w, "xlsSetTabColor");
    if (rgb < -1 || rgb > 0xFFFFFF) return fail(w, {"Colore errato in xlsSetTabColor().\n"});
    w.sheet.tabColor = rgb < 0 ? -1 : nearest_palette_index(rgb);
    return kYes;
}

extern "C" int xlsSetZoom(int percent) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!sheet_open(w)) return refuse_no_sheet(w, "xlsSetZoom");
    if (percent < 10 || percent > 399)
        return fail(w, {"Zoom errato (da 10 a 399) in xlsSetZoom().\n"});
    w.sheet.zoom = percent;
    return kYes;
}

extern "C" int xlsSetDisplay(int flags) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!sheet_open(w)) return refuse_no_sheet(w, "xlsSetDisplay");
    constexpr int all = XLS_DISPLAY_NO_GRIDLINES | XLS_DISPLAY_NO_ZEROS | XLS_DISPLAY_NO_HEADINGS |
                        XLS_DISPLAY_RIGHT_TO_LEFT;
    if ((flags & ~all) != 0)
        return fail(w, {"Opzioni di visualizzazione errate in xlsSetDisplay().\n"});
    w.sheet.display = flags;
    return kYes;
}

extern "C" int xlsHideSheet(int how) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!sheet_open(w)) return refuse_no_sheet(w, "xlsHideSheet");
    if (how < 0 || how > 2) return fail(w, {"Valore errato (0, 1 o 2) in xlsHideSheet().\n"});
    w.sheet.visibility = how;
    return kYes;
}

extern "C" int xlsProtectSheet(void) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!sheet_open(w)) return refuse_no_sheet(w, "xlsProtectSheet");
    w.sheet.protect = true;
    return kYes;
}

extern "C" int xlsSetPrintLayout(int scale, int fitWide, int fitTall, int paperSize) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!sheet_open(w)) return refuse_no_sheet(w, "xlsSetPrintLayout");
    if ((scale != 0 && (scale < 11 || scale > 399)) || fitWide < -1 || fitTall < -1 ||
        fitWide > 32767 || fitTall > 32767 || paperSize < 0 || paperSize > 255 ||
        ((fitWide < 0) != (fitTall < 0)))
        return fail(w, {"Impostazioni di stampa errate in xlsSetPrintLayout().\n"});
    w.sheet.scale = scale;
    w.sheet.fitWidth = fitWide;
    w.sheet.fitHeight = fitTall;
    w.sheet.paperSize = paperSize;
    return kYes;
}

extern "C" int xlsAddPageBreak(int row, int column) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!sheet_open(w)) return refuse_no_sheet(w, "xlsAddPageBreak");
    Sheet &o = w.sheet;
    if (row < 0 || row >= kMaxRows || column < 0 || column >= kMaxColumns ||
        (row == 0 && column == 0))
        return fail(w, {"Interruzione di pagina errata in xlsAddPageBreak().\n"});
    if ((row > 0 && o.rowBreakCount == static_cast<int>(kMaxPageBreaks)) ||
        (column > 0 && o.columnBreakCount == static_cast<int>(kMaxPageBreaks)))
        return fail(w, {"Troppe interruzioni di pagina (al massimo 256) in xlsAddPageBreak().\n"});
    if (row > 0) o.rowBreaks[o.rowBreakCount++] = row;
    if (column > 0) o.columnBreaks[o.columnBreakCount++] = column;
    return kYes;
}

extern "C" int xlsAddValidation(int firstRow, int firstColumn, int lastRow, int lastColumn,
                                xlsValidation rule) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!sheet_open(w)) return refuse_no_sheet(w, "xlsAddValidation");
    CellRange range{firstRow, firstColumn, lastRow, lastColumn};
    if (!check_range(range)) return refuse_range(w, "xlsAddValidation");
    std::string_view type = arg(rule.type), qualifier = arg(rule.qualifier),
                     errorStyle = arg(rule.errorStyle), value1 = arg(rule.value1),
                     value2 = arg(rule.value2);
    if (!one_of(type, kValidationTypes))
        return fail(w, {"Tipo di convalida '", type, "' errato in xlsAddValidation().\n"});
    if (!qualifier.empty() && !one_of(qualifier, kQualifiers))
        return fail(w, {"Confronto '", qualifier, "' errato in xlsAddValidation().\n"});
    if (!errorStyle.empty() && !one_of(errorStyle, kErrorStyles))
        return fail(w, {"Stile di errore '", errorStyle, "' errato in xlsAddValidation().\n"});
    bool between = qualifier.empty() || qualifier == "Between" || qualifier == "NotBetween";
    bool compared = type != "List" && type != "Custom" && type != "AnyValue";
    if (type != "AnyValue" && (value1.empty() || (compared && between && value2.empty())))
        return fail(w, {"Valori mancanti per la convalida in xlsAddValidation().\n"});
    Sheet &o = w.sheet;
    // Readers keep one rule per cell; a last row 0 reaches down without end.
    auto last_row = [](const CellRange &r) { return r.lastRow != 0 ? r.lastRow : kMaxRows; };
    for (std::size_t i = 0; i < o.validationCount; ++i) {
        const CellRange &r = o.validations[i].range;
        if (r.firstRow <= last_row(range) && range.firstRow <= last_row(r) &&
            r.firstColumn <= range.lastColumn && range.firstColumn <= r.lastColumn)
            return fail(w, {"Convalida sovrapposta a una convalida gia' data in "
                            "xlsAddValidation().\n"});
    }
    if (o.validationCount == kMaxValidations)
        return fail(w, {"Troppe convalide (al massimo 16) in xlsAddValidation().\n"});

    BoundedText<kValidationSize> &b = o.validations[o.validationCount].body;
    b.assign("   <Type>").append(type).append("</Type>\n");
    if (type == "List" && rule.listRange) b.append("   <CellRangeList/>\n");
    if (compared && !qualifier.empty())
        b.append("   <Qualifier>").append(qualifier).append("</Qualifier>\n");
    bool whole = true;
    if (compared && between) {
        b.append("   ");
        whole = element(b, "Min", value1, w.settings.encoding) &&
                element(b, "Max", value2, w.settings.encoding);
        b.append("\n");
    } else if (!value1.empty()) {
        b.append("   <Value>");
        // A literal list is a formula's text constant: quoted, its quotes doubled.
        bool literal = type == "List" && !rule.listRange;
        if (literal) b.append("&quot;");
        std::string_view rest = value1;
        while (whole && !rest.empty()) {
            std::size_t quote = literal ? rest.find('"') : std::string_view::npos;
            whole = append_escaped(b, rest.substr(0, quote), Place::content, w.settings.encoding);
            if (quote == std::string_view::npos) break;
            b.append("&quot;&quot;");
            rest.remove_prefix(quote + 1);
        }
        if (literal) b.append("&quot;");
        b.append("</Value>\n");
    }
    if (type == "List" && rule.hideDropDown) b.append("   <ComboHide/>\n");
    std::size_t messages = b.size();
    b.append("   ");
    whole = whole && element(b, "InputTitle", arg(rule.inputTitle), w.settings.encoding) &&
            element(b, "InputMessage", arg(rule.inputMessage), w.settings.encoding);
    if (!errorStyle.empty()) b.append("<ErrorStyle>").append(errorStyle).append("</ErrorStyle>");
    whole = whole && element(b, "ErrorMessage", arg(rule.errorMessage), w.settings.encoding) &&
            element(b, "ErrorTitle", arg(rule.errorTitle), w.settings.encoding);
    if (b.size() == messages + 3) b.truncate(messages);  // none of them
    else b.append("\n");
    if (!whole || b.was_cut())
        return fail(w, {"Convalida troppo lunga (piu' di 2048 byte) in xlsAddValidation().\n"});
    o.validations[o.validationCount].range = range;
    o.validationCount++;
    return kYes;
}

extern "C" int xlsAddCondition(int firstRow, int firstColumn, int lastRow, int lastColumn,
                               const char *qualifier, const char *value1, const char *value2,
                               const char *format) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (!sheet_open(w)) return refuse_no_sheet(w, "xlsAddCondition");
    CellRange range{firstRow, firstColumn, lastRow, lastColumn};
    if (!check_range(range)) return refuse_range(w, "xlsAddCondition");
    std::string_view how = arg(qualifier), first = arg(value1), second = arg(value2);
    if (!how.empty() && !one_of(how, kQualifiers))
        return fail(w, {"Confronto '", how, "' errato in xlsAddCondition().\n"});
    bool between = how == "Between" || how == "NotBetween";
    if (first.empty() || (between && second.empty()))
        return fail(w, {"Valori mancanti per la condizione in xlsAddCondition().\n"});
    Sheet &o = w.sheet;
    Sheet::Conditional *c = nullptr;
    if (o.conditionalCount > 0) {
        Sheet::Conditional &last = o.conditionals[o.conditionalCount - 1];
        const CellRange &r = last.range;
        if (r.firstRow == firstRow && r.firstColumn == firstColumn && r.lastRow == lastRow &&
            r.lastColumn == lastColumn) {
            if (last.count == kMaxConditions)
                return fail(w, {"Troppe condizioni (al massimo 3) per lo stesso intervallo in "
                                "xlsAddCondition().\n"});
            c = &last;
        }
    }
    if (c == nullptr && o.conditionalCount == kMaxConditionalRanges)
        return fail(w, {"Troppi intervalli con formati condizionali (al massimo 16) in "
                        "xlsAddCondition().\n"});
    Sheet::Conditional &target = c != nullptr ? *c : o.conditionals[o.conditionalCount];
    BoundedText<kConditionSize> &b = target.conditions[c != nullptr ? c->count : 0];
    b.assign("   <Condition>\n    ");
    if (!how.empty()) b.append("<Qualifier>").append(how).append("</Qualifier>");
    bool whole = element(b, "Value1", first, w.settings.encoding) &&
                 (!between || element(b, "Value2", second, w.settings.encoding));
    b.append("\n    <Format Style=\"");
    whole = whole && append_escaped(b, arg(format), Place::attribute, w.settings.encoding);
    b.append("\"/>\n   </Condition>\n");
    if (!whole || b.was_cut())
        return fail(w, {"Condizione troppo lunga (piu' di 512 byte) in xlsAddCondition().\n"});
    if (c != nullptr) {
        c->count++;
    } else {
        target.range = range;
        target.count = 1;
        o.conditionalCount++;
    }
    return kYes;
}

extern "C" int xlsSetActiveSheet(int sheet) noexcept {
    if (!attached()) return kNo;
    WriterState &w = current();
    if (w.out.is_open())
        return fail(w, {"Non si puo' scegliere il foglio attivo a questo punto in "
                        "xlsSetActiveSheet(): va scelto prima di aprire la cartella.\n"});
    if (sheet < -1 || sheet >= kMaxSheets)
        return fail(w, {"Foglio errato in xlsSetActiveSheet().\n"});
    w.settings.activeSheet = sheet;
    return kYes;
}
