// Cells: the worked example, type letters, skip and merge attributes, style and phase
// refusals, formulas whole up to 1024 characters, and values escaped, converted and cut
// so that the XML stays well-formed.
#include <sys/mman.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <functional>

#include "support.hpp"
#include "writer_util.hpp"

using namespace gqtest;

namespace {

class Cell : public TempDirTest {};

TEST_F(Cell, WorkedExampleOfThreeCells) {
    open_with_sheet();
    ASSERT_EQ(xlsWriteCell("a", 'S', ""), -1);
    ASSERT_EQ(xlsNewLine(), -1);
    ASSERT_EQ(xlsWriteCell("Campo 1", 'S', ""), -1);
    ASSERT_EQ(xlsWriteCellEx("Dare & Avere <2>", 's', "txt", "", 2, 1, 1), -1);
    ASSERT_EQ(xlsWriteCellEx("0", 'n', "num", "=SUM(R[-3]C:R[-1]C)", 0, 0, 0), -1);
    ASSERT_EQ(xlsWriteCellEx("z", 'S', "", "", 1, 0, 0), -1);  // column 7 + 1
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_TRUE(same_bytes(
        one_sheet("   <Row>\n" + cell("a") + "   </Row>\n"
                  "   <Row>\n"
                  "    <Cell ><Data ss:Type=\"String\">Campo 1</Data></Cell>\n"
                  "    <Cell ss:MergeAcross=\"1\" ss:MergeDown=\"1\" ss:Index=\"4\" ss:StyleID=\"txt\" >"
                  "<Data ss:Type=\"String\">Dare &amp; Avere &lt;2&gt;</Data></Cell>\n"
                  "    <Cell ss:Formula=\"=SUM(R[-3]C:R[-1]C)\" ss:StyleID=\"num\" >"
                  "<Data ss:Type=\"Number\">0</Data></Cell>\n"
                  "    <Cell ss:Index=\"8\" ><Data ss:Type=\"String\">z</Data></Cell>\n"),
        body_of()));
}

struct Step {
    const char *what;
    std::function<int()> call;
    std::string line;
};

// Runs the steps in one worksheet; each must succeed and the rows must be `rows`.
void expect_rows(const std::vector<Step> &steps) {
    open_with_sheet();
    std::string rows = "   <Row>\n";
    for (const Step &s : steps) {
        EXPECT_EQ(s.call(), -1) << s.what;
        rows += s.line;
    }
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_TRUE(same_bytes(one_sheet(rows), body_of()));
}

TEST_F(Cell, TypesSkipsAndMerges) {
    auto ex = [](char type, const char *style, int skip, int across, int down) {
        return [=] { return xlsWriteCellEx("1", type, style, "", skip, across, down); };
    };
    auto line = [](std::string_view attrs, std::string_view type = "String") {
        return "    <Cell " + std::string(attrs) + "><Data ss:Type=\"" + std::string(type) +
               "\">1</Data></Cell>\n";
    };
    expect_rows({
        {"n", ex('n', "", 0, 0, 0), line("", "Number")},
        {"N", ex('N', "", 0, 0, 0), line("", "Number")},
        {"d", ex('d', "", 0, 0, 0), line("", "DateTime")},
        {"D", ex('D', "", 0, 0, 0), line("", "DateTime")},
        {"S", ex('S', "", 0, 0, 0), line("")},
        {"s", ex('s', "", 0, 0, 0), line("")},
        {"X", ex('X', "", 0, 0, 0), line("")},
        {"blank", ex(' ', "", 0, 0, 0), line("")},
        {"styled number", ex('N', "num", 0, 0, 0), line("ss:StyleID=\"num\" ", "Number")},
        {"skip -1 is 0", ex('S', "", -1, 0, 0), line("")},
        {"skip 201 is 0", ex('S', "", 201, 0, 0), line("")},
        {"skip 200 from column 12", ex('S', "", 200, 0, 0), line("ss:Index=\"212\" ")},
        {"new line", [] { return xlsNewLine(); }, "   </Row>\n   <Row>\n"},
        {"merge across 2 in column 1", ex('S', "", 0, 2, 0), line("ss:MergeAcross=\"2\" ")},
        {"lands after the merged columns", ex('S', "", 2, 0, 0), line("ss:Index=\"6\" ")},
        {"both merges", ex('S', "", 0, 2, 3), line("ss:MergeAcross=\"2\" ss:MergeDown=\"3\" ")},
        {"down alone", ex('S', "", 0, 0, 3), line("ss:MergeDown=\"3\" ")},
        {"negative counts", ex('S', "", 0, -1, -5), line("")},
    });
}

TEST_F(Cell, ValuesAreEscapedAndConverted) {
    auto value = [](const char *v) { return [=] { return xlsWriteCell(v, 'S', ""); }; };
    expect_rows({
        {"ampersand", value("A&B"), cell("A&amp;B")},
        {"entity escaped again", value("&lt;"), cell("&amp;lt;")},
        {"empty", value(""), cell("")},
        {"all three", value("<>&"), cell("&lt;&gt;&amp;")},
        {"quotes kept", value("\"x\" 'y'"), cell("\"x\" 'y'")},
        {"controls", value("a\tb\nc\r"), cell("a b c ")},
        {"Latin-1", value("\xE8\xFF"), cell("\xC3\xA8\xC3\xBF")},
        {"formula unescaped",
         [] { return xlsWriteCellEx("1", 'N', "", "=IF(RC[-1]&lt;2,1,0)&amp;&quot;&gt;&quot;", 0, 0, 0); },
         "    <Cell ss:Formula=\"=IF(RC[-1]&lt;2,1,0)&amp;&quot;&gt;&quot;\" ><Data ss:Type=\"Number\">1</Data></Cell>\n"},
    });
}

// A value is measured and copied without reading past its terminator's page: each value
// here, plain or escaped, ends on the last byte before an unreadable page.
TEST_F(Cell, ValuesEndingAtAnUnreadablePageAreWrittenWhole) {
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void *map = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    char *end = static_cast<char *>(map) + page;
    ASSERT_EQ(mprotect(end, page, PROT_NONE), 0);
    open_with_sheet();
    std::string rows;
    for (std::size_t n = 0; n <= 40; ++n) {  // every offset from the alignment, 1 to 3 blocks
        std::string value = rep(n, n % 3 == 0 ? "&" : "b");
        std::memcpy(end - n - 1, value.c_str(), n + 1);
        ASSERT_EQ(n == 0 || xlsNewLine() == -1, true);
        ASSERT_EQ(xlsWriteCell(end - n - 1, 'S', ""), -1) << n;
        if (n > 0) rows += "   </Row>\n";
        rows += "   <Row>\n" + cell(n % 3 == 0 ? rep(n, "&amp;") : value);
    }
    ASSERT_EQ(xlsClose(), -1);
    munmap(map, 2 * page);
    EXPECT_TRUE(same_bytes(one_sheet(rows), body_of()));
}

TEST_F(Cell, ValuesAroundTheCutPointsStayWellFormed) {
    const std::string e8 = "\xE8", u8 = "\xC3\xA8";
    struct Case {
        const char *what;
        std::string in, out;
    } cases[] = {
        {"5000 letters", rep(5000), rep(3996)},
        {"3995 letters and a sequence", rep(3995) + e8, rep(3995) + u8},
        {"sequence then the stop", rep(3994) + e8 + "a", rep(3994) + u8},
        {"entity ends at 3996", rep(3991) + "&", rep(3991) + "&amp;"},
        {"entity split by the stop", rep(3992) + "&", rep(3992)},
        {"bare ampersand left by the replacement", rep(3995) + "&", rep(3995)},
        {"ampersand past the stop", rep(3996) + "&", rep(3996)},
        {"less-than split", rep(3995) + "<", rep(3995)},
        {"greater-than kept", rep(3990) + ">" + rep(10, "b"), rep(3990) + "&gt;bb"},
        {"amp of an escaped letter", rep(3993) + "&x", rep(3993)},
        {"only ampersands", rep(5000, "&"), rep(799, "&amp;")},
        {"accents then ampersand", rep(1997, e8) + "&a", rep(1997, u8)},
    };
    open_with_sheet();
    std::string rows = "   <Row>\n";
    for (const Case &c : cases) {
        ASSERT_EQ(xlsWriteCell(c.in.c_str(), 'S', ""), -1) << c.what;
        rows += cell(c.out);
    }
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_TRUE(same_bytes(one_sheet(rows), body_of()));
}

TEST_F(Cell, TheLongestLineIsWrittenWhole) {
    const std::string formula = std::string("=").append(rep(1023, "1"));
    open_with_sheet();
    ASSERT_EQ(xlsNewLineEx(200, 199, "date"), -1);
    // The merges reach the grid's last column and row.
    ASSERT_EQ(xlsWriteCellEx(rep(2000, "\xE8").c_str(), 'd', "Default", formula.c_str(), 200,
                             55, 1048374),
              -1);
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_TRUE(same_bytes(
        one_sheet("   <Row ss:Index=\"202\"  ss:AutoFitHeight=\"0\" ss:Height=\"199\"  ss:StyleID=\"date\" >\n"
                  "    <Cell ss:MergeAcross=\"55\" ss:MergeDown=\"1048374\" ss:Index=\"201\" "
                  "ss:Formula=\"" + formula + "\" ss:StyleID=\"Default\" ><Data ss:Type=\"DateTime\">" +
                  rep(1998, "\xC3\xA8") + "</Data></Cell>\n"),
        body_of()));
}

TEST_F(Cell, FormulasOver1024CharactersAreRefused) {
    const std::string longest = std::string("=").append(rep(1023, "2")), over = longest + "2";
    open_with_sheet();
    std::string err = stderr_of([&] {
        EXPECT_EQ(xlsWriteCellEx("1", 'N', "", over.c_str(), 0, 0, 0), 0);
    });
    EXPECT_EQ(err, "Formula troppo lunga (piu' di 1024 caratteri) in xlsWriteCell().\n");
    EXPECT_EQ(xlsGetError(), err);
    ASSERT_EQ(xlsWriteCellEx("1", 'N', "", longest.c_str(), 1, 0, 0), -1);
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_TRUE(same_bytes(one_sheet("   <Row>\n    <Cell ss:Index=\"2\" ss:Formula=\"" + longest +
                                     "\" ><Data ss:Type=\"Number\">1</Data></Cell>\n"),
                           body_of()));
}

TEST_F(Cell, RefusalsWriteNothingAndMoveNothing) {
    ASSERT_EQ(xlsInit("out.xml", kAuthor.data()), -1);
    const std::string phase = "Non si puo' scrivere una cella a questo punto\n";
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsWriteCell("x", 'S', ""), 0); }), phase);
    ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
    const std::string longId(300, 'i');
    for (const std::string &style : {std::string("zz"), std::string("um"), std::string("t,d"),
                                     std::string("Num"), longId}) {
        // A message longer than the error text's 254 characters is cut.
        std::string err = ("ID stile '" + style + "' errato o mancante in xlsWriteCell().\n").substr(0, 254);
        EXPECT_EQ(stderr_of([&] { EXPECT_EQ(xlsWriteCellEx("x", 'S', style.c_str(), "", 1, 0, 0), 0); }), err);
        EXPECT_EQ(xlsGetError(), err);
    }
    ASSERT_EQ(xlsWriteCellEx("x", 'S', "date", "", 1, 0, 0), -1);
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsWriteCell("x", 'S', ""), 0); }), phase);
    // No row start tag from the refusals; the column is still 1 before the skip.
    EXPECT_TRUE(same_bytes(one_sheet("   <Row>\n    <Cell ss:Index=\"2\" ss:StyleID=\"date\" >"
                                     "<Data ss:Type=\"String\">x</Data></Cell>\n"),
                           body_of()));
}

}  // namespace
