// The C++ interface, built as C++17: the same bytes as the C calls, failures as exceptions
// with the library's message, closing on scope exit, and no heap allocation per cell.
#include <atomic>
#include <cstdlib>
#include <functional>
#include <limits>
#include <new>
#include <thread>
#include <vector>

#include "gridquill.hpp"
#include "support.hpp"

static_assert(__cplusplus == 201703L, "this program proves that gridquill.hpp builds as C++17");

// Every allocation of the program is counted, to show that the cell path makes none.
static std::atomic<long> allocations{0};
void *operator new(std::size_t n) {
    ++allocations;
    if (void *p = std::malloc(n != 0 ? n : 1)) return p;
    throw std::bad_alloc();
}
void *operator new(std::size_t n, const std::nothrow_t &) noexcept {
    ++allocations;
    return std::malloc(n != 0 ? n : 1);
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // these are the matching pair
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

using namespace gqtest;
namespace gq = gridquill;

namespace {

class CppInterface : public TempDirTest {};

std::vector<std::string> cell_lines(const std::string &text) {
    std::vector<std::string> lines;
    for (std::size_t at = text.find("    <Cell "); at != std::string::npos;
         at = text.find("    <Cell ", at + 1))
        lines.push_back(text.substr(at, text.find('\n', at) + 1 - at));
    return lines;
}

// The message of the Error that f throws ("no exception" when it throws none).
std::string refusal(const std::function<void()> &f) {
    try {
        stderr_of(f);
    } catch (const gq::Error &e) {
        ::testing::internal::GetCapturedStderr();
        return e.what();
    }
    return "no exception";
}

}  // namespace

TEST_F(CppInterface, WritesTheBytesOfTheEquivalentCCalls) {
    {
        gq::Workbook wb("cpp.xml", "Autore");
        wb.style(gq::Style("s2")
                     .bold()
                     .size(12)
                     .font_color("#FF0000")
                     .border_bottom(2)
                     .border_color("#000000")
                     .fill("#FFFF00")
                     .number_format("Short Date")
                     .wrap()
                     .rotate(45));
        wb.style(gq::Style("plain"));
        wb.sheet("Conti",
                 gq::SheetSetup().header("Conti \xc3\xa8").portrait().margins("0", "1", "2", "3"));
        wb.column(2, 120, "num");
        std::string_view text = "Dare & Avere <2>|not this";
        wb.cell(text.substr(0, 16), "s2").cell(7, gq::CellOptions().merge(1, 2).skip(1));
        wb.next_row(gq::RowOptions().skip(2).height(30).style("txt"));
        wb.cell(gq::DateTime(2024, 2, 29, 13, 5, 9), "date")
            .cell(0, gq::CellOptions().style("num").formula("=SUM(R[-3]C:R[-1]C)"));
    }
    xlsStyle s2 = xlsStyleDefault, plain = xlsStyleDefault;
    s2.bold = '1';
    s2.fontSize = 12;
    std::strcpy(s2.fontColor, "#FF0000");
    s2.weightBottom = 2;
    std::strcpy(s2.borderColor, "#000000");
    std::strcpy(s2.interiorColor, "#FFFF00");
    std::strcpy(s2.numberFormat, "Short Date");
    s2.wrapText = '1';
    s2.rotate = 45;
    plain.pattern[0] = '\0';
    std::strcpy(plain.numberFormat, "General");
    xlsSheetSetup setup = xlsSheetSetupDefault;
    std::strcpy(setup.header, "Conti \xe8");
    setup.orientation = 'P';
    std::strcpy(setup.marginTop, "0");
    std::strcpy(setup.marginLeft, "2");
    std::strcpy(setup.marginRight, "3");
    ASSERT_EQ(xlsInit("c.xml", "Autore"), -1);
    xlsAddStyle(s2, "s2");
    xlsAddStyle(plain, "plain");
    xlsAddSheet("Conti", setup);
    xlsColumn(2, 120, "num");
    xlsWriteCell("Dare & Avere <2>", 'S', "s2");
    xlsWriteCellEx("7", 'N', "", "", 1, 1, 2);
    xlsNewLineEx(2, 30, "txt");
    xlsWriteCell("2024-02-29T13:05:09.000", 'D', "date");
    xlsWriteCellEx("0", 'N', "num", "=SUM(R[-3]C:R[-1]C)", 0, 0, 0);
    ASSERT_EQ(xlsClose(), -1);

    EXPECT_EQ(xml_error("cpp.xml"), "");
    EXPECT_TRUE(
        same_bytes(without_created(read_file("c.xml")), without_created(read_file("cpp.xml"))));
}

TEST_F(CppInterface, WorksheetFeaturesWriteTheBytesOfTheEquivalentCCalls) {
    xlsValidation rule{};
    rule.type = "Whole";
    rule.qualifier = "Between";
    rule.value1 = "1";
    rule.value2 = "9";
    {
        gq::Workbook wb("cpp.xml", "A");
        wb.sheet("S").freeze(1, 2).autofilter(1, 1, 0, 3).select(4, 2).tab_color(0xFF0000);
        wb.zoom(150).display(XLS_DISPLAY_NO_GRIDLINES).protect().print_layout(0, 1, 0, 9);
        wb.page_break(10, 2).validation(2, 1, 0, 1, rule);
        wb.condition(1, 2, 0, 2, "Less", "0", "", "color:#FF0000");
        wb.link("#S!A1", "Vai").comment("Nota", "Anna", true).formula("=1+1", 2);
        wb.next_row().hide_row().cell(1);
        wb.sheet("T").hide_sheet(2).cell(1);
    }
    ASSERT_EQ(xlsInit("c.xml", "A"), -1);
    xlsAddSheet("S", xlsSheetSetupDefault);
    xlsFreezePanes(1, 2);
    xlsAutoFilter(1, 1, 0, 3);
    xlsSelectCell(4, 2);
    xlsSetTabColor(0xFF0000);
    xlsSetZoom(150);
    xlsSetDisplay(XLS_DISPLAY_NO_GRIDLINES);
    xlsProtectSheet();
    xlsSetPrintLayout(0, 1, 0, 9);
    xlsAddPageBreak(10, 2);
    xlsAddValidation(2, 1, 0, 1, rule);
    xlsAddCondition(1, 2, 0, 2, "Less", "0", "", "color:#FF0000");
    xlsSetCellLink("#S!A1", "Vai");
    xlsSetCellComment("Nota", "Anna", 1);
    xlsWriteFormula("=1+1", 2, "");
    xlsNewLine();
    xlsHideRow();
    xlsWriteCell("1", 'N', "");
    xlsAddSheet("T", xlsSheetSetupDefault);
    xlsHideSheet(2);
    xlsWriteCell("1", 'N', "");
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_EQ(xml_error("cpp.xml"), "");
    EXPECT_TRUE(
        same_bytes(without_created(read_file("c.xml")), without_created(read_file("cpp.xml"))));
}

TEST_F(CppInterface, NumbersAreShortestRoundTripTexts) {
    {
        gq::Workbook wb("n.xml");
        wb.sheet("N");
        wb.cell(1234.5)
            .cell(0.1)
            .cell(0.1f)
            .cell(1e20)
            .cell(1e-7)
            .cell(-0.0)
            .cell(2.0 / 3)
            .cell(std::numeric_limits<long long>::min())
            .cell(std::numeric_limits<unsigned long long>::max())
            .cell(static_cast<short>(-5))
            .cell(gq::DateTime(1, 1, 1))
            .cell(gq::DateTime(9999, 12, 31, 23, 59, 59))
            .cell(true);
    }
    const char *expected[] = {"1234.5",
                              "0.1",
                              "0.1",
                              "1e+20",
                              "1e-07",
                              "-0",
                              "0.6666666666666666",
                              "-9223372036854775808",
                              "18446744073709551615",
                              "-5"};
    std::string text = read_file("n.xml");
    std::vector<std::string> lines = cell_lines(text);
    ASSERT_EQ(lines.size(), 13u);
    for (std::size_t i = 0; i < 10; ++i)
        EXPECT_EQ(lines[i], std::string("    <Cell ><Data ss:Type=\"Number\">") + expected[i] +
                                "</Data></Cell>\n");
    EXPECT_EQ(lines[10],
              "    <Cell ><Data ss:Type=\"DateTime\">0001-01-01T00:00:00.000</Data></Cell>\n");
    EXPECT_EQ(lines[11],
              "    <Cell ><Data ss:Type=\"DateTime\">9999-12-31T23:59:59.000</Data></Cell>\n");
    EXPECT_EQ(lines[12], "    <Cell ><Data ss:Type=\"Boolean\">1</Data></Cell>\n");
    EXPECT_EQ(xml_error("n.xml"), "");
}

TEST_F(CppInterface, LibraryRefusalsThrowItsMessage) {
    std::string own = xlsGetError();  // the thread's own state: a workbook's are apart
    EXPECT_EQ(refusal([] { gq::Workbook("missing/x.xml"); }),
              "Errore in apertura del file 'missing/x.xml': No such file or directory\n");
    gq::Workbook wb("e.xml");
    wb.sheet("A").cell("x");
    struct Case {
        std::function<void()> call;
        const char *message;
    } cases[] = {
        {[&] { wb.cell("x", "nope"); }, "ID stile 'nope' errato o mancante in xlsWriteCell().\n"},
        {[&] { wb.sheet("A"); }, "Nome Sheet 'A' duplicato in xlsAddSheet().\n"},
        {[&] { wb.style(gq::Style("late")); },
         "Non si puo' aggiungere uno stile con 'xlsAddStyle()' a questo punto.\n"},
        {[&] { wb.column(1, 50); },
         "Non si puo' aggiungere una definizione Colonna a questo punto\n"},
        {[&] { wb.next_row(gq::RowOptions().style("nope")); },
         "ID stile 'nope' errato o mancante in xlsNewLine().\n"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(refusal(c.call), c.message);
        EXPECT_EQ(xlsGetError(), own);
    }
}

TEST_F(CppInterface, TextsThatWouldBeCutOrMisreadAreRefused) {
    std::string fits(gq::kMaxCellUnits - 2, 'a');
    fits += "\xF0\x9F\x98\x80";  // two UTF-16 units: exactly the limit
    {
        gq::Workbook wb("t.xml");
        wb.sheet("T");
        using namespace std::string_literals;
        struct Case {
            std::function<void()> call;
            const char *message;
        } cases[] = {
            {[&] { wb.cell(fits + "\xC3\xA8"); },
             "Testo troppo lungo per una cella (32768 unita' UTF-16, al massimo 32767)\n"},
            {[&] { wb.cell("a\0b"s); }, "Carattere nullo nel testo per una cella\n"},
            {[&] { wb.number("1250,50"); }, "Testo '1250,50' non valido per una cella Number\n"},
            {[&] { wb.number(" 12 "); }, "Testo ' 12 ' non valido per una cella Number\n"},
            {[&] { wb.number("1_000"); }, "Testo '1_000' non valido per una cella Number\n"},
            {[&] { wb.number("1e"); }, "Testo '1e' non valido per una cella Number\n"},
            {[&] { wb.cell(std::numeric_limits<double>::quiet_NaN()); },
             "Numero non finito per una cella Number\n"},
            {[&] { wb.cell(-std::numeric_limits<float>::infinity()); },
             "Numero non finito per una cella Number\n"},
            {[&] { wb.cell(gq::DateTime(2023, 2, 29)); }, "Data non valida: 2023-2-29 0:0:0\n"},
            {[&] { wb.cell(gq::DateTime(2024, 1, 1, 24)); }, "Data non valida: 2024-1-1 24:0:0\n"},
            {[&] { wb.cell(1, gq::CellOptions().formula(std::string(1025, '1'))); },
             "Testo troppo lungo per la formula (1025 byte, al massimo 1024)\n"},
            {[&] { wb.sheet(std::string(32, 'n')); },
             "Testo troppo lungo per il nome del foglio (32 caratteri, al massimo 31)\n"},
            {[] { gq::Style("sixteen-chars-id"); },
             "Testo troppo lungo per l'ID dello stile (16 byte, al massimo 15)\n"},
            {[] { gq::Style("s").size(256); },
             "Valore fuori dall'intervallo 0-255 per la dimensione del carattere: 256\n"},
            {[] { gq::SheetSetup().header(std::string(128, 'h')); },
             "Testo troppo lungo per l'intestazione (128 byte, al massimo 127)\n"},
        };
        for (const Case &c : cases) EXPECT_EQ(refusal(c.call), c.message);
        wb.number("-1250.5e-3");
        wb.next_row();
        wb.cell(fits);
    }
    std::string text = read_file("t.xml");
    ASSERT_EQ(cell_lines(text).size(), 2u);
    EXPECT_EQ(cell_lines(text)[0], "    <Cell ><Data ss:Type=\"Number\">-1250.5e-3</Data></Cell>\n");
    EXPECT_TRUE(cell_lines(text)[1] == "    <Cell ><Data ss:Type=\"String\">" + fits + "</Data></Cell>\n");
    EXPECT_EQ(xml_error("t.xml"), "");
}

TEST_F(CppInterface, WorkbooksAtOnceInAnyThreadsWriteWhatEachWritesAlone) {
    auto step = [](gq::Workbook &wb, int i) {
        if (i == 0) wb.sheet("S").cell(1.5).cell("x");
        if (i == 1) wb.next_row().cell(wb.position()).cell(wb.range(1, 1, 1, 2));
    };
    {
        gq::Workbook alone("alone.xml", "A");
        step(alone, 0), step(alone, 1);
    }
    {
        gq::Workbook a("a.xml", "A"), b("b.xml", "A"), c("c.xml", "A");
        for (int i = 0; i < 2; ++i) step(a, i), step(b, i);
        std::thread([&] { step(c, 0), step(c, 1); }).join();
    }
    for (const char *path : {"a.xml", "b.xml", "c.xml"}) {
        EXPECT_TRUE(same_bytes(without_created(read_file("alone.xml")),
                               without_created(read_file(path))));
        EXPECT_EQ(xml_error(path), "");
    }
}

TEST_F(CppInterface, ScopeExitLeavesAClosedWellFormedWorkbook) {
    const char *tail =
        "    <Cell ><Data ss:Type=\"String\"></Data></Cell>\n   </Row>\n  </Table>\n";
    struct Case {
        const char *path;
        std::function<void(gq::Workbook &)> steps;
        const char *sheet;  // the start of the last worksheet
        bool completed;     // an empty cell was added to close it
    } cases[] = {
        {"cells.xml", [](gq::Workbook &wb) { wb.sheet("A").cell(1); },
         " <Worksheet ss:Name=\"A\" >", false},
        {"empty.xml", [](gq::Workbook &wb) { wb.sheet("A").cell(1).sheet("B"); },
         " <Worksheet ss:Name=\"B\" >", true},
        {"none.xml", [](gq::Workbook &) {}, " <Worksheet ss:Name=\"NoName\" >", true},
    };
    for (const Case &c : cases) {
        try {
            gq::Workbook wb(c.path);
            stderr_of([&] { c.steps(wb); });
        } catch (const gq::Error &) {
            ::testing::internal::GetCapturedStderr();
        }
        std::string text = read_file(c.path);
        EXPECT_EQ(xml_error(c.path), "") << c.path;
        EXPECT_EQ(text.substr(text.size() - 12), "</Workbook>\n") << c.path;
        std::size_t last = text.rfind(" <Worksheet ");
        EXPECT_EQ(text.compare(last, std::strlen(c.sheet), c.sheet), 0) << c.path;
        EXPECT_EQ(text.find(tail) != std::string::npos, c.completed) << c.path;
    }

    // Unwound by an exception, a workbook leaves the old file, or none, and no other.
    write_file("old.xml", "old");
    for (const char *path : {"thrown.xml", "old.xml"}) {
        stderr_of([&] { EXPECT_THROW(gq::Workbook(path).sheet("A").cell(1).sheet("A"), gq::Error); });
        EXPECT_EQ(read_file(path), path[0] == 'o' ? "old" : "") << path;
    }
    namespace fs = std::filesystem;  // and no temporary file beside them
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 4);

    gq::Workbook wb("closed.xml");
    wb.sheet("A");
    EXPECT_EQ(refusal([&] { wb.close(); }), "Non si puo' chiudere Excel a questo punto.\n");
    EXPECT_TRUE(wb.is_open());
    wb.cell("x").close();
    EXPECT_FALSE(wb.is_open());
    EXPECT_EQ(refusal([&] { wb.cell("y"); }), "La cartella di lavoro e' chiusa\n");
    EXPECT_EQ(xml_error("closed.xml"), "");
}

TEST_F(CppInterface, CellsAllocateNothing) {
    gq::Workbook wb("heap.xml");
    wb.style(gq::Style("money").number_format("#,##0.00"));
    wb.sheet("Heap");
    std::string long_text(3000, 'x');
    long before = allocations;
    for (int row = 0; row < 50; ++row) {
        wb.cell(std::string_view(long_text).substr(0, 10 + row), "txt")
            .cell(row)
            .cell(row * 0.37, gq::CellOptions().style("money").skip(1))
            .cell(gq::DateTime(2024, 1, 1 + row % 28), "date")
            .cell(0, gq::CellOptions().formula("=SUM(RC[-4]:RC[-2])").merge(1, 0));
        wb.next_row(gq::RowOptions().height(20));
    }
    EXPECT_EQ(allocations - before, 0);
    wb.close();
    EXPECT_EQ(xml_error("heap.xml"), "");
}

TEST_F(CppInterface, MergeDropsMarkedSheetsAndAddsItsOwn) {
    {
        gq::Workbook wb("in.xml");
        wb.style(gq::Style("money").number_format("#,##0.00"));
        wb.sheet("A").cell(1).sheet("B").cell(2);
    }
    {
        auto wb = gq::Workbook::merge("in.xml", "out.xml");
        wb.style(gq::Style("new").italic());
        wb.drop_sheet("B").sheet("C").cell(3.5, "money").cell("x", "new");
        EXPECT_EQ(refusal([&] { wb.drop_sheet(""); }), "Manca il nome del foglio da togliere\n");
    }
    std::string text = read_file("out.xml");
    EXPECT_EQ(xml_error("out.xml"), "");
    EXPECT_NE(text.find(" <Worksheet ss:Name=\"A\" >"), std::string::npos);
    EXPECT_EQ(text.find(" <Worksheet ss:Name=\"B\" >"), std::string::npos);
    EXPECT_NE(text.find(" <Worksheet ss:Name=\"C\" >"), std::string::npos);
    EXPECT_NE(text.find("    <Cell ss:StyleID=\"money\" ><Data ss:Type=\"Number\">3.5</Data></Cell>\n"),
              std::string::npos);
    EXPECT_EQ(refusal([] { gq::Workbook::merge("missing.xml", "o.xml"); }).rfind("Errore", 0), 0u);
}
