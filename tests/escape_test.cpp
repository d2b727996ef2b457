// Every text the writer writes is escaped: texts that were well-formed keep their bytes,
// the others are written as the client meant them; duplicates as a reader sees names;
// cuts between characters.
#include <cstring>

#include "support.hpp"
#include "writer_util.hpp"

using namespace gqtest;

namespace {

class Escape : public TempDirTest {};

struct Case {
    const char *what;
    std::string in, out;
};

// Markup texts in the Latin-1 mode, shown through a formula (an attribute).
const Case kMarkup[] = {
    {"entities kept", "R&amp;D&lt;&gt;&quot;&apos;", "R&amp;D&lt;&gt;&quot;&apos;"},
    {"character references kept", "&#38;&#x41;&#1114111;", "&#38;&#x41;&#1114111;"},
    {"bare ampersand", "R&D &P &#X41; &#1; &#xD800; &amp", "R&amp;D &amp;P &amp;#X41; &amp;#1; &amp;#xD800; &amp;amp"},
    {"quotes and less-than", "=IF(RC[-1]=\"Nord\",1,0)<'>", "=IF(RC[-1]=&quot;Nord&quot;,1,0)&lt;'>"},
    {"controls", "a\x01\x1F\tb\nc\r", "a  \tb\nc\r"},
    {"UTF-8 kept", "Caff\xC3\xA8 \xE2\x82\xAC \xF0\x9F\x98\x80", "Caff\xC3\xA8 \xE2\x82\xAC \xF0\x9F\x98\x80"},
    {"other bytes as Latin-1", "Caff\xE8 \x80 \xC0\xAF \xEF\xBF\xBF \xC3",
     "Caff\xC3\xA8 \xC2\x80 \xC3\x80\xC2\xAF \xC3\xAF\xC2\xBF\xC2\xBF \xC3\x83"},
};

TEST_F(Escape, MarkupTextsKeepWhatWasWellFormedAndMendTheRest) {
    open_with_sheet();
    std::string rows = "   <Row>\n";
    for (const Case &c : kMarkup) {
        ASSERT_EQ(xlsWriteCellEx("1", 'N', "", c.in.c_str(), 0, 0, 0), -1) << c.what;
        rows += "    <Cell ss:Formula=\"" + c.out + "\" ><Data ss:Type=\"Number\">1</Data></Cell>\n";
    }
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_TRUE(same_bytes(one_sheet(rows), body_of()));
}

TEST_F(Escape, EveryTextOfTheWorkbook) {
    xlsStyle style = xlsStyleDefault;
    std::strcpy(style.fontName, "A&B \"C\"");
    std::strcpy(style.numberFormat, "0.0\"<\"");
    style.weightTop = 1;
    std::strcpy(style.borderColor, "#&");
    xlsSheetSetup setup = xlsSheetSetupDefault;
    std::strcpy(setup.header, "Pagina &P di &N \"\xE8\"");
    std::strcpy(setup.footer, "&amp;P\t<");
    std::strcpy(setup.marginLeft, "1<\"");
    ASSERT_EQ(xlsInit("out.xml", "Ufficio R&D ]]> \xE8"), -1);
    ASSERT_EQ(xlsAddStyle(style, "R&D"), -1);
    ASSERT_EQ(xlsAddSheet("R&D <\xE8>", setup), -1);
    ASSERT_EQ(xlsColumn(1, 50, "R&amp;D"), -1);
    ASSERT_EQ(xlsNewLineEx(0, 0, "R&#38;D"), -1);
    ASSERT_EQ(xlsWriteCellEx("x", 'S', "R&D", "", 0, 0, 0), -1);
    ASSERT_EQ(xlsAddSheet("", xlsSheetSetupDefault), -1);  // the default header of "NoName"
    ASSERT_EQ(xlsWriteCell("y", 'S', ""), -1);
    ASSERT_EQ(xlsClose(), -1);
    const std::string name = "R&amp;D &lt;\xC3\xA8>";
    std::string text = without_created(read_file("out.xml"));
    EXPECT_EQ(xml_error_text(text), "");
    std::string head = prologue("Ufficio R&amp;D ]]&gt; \xC3\xA8");
    EXPECT_TRUE(same_bytes(
        head.substr(0, head.size()) +
            "  <Style ss:ID=\"R_x0026_D\">\n"
            "   <Alignment ss:Horizontal=\"Left\" ss:Vertical=\"Bottom\"/>\n"
            "   <Borders>\n"
            "    <Border ss:Position=\"Top\" ss:LineStyle=\"Continuous\" ss:Weight=\"1\" ss:Color=\"#&amp;\"/>\n"
            "   </Borders>\n"
            "   <Font ss:FontName=\"A&amp;B &quot;C&quot;\" />\n"
            "   <Interior ss:Pattern=\"Solid\" />\n"
            "   <NumberFormat ss:Format=\"0.0&quot;&lt;&quot;\" />\n"
            "   <Protection ss:Protected=\"0\"/>\n"
            "  </Style>\n" +
            std::string(kStylesEnd) + sheet_start(name) +
            "   <Column ss:Index=\"1\" ss:StyleID=\"R_x0026_D\"  ss:AutoFitWidth=\"0\" ss:Width=\"50\"/>\n"
            "   <Row ss:StyleID=\"R_x0026_D\" >\n"
            "    <Cell ss:StyleID=\"R_x0026_D\" ><Data ss:Type=\"String\">x</Data></Cell>\n"
            "   </Row>\n  </Table>\n"
            "  <WorksheetOptions xmlns=\"urn:schemas-microsoft-com:office:excel\">\n"
            "   <PageSetup>\n"
            "    <Layout x:Orientation=\"Landscape\"/>\n"
            "    <Header x:Margin=\"0.5\"  x:Data=\"Pagina &amp;P di &amp;N &quot;\xC3\xA8&quot;\"/>\n"
            "    <Footer x:Margin=\"0.5\" x:Data=\"&amp;P &lt;\"/>\n"
            "    <PageMargins x:Bottom=\"1\" x:Left=\"1&lt;&quot;\" x:Right=\"1\" x:Top=\"1\"/>\n"
            "   </PageSetup>\n   <Print>\n    <Gridlines/>\n   </Print>\n"
            "   <Selected/>\n"
            "   <ProtectObjects>False</ProtectObjects>\n"
            "   <ProtectScenarios>False</ProtectScenarios>\n"
            "  </WorksheetOptions>\n"
            " </Worksheet>\n" +
            sheet_start("NoName") + "   <Row>\n" + cell("y") + sheet_end("NoName", true, false) +
            "</Workbook>\n",
        text));
}

TEST_F(Escape, NamesAreDuplicatesWhenAReaderSeesTheSame) {
    ASSERT_EQ(xlsInit("out.xml", "A"), -1);
    ASSERT_EQ(xlsAddStyle(xlsStyleDefault, "R&D"), -1);
    for (const char *id : {"R&amp;D", "R&#38;D", "R&#x26;D"})
        EXPECT_EQ(stderr_of([&] { EXPECT_EQ(xlsAddStyle(xlsStyleDefault, id), 0); }),
                  std::string("ID stile '") + id + "' duplicato\n");
    ASSERT_EQ(xlsAddStyle(xlsStyleDefault, "Caff\xE8"), -1);
    stderr_of([] { EXPECT_EQ(xlsAddStyle(xlsStyleDefault, "Caff\xC3\xA8"), 0); });  // the same in UTF-8
    ASSERT_EQ(xlsAddSheet("R&D", xlsSheetSetupDefault), -1);
    for (const char *name : {"R&amp;D", "R&#38;D"})
        EXPECT_EQ(stderr_of([&] { EXPECT_EQ(xlsAddSheet(name, xlsSheetSetupDefault), 0); }),
                  std::string("Nome Sheet '") + name + "' duplicato in xlsAddSheet().\n");
    EXPECT_EQ(xlsWriteCell("x", 'S', "Caff\xC3\xA8"), -1);
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_EQ(xml_error("out.xml"), "");
}

TEST_F(Escape, CutsFallBetweenCharacters) {
    const std::string a29(29, 'a'), a30(30, 'a'), a97(97, 'a');
    const Case names[] = {
        {"inside an entity", a29 + "&amp;", a29},
        {"inside a UTF-8 letter", a30 + "\xC3\xA8", a30},
        {"after a bare ampersand", a30 + "&amp", a30 + "&amp;"},
    };
    for (const Case &c : names) {
        ASSERT_EQ(xlsInit("out.xml", (a97 + "&lt;").c_str()), -1);
        ASSERT_EQ(xlsAddSheet(c.in.c_str(), xlsSheetSetupDefault), -1);
        ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);
        ASSERT_EQ(xlsClose(), -1);
        std::string text = without_created(read_file("out.xml"));
        EXPECT_EQ(xml_error_text(text), "") << c.what;
        EXPECT_EQ(text.substr(0, prologue(a97).size()), prologue(a97)) << c.what;
        EXPECT_NE(text.find(sheet_start(c.out)), std::string::npos) << c.what;
    }
}

}  // namespace
