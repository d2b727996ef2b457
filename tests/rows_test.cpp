// Row breaks and column definitions: the pending row attributes and their ranges, the
// row end, the unknown-style refusal that moves nothing, and the column line rules.
#include <functional>

#include "support.hpp"
#include "writer_util.hpp"

using namespace gqtest;

namespace {

class Rows : public TempDirTest {};

int put(const char *v) { return xlsWriteCell(v, 'S', ""); }

struct Case {
    const char *what;
    std::function<void()> calls;
    std::string rows;  // the table's rows, the last one left open
};

TEST_F(Rows, BreaksShapeTheNextRow) {
    const Case cases[] = {
        {"worked example from row 4",
         [] {
             put("1"), xlsNewLine(), put("2"), xlsNewLine(), put("3"), xlsNewLine(), put("4");
             xlsNewLineEx(2, 30, "txt"), put("7");
         },
         "   <Row>\n" + cell("1") + "   </Row>\n   <Row>\n" + cell("2") + "   </Row>\n   <Row>\n" +
             cell("3") + "   </Row>\n   <Row>\n" + cell("4") +
             "   </Row>\n   <Row ss:Index=\"7\"  ss:AutoFitHeight=\"0\" ss:Height=\"30\"  ss:StyleID=\"txt\" >\n" +
             cell("7")},
        {"two breaks leave no empty row",
         [] { put("a"), xlsNewLineEx(0, 20, ""), xlsNewLine(), put("b"), put("c"); },
         "   <Row>\n" + cell("a") + "   </Row>\n   <Row>\n" + cell("b") + cell("c")},
        {"only the second break's attributes",
         [] { put("a"), xlsNewLineEx(1, 20, "num"), xlsNewLineEx(0, 0, "txt"), put("b"); },
         "   <Row>\n" + cell("a") + "   </Row>\n   <Row ss:StyleID=\"txt\" >\n" + cell("b")},
        {"skip 2 from row 1", [] { put("a"), xlsNewLineEx(2, 0, ""), put("b"); },
         "   <Row>\n" + cell("a") + "   </Row>\n   <Row ss:Index=\"4\" >\n" + cell("b")},
        {"skip 201 moves one row, as the file does",
         [] { put("a"), xlsNewLineEx(200, 0, ""), put("b"), xlsNewLineEx(201, 0, ""), put("c"),
              xlsNewLineEx(1, 0, ""), put("d"); },
         "   <Row>\n" + cell("a") + "   </Row>\n   <Row ss:Index=\"202\" >\n" + cell("b") +
             "   </Row>\n   <Row>\n" + cell("c") + "   </Row>\n   <Row ss:Index=\"205\" >\n" + cell("d")},
        {"skip -1 moves one row, as the file does",
         [] { put("a"), xlsNewLineEx(-1, 0, ""), put("b"), xlsNewLineEx(1, 0, ""), put("c"); },
         "   <Row>\n" + cell("a") + "   </Row>\n   <Row>\n" + cell("b") +
             "   </Row>\n   <Row ss:Index=\"4\" >\n" + cell("c")},
        {"heights 199, 200, 0",
         [] { xlsNewLineEx(0, 199, ""), put("a"), xlsNewLineEx(0, 200, ""), put("b"),
              xlsNewLineEx(0, 0, ""), put("c"); },
         "   <Row ss:AutoFitHeight=\"0\" ss:Height=\"199\" >\n" + cell("a") + "   </Row>\n   <Row>\n" +
             cell("b") + "   </Row>\n   <Row>\n" + cell("c")},
        {"break right after the start shapes row 1", [] { xlsNewLineEx(0, 25, ""), put("a"); },
         "   <Row ss:AutoFitHeight=\"0\" ss:Height=\"25\" >\n" + cell("a")},
        {"pending attributes are used once",
         [] { put("a"), xlsNewLineEx(0, 0, "Default"), put("b"), put("c"), xlsNewLine(), put("d"); },
         "   <Row>\n" + cell("a") + "   </Row>\n   <Row ss:StyleID=\"Default\" >\n" + cell("b") +
             cell("c") + "   </Row>\n   <Row>\n" + cell("d")},
    };
    for (const Case &c : cases) {
        open_with_sheet();
        c.calls();
        ASSERT_EQ(xlsClose(), -1) << c.what;
        EXPECT_TRUE(same_bytes(one_sheet(c.rows), body_of())) << c.what;
    }
}

TEST_F(Rows, UnknownStyleChangesNothing) {
    open_with_sheet();
    put("1"), put("2"), xlsNewLineEx(0, 40, "");  // pending height for the next row
    put("3");
    for (const char *style : {"zz", "um", "Def"}) {
        std::string expected = "ID stile '" + std::string(style) + "' errato o mancante in xlsNewLine().\n";
        EXPECT_EQ(stderr_of([&] { EXPECT_EQ(xlsNewLineEx(3, 10, style), 0); }), expected);
        EXPECT_EQ(xlsGetError(), expected);
    }
    // Same open row, column 2 after "3", so a skip of 1 gives index 3; row number still 2.
    ASSERT_EQ(xlsWriteCellEx("4", 'S', "", "", 1, 0, 0), -1);
    ASSERT_EQ(xlsNewLineEx(1, 0, ""), -1);
    put("5");
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_TRUE(same_bytes(one_sheet("   <Row>\n" + cell("1") + cell("2") +
                                     "   </Row>\n   <Row ss:AutoFitHeight=\"0\" ss:Height=\"40\" >\n" +
                                     cell("3") + "    <Cell ss:Index=\"3\" ><Data ss:Type=\"String\">4</Data></Cell>\n"
                                     "   </Row>\n   <Row ss:Index=\"4\" >\n" + cell("5")),
                           body_of()));
}

TEST_F(Rows, PhaseRulesOfBreaksAndColumns) {
    const std::string breakPhase = "Non si puo' saltare una linea a questo punto.\n";
    const std::string columnPhase = "Non si puo' aggiungere una definizione Colonna a questo punto\n";
    const std::string columnNumber = "Numero di colonna errato in xlsColumn()\n";
    ASSERT_EQ(xlsInit("out.xml", kAuthor.data()), -1);
    struct Refusal {
        std::function<int()> call;
        std::string err;
    };
    auto refused = [](const std::vector<Refusal> &list) {
        for (const Refusal &r : list) {
            EXPECT_EQ(stderr_of([&] { EXPECT_EQ(r.call(), 0); }), r.err);
            EXPECT_EQ(xlsGetError(), r.err);
        }
    };
    refused({{[] { return xlsNewLine(); }, breakPhase},
             {[] { return xlsNewLineEx(1, 1, "zz"); }, breakPhase},
             {[] { return xlsColumn(0, 10, ""); }, columnNumber},
             {[] { return xlsColumn(1, 10, ""); }, columnPhase}});
    ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsColumn(1, 80, ""), -1);
    ASSERT_EQ(xlsColumn(2, 120, "txt"), -1);
    ASSERT_EQ(xlsColumn(256, 0, "num"), -1);
    refused({{[] { return xlsColumn(0, 10, ""); }, columnNumber},
             {[] { return xlsColumn(3, -5, ""); }, "Larghezza di colonna negativa in xlsColumn().\n"},
             {[] { return xlsColumn(257, 10, ""); }, columnNumber},
             {[] { return xlsColumn(3, 10, "zz"); }, "ID stile 'zz' errato o mancante.\n"},
             {[] { return xlsColumn(3, 10, "um"); }, "ID stile 'um' errato o mancante.\n"}});
    ASSERT_EQ(xlsNewLine(), -1);
    ASSERT_EQ(xlsColumn(3, 30, ""), -1);  // still before the first cell
    put("a");
    refused({{[] { return xlsColumn(4, 10, ""); }, columnPhase}});
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_TRUE(same_bytes(
        one_sheet("   <Column ss:Index=\"1\"  ss:AutoFitWidth=\"0\" ss:Width=\"80\"/>\n"
                  "   <Column ss:Index=\"2\" ss:StyleID=\"txt\"  ss:AutoFitWidth=\"0\" ss:Width=\"120\"/>\n"
                  "   <Column ss:Index=\"256\" ss:StyleID=\"num\"  ss:AutoFitWidth=\"0\" ss:Width=\"0\"/>\n"
                  "   <Column ss:Index=\"3\"  ss:AutoFitWidth=\"0\" ss:Width=\"30\"/>\n"
                  "   <Row>\n" + cell("a")),
        body_of()));
}

}  // namespace
