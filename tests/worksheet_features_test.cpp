// Worksheet features: typed values, links and comments on cells, hidden columns, rows and
// sheets, and the options written after the table. Per feature the calls and the fragments
// they write; then the refusals and the bounds. Every workbook is well-formed and, where
// xmllint and the schema are at hand, valid.
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support.hpp"
#include "writer_util.hpp"

using namespace gqtest;

namespace {

class Features : public TempDirTest {};

// The file validates; false when the validator cannot run (the test then reports a skip).
bool validated(const char *path) {
    std::optional<std::string> errors = schema_errors(path);
    EXPECT_EQ(errors.value_or(""), "") << path;
    return errors.has_value();
}

// A workbook whose sheet "S" gets `calls`, then cells "a" and "b" in a row; its body.
std::string written(const std::function<void()> &calls, bool &validatedAll) {
    open_with_sheet();
    calls();
    EXPECT_EQ(xlsWriteCell("a", 'S', ""), -1);
    EXPECT_EQ(xlsWriteCell("b", 'S', ""), -1);
    EXPECT_EQ(xlsClose(), -1);
    validatedAll = validated("out.xml") && validatedAll;
    return body_of();
}

struct Case {
    const char *what;
    std::function<void()> calls;
    std::vector<std::string> fragments;
};

xlsValidation rule(const char *type, const char *qualifier, const char *v1, const char *v2) {
    xlsValidation r{};
    r.type = type;
    r.qualifier = qualifier;
    r.value1 = v1;
    r.value2 = v2;
    return r;
}

const std::vector<Case> kCases = {
    {"numbers in their shortest form", [] {
         xlsWriteNumber(1250.5, ""); xlsWriteNumber(0.1, "num"); xlsWriteNumber(1e20, "");
         xlsWriteNumber(-1e-7, "");
     },
     {"<Cell ><Data ss:Type=\"Number\">1250.5</Data></Cell>",
      "<Cell ss:StyleID=\"num\" ><Data ss:Type=\"Number\">0.1</Data>", ">1e+20<", ">-1e-07<"}},
    {"a date-time from its parts", [] { xlsWriteDateTime(2024, 2, 29, 13, 5, 9, "date"); },
     {"<Cell ss:StyleID=\"date\" ><Data ss:Type=\"DateTime\">2024-02-29T13:05:09.000</Data>"}},
    {"booleans as 1 and 0",
     [] {
         xlsWriteBoolean(1, ""); xlsWriteBoolean(0, "num"); xlsWriteBoolean(-7, "");
         xlsWriteBooleanEx(0, "", 2); xlsWriteBooleanEx(1, "", 201);
     },
     {"<Cell ><Data ss:Type=\"Boolean\">1</Data></Cell>\n    <Cell ss:StyleID=\"num\" ><Data "
      "ss:Type=\"Boolean\">0</Data></Cell>\n    <Cell ><Data ss:Type=\"Boolean\">1</Data>",
      "<Cell ss:Index=\"6\" ><Data ss:Type=\"Boolean\">0</Data></Cell>\n"
      "    <Cell ><Data ss:Type=\"Boolean\">1</Data>"}},
    {"a formula with its value", [] { xlsWriteFormula("=1/3", 1.0 / 3, ""); },
     {"<Cell ss:Formula=\"=1/3\" ><Data ss:Type=\"Number\">0.3333333333333333</Data>"}},
    {"top row frozen", [] { xlsFreezePanes(1, 0); },
     {"   <FreezePanes/>\n   <FrozenNoSplit/>\n   <SplitHorizontal>1</SplitHorizontal>\n"
      "   <TopRowBottomPane>1</TopRowBottomPane>\n   <ActivePane>2</ActivePane>\n   <Panes>\n"
      "    <Pane>\n     <Number>3</Number>\n    </Pane>\n    <Pane>\n     <Number>2</Number>\n"}},
    {"rows and columns frozen, a cell selected", [] { xlsFreezePanes(2, 1); xlsSelectCell(5, 3); },
     {"<SplitVertical>1</SplitVertical>\n   <LeftColumnRightPane>1</LeftColumnRightPane>\n"
      "   <ActivePane>0</ActivePane>",
      "<Number>1</Number>", "<Number>0</Number>\n     <ActiveRow>4</ActiveRow>\n"
      "     <ActiveCol>2</ActiveCol>\n     <RangeSelection>R5C3</RangeSelection>\n"}},
    {"autofilter over a known range, named", [] { xlsAutoFilter(1, 1, 9, 3); },
     {" <Worksheet ss:Name=\"S\" >\n  <Names>\n   <NamedRange ss:Name=\"_FilterDatabase\" "
      "ss:RefersTo=\"=S!R1C1:R9C3\" ss:Hidden=\"1\"/>\n  </Names>\n  <Table ",
      "  </WorksheetOptions>\n  <AutoFilter x:Range=\"R1C1:R9C3\" "
      "xmlns=\"urn:schemas-microsoft-com:office:excel\">\n  </AutoFilter>\n </Worksheet>\n"}},
    {"autofilter down to the last row written", [] {
         xlsWriteCell("h", 'S', ""); xlsNewLineEx(3, 0, ""); xlsAutoFilter(1, 1, 0, 2);
     },
     {"<AutoFilter x:Range=\"R1C1:R5C2\""}},
    {"a web link with its tip, a comment, a workbook link", [] {
         xlsSetCellLink("https://example.com/?a=1&b=2", "Vai \"qui\"");
         xlsSetCellComment("Nota <1>", "Anna", 1); xlsWriteCell("x", 'S', "txt");
         xlsSetCellLink("#S!A1", "");
     },
     {"<Cell ss:StyleID=\"txt\" ss:HRef=\"https://example.com/?a=1&amp;b=2\" "
      "x:HRefScreenTip=\"Vai &quot;qui&quot;\" ><Data ss:Type=\"String\">x</Data><Comment "
      "ss:Author=\"Anna\" ss:ShowAlways=\"1\"><ss:Data xmlns=\"http://www.w3.org/TR/REC-html40\">"
      "<Font html:Face=\"Tahoma\" x:CharSet=\"1\" html:Size=\"8\" html:Color=\"#000000\">"
      "Nota &lt;1></Font></ss:Data></Comment></Cell>\n",
      "<Cell ss:HRef=\"#S!A1\" ><Data ss:Type=\"String\">a</Data></Cell>\n"
      "    <Cell ><Data ss:Type=\"String\">b</Data></Cell>\n"}},
    {"hidden column, row and sheet", [] {
         xlsColumnEx(2, 40, "", 1); xlsHideRow(); xlsHideSheet(2);
     },
     {"<Column ss:Index=\"2\" ss:Hidden=\"1\"  ss:AutoFitWidth=\"0\" ss:Width=\"40\"/>",
      "   <Row ss:Hidden=\"1\" >\n", "   <Visible>SheetVeryHidden</Visible>\n"}},
    {"validations", [] {
         xlsValidation list = rule("List", "", "Rosso,\"Blu\"", ""); list.inputTitle = "Colore";
         list.errorStyle = "Warn"; list.errorMessage = "No & poi no";
         xlsAddValidation(2, 1, 0, 1, list);
         xlsAddValidation(2, 2, 9, 2, rule("Whole", "", "1", "100"));
         xlsValidation range = rule("List", "", "R1C6:R3C6", ""); range.listRange = 1;
         xlsAddValidation(2, 3, 2, 3, range);
         xlsAddValidation(2, 4, 9, 4, rule("TextLength", "LessOrEqual", "10", ""));
     },
     {"  <DataValidation xmlns=\"urn:schemas-microsoft-com:office:excel\">\n"
      "   <Range>R2C1</Range>\n"
      "   <Type>List</Type>\n   <Value>&quot;Rosso,&quot;&quot;Blu&quot;&quot;&quot;</Value>\n"
      "   <InputTitle>Colore</InputTitle><ErrorStyle>Warn</ErrorStyle>"
      "<ErrorMessage>No &amp; poi no</ErrorMessage>\n  </DataValidation>\n",
      "<Range>R2C2:R9C2</Range>\n   <Type>Whole</Type>\n   <Min>1</Min><Max>100</Max>\n  </Data",
      "<Type>List</Type>\n   <CellRangeList/>\n   <Value>R1C6:R3C6</Value>",
      "<Type>TextLength</Type>\n   <Qualifier>LessOrEqual</Qualifier>\n   <Value>10</Value>"}},
    {"conditional formats", [] {
         xlsAddCondition(1, 2, 0, 2, "Less", "0", "", "color:#FF0000");
         xlsAddCondition(1, 2, 0, 2, "Between", "1", "9", "font-weight:700");
         xlsAddCondition(1, 1, 1, 1, "", "LEN(RC)>1", "", "background:silver");
     },
     {"  <ConditionalFormatting xmlns=\"urn:schemas-microsoft-com:office:excel\">\n"
      "   <Range>R1C2</Range>\n   <Condition>\n    <Qualifier>Less</Qualifier><Value1>0</Value1>\n"
      "    <Format Style=\"color:#FF0000\"/>\n   </Condition>\n   <Condition>\n"
      "    <Qualifier>Between</Qualifier><Value1>1</Value1><Value2>9</Value2>\n",
      "<Range>R1C1</Range>\n   <Condition>\n    <Value1>LEN(RC)>1</Value1>\n"}},
    {"view options", [] {
         xlsSetTabColor(0xF00010); xlsSetZoom(150);
         xlsSetDisplay(XLS_DISPLAY_NO_GRIDLINES | XLS_DISPLAY_NO_ZEROS | XLS_DISPLAY_RIGHT_TO_LEFT);
     },
     {" <Worksheet ss:Name=\"S\" ss:RightToLeft=\"1\" >\n",
      "   <DoNotDisplayGridlines/>\n   <DoNotDisplayZeros/>\n   <DisplayRightToLeft/>\n"
      "   <Zoom>150</Zoom>\n   <TabColorIndex>10</TabColorIndex>\n"}},
    {"print options and page breaks", [] {
         xlsSetPrintLayout(80, 1, 0, 9); xlsAddPageBreak(20, 0); xlsAddPageBreak(0, 3);
     },
     {"   <Print>\n    <FitWidth>1</FitWidth>\n    <FitHeight>0</FitHeight>\n"
      "    <Scale>80</Scale>\n"
      "    <PaperSizeIndex>9</PaperSizeIndex>\n    <Gridlines/>\n   </Print>\n   <Selected/>\n"
      "   <FitToPage/>\n",
      "  <PageBreaks xmlns=\"urn:schemas-microsoft-com:office:excel\">\n   <ColBreaks>\n"
      "    <ColBreak><Column>3</Column></ColBreak>\n   </ColBreaks>\n   <RowBreaks>\n"
      "    <RowBreak><Row>20</Row></RowBreak>\n   </RowBreaks>\n  </PageBreaks>\n"}},
    {"protection", [] { xlsProtectSheet(); },
     {" <Worksheet ss:Name=\"S\" ss:Protected=\"1\" >\n",
      "   <ProtectContents>True</ProtectContents>\n   <ProtectObjects>True</ProtectObjects>\n"
      "   <ProtectScenarios>True</ProtectScenarios>\n  </WorksheetOptions>\n"}},
};

TEST_F(Features, EachFeatureWritesItsMarkup) {
    bool validatedAll = true;
    for (const Case &c : kCases) {
        SCOPED_TRACE(c.what);
        std::string body = written(c.calls, validatedAll);
        for (const std::string &fragment : c.fragments)
            EXPECT_NE(body.find(fragment), std::string::npos) << fragment << "\nin:\n" << body;
    }
    if (!validatedAll) GTEST_SKIP() << "xmllint or the schema missing: not validated";
}

TEST_F(Features, TheActiveSheetAloneIsSelected) {
    ASSERT_EQ(xlsSetActiveSheet(1), -1);
    open_with_sheet();
    for (const char *sheet : {"T", "U", ""}) {
        xlsWriteCell("x", 'S', "");
        if (*sheet != '\0') xlsAddSheet(sheet, xlsSheetSetupDefault);
    }
    ASSERT_EQ(xlsClose(), -1);
    std::string text = read_file("out.xml");
    EXPECT_NE(text.find("  <ActiveSheet>1</ActiveSheet>\n  <ProtectStructure>"), std::string::npos);
    std::size_t selected = text.find("<Selected/>");  // in T alone
    EXPECT_LT(text.find("ss:Name=\"T\""), selected);
    EXPECT_GT(text.find("ss:Name=\"U\""), selected);
    EXPECT_EQ(text.find("<Selected/>", selected + 1), std::string::npos);
    EXPECT_EQ(xml_error("out.xml"), "");
    bool valid = validated("out.xml");
    ASSERT_EQ(xlsInit("again.xml", "x"), -1);  // used once
    EXPECT_EQ(read_file("again.xml").find("ActiveSheet"), std::string::npos);
    if (!valid) GTEST_SKIP() << "xmllint or the schema missing: not validated";
}

struct Refusal {
    std::function<int()> call;
    std::string message;
};

TEST_F(Features, RefusalsAndBounds) {
    const std::string longText(2080, 'a');
    const std::string bad = "Intervallo di celle errato in xlsAutoFilter().\n";
    const std::vector<Refusal> refusals = {
        {[] { return xlsWriteNumber(NAN, ""); }, "Numero non finito in xlsWriteNumber().\n"},
        {[] { return xlsWriteFormula("", 1, ""); }, "Manca la formula in xlsWriteFormula().\n"},
        {[] { return xlsWriteDateTime(2023, 2, 29, 0, 0, 0, ""); },
         "Data o ora non valida in xlsWriteDateTime().\n"},
        {[] { return xlsFreezePanes(0, 256); },
         "Numero di righe o colonne errato in xlsFreezePanes().\n"},
        {[] { return xlsAutoFilter(2, 3, 1, 3); }, bad},
        {[] { return xlsAutoFilter(1, 1, 0, 257); }, bad},
        {[&] { return xlsSetCellLink(longText.c_str(), ""); },
         "Indirizzo troppo lungo (piu' di 2079 byte) in xlsSetCellLink().\n"},
        {[&] { return xlsSetCellLink("#S!A1", longText.substr(0, 256).c_str()); },
         "Suggerimento troppo lungo (piu' di 255 byte) in xlsSetCellLink().\n"},
        {[] { return xlsSetCellComment(std::string(8192, 'c').c_str(), "", 0); },
         "Commento troppo lungo (piu' di 8191 byte) in xlsSetCellComment().\n"},
        {[&] { return xlsSetCellComment("c", longText.substr(0, 256).c_str(), 0); },
         "Autore troppo lungo (piu' di 255 byte) in xlsSetCellComment().\n"},
        {[] { return xlsHideSheet(3); }, "Valore errato (0, 1 o 2) in xlsHideSheet().\n"},
        {[] { return xlsSetZoom(400); }, "Zoom errato (da 10 a 399) in xlsSetZoom().\n"},
        {[] { return xlsSetPrintLayout(0, 1, -1, 0); },
         "Impostazioni di stampa errate in xlsSetPrintLayout().\n"},
        {[] { return xlsAddValidation(1, 1, 1, 1, rule("Lista", "", "a", "")); },
         "Tipo di convalida 'Lista' errato in xlsAddValidation().\n"},
        {[] { return xlsAddValidation(1, 1, 1, 1, rule("Whole", "", "1", "")); },
         "Valori mancanti per la convalida in xlsAddValidation().\n"},
        {[] { return xlsAddCondition(1, 1, 1, 1, "Between", "1", "", "x"); },
         "Valori mancanti per la condizione in xlsAddCondition().\n"},
    };
    open_with_sheet();
    for (const Refusal &r : refusals) {
        std::string printed = stderr_of([&] { EXPECT_EQ(r.call(), 0); });
        EXPECT_EQ(printed, r.message);
        EXPECT_EQ(xlsGetError(), r.message);
    }
    // The bounds: the last one accepted, the next refused.
    const std::string longest(2079, 'a');
    EXPECT_EQ(xlsSetCellLink(longest.c_str(), std::string(255, 't').c_str()), -1);
    const xlsValidation above = rule("Whole", "Greater", "1", "");
    for (int i = 1; i <= 16; ++i) EXPECT_EQ(xlsAddValidation(i, 1, i, 1, above), -1);
    EXPECT_EQ(stderr_of([&] { EXPECT_EQ(xlsAddValidation(20, 1, 20, 1, above), 0); }),
              "Troppe convalide (al massimo 16) in xlsAddValidation().\n");
    for (int i = 0; i < 3; ++i) EXPECT_EQ(xlsAddCondition(1, 1, 0, 1, "Equal", "1", "", ""), -1);
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsAddCondition(1, 1, 0, 1, "Equal", "1", "", ""), 0); }),
              "Troppe condizioni (al massimo 3) per lo stesso intervallo in xlsAddCondition().\n");
    for (int i = 2; i <= 16; ++i) EXPECT_EQ(xlsAddCondition(i, 1, i, 1, "Equal", "1", "", ""), -1);
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsAddCondition(20, 1, 20, 1, "Equal", "1", "", ""), 0); }),
              "Troppi intervalli con formati condizionali (al massimo 16) in xlsAddCondition().\n");
    for (int i = 1; i <= 256; ++i) EXPECT_EQ(xlsAddPageBreak(i, 0), -1);
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsAddPageBreak(300, 0), 0); }),
              "Troppe interruzioni di pagina (al massimo 256) in xlsAddPageBreak().\n");
    EXPECT_EQ(xlsSetZoom(399), -1);
    EXPECT_EQ(xlsWriteCell("x", 'S', ""), -1);
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsHideRow(), 0); }),
              "Riga gia' aperta: xlsHideRow() va chiamata dopo xlsNewLine().\n");
    EXPECT_EQ(xlsClose(), -1);
    EXPECT_EQ(xml_error("out.xml"), "");
    bool valid = validated("out.xml");
    // With no workbook open, then with no worksheet open.
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsFreezePanes(1, 0), 0); }),
              "Nessuna cartella di lavoro aperta per xlsFreezePanes().\n");
    ASSERT_EQ(xlsInit("/dev/null", "T"), -1);
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsFreezePanes(1, 0), 0); }),
              "Nessun foglio aperto per xlsFreezePanes().\n");
    xlsAbandon();
    if (!valid) GTEST_SKIP() << "xmllint or the schema missing: not validated";
}

}  // namespace
