// The edges a client reaches: per case the calls, their results, the last message and the
// pieces the workbook holds or lacks. Every workbook is well-formed and, where xmllint
// and the schema are at hand, valid.
#include <cerrno>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "support.hpp"
#include "writer_util.hpp"

using namespace gqtest;

namespace {

class Edges : public TempDirTest {};

struct Edge {
    const char *what;
    std::function<std::vector<int>()> calls;  // their results; they close the workbook
    std::vector<int> results;
    std::string error;  // xlsGetError() afterwards, also what was printed
    std::vector<std::string> present, absent;
    std::size_t selected = 1;  // sheets the workbook shows selected
};

int add(const char *sheet) { return xlsAddSheet(sheet, xlsSheetSetupDefault); }
// Opens out.xml and starts sheet S.
int open_s() { return xlsInit("out.xml", "T") & add("S"); }
// The results `r` and a cell's and the close's.
std::vector<int> closed(std::vector<int> r) {
    r.push_back(xlsWriteCell("x", 'S', ""));
    r.push_back(xlsClose());
    return r;
}

const std::vector<Edge> kEdges = {
    {"sheet names compare without case, in every script",
     [] {
         xlsSetEncoding("UTF-8");
         std::vector<int> r = closed(
             {open_s(), add("s"), add("\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x99\xCE\x91"),
              add("\xCF\x83\xCE\xBF\xCF\x86\xCE\xB9\xCE\xB1"), add("\xD0\x94\xD0\x90\xD0\x9D"),
              add("\xD0\xB4\xD0\xB0\xD0\xBD"), add("Stra\xC3\x9F" "e"), add("STRA\xE1\xBA\x9E" "E")});
         xlsSetEncoding("Latin-1");
         return r;
     },
     {-1, 0, -1, 0, -1, 0, -1, 0, -1, -1},
     "Nome Sheet 'STRA\xE1\xBA\x9E" "E' duplicato in xlsAddSheet().\n",
     {"Name=\"\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x99\xCE\x91\"", "Name=\"Stra\xC3\x9F" "e\""},
     {"Name=\"s\"", "Name=\"\xD0\xB4"}},
    {"characters readers refuse in sheet names become _, also as references",
     [] {
         return closed({xlsInit("out.xml", "T"), add("Q1/Q2: [tot]*?\\"), add("R&#47;S"), add("R/s")});
     },
     {-1, -1, -1, 0, -1, -1}, "Nome Sheet 'R/s' duplicato in xlsAddSheet().\n",
     {"Name=\"Q1_Q2_ _tot____\"", "Name=\"R_S\""}, {}},
    {"a cell that lands or merges past the last column is refused, the position kept",
     [] {
         return closed({open_s(), xlsWriteCellEx("a", 'S', "", "", 200, 0, 0),
                        xlsWriteCellEx("b", 'S', "", "", 0, 55, 0),
                        xlsWriteCellEx("c", 'S', "", "", 55, 0, 0),
                        xlsWriteCellEx("d", 'S', "", "", 0, 54, 0)});
     },
     {-1, -1, 0, 0, -1, 0, -1},
     "Cella oltre i limiti del foglio (1048576 righe, 256 colonne) in xlsWriteCell().\n",
     {"<Cell ss:MergeAcross=\"54\" ><Data ss:Type=\"String\">d</Data></Cell>\n   </Row>"},
     {">b<", ">c<", ">x<"}},
    {"a cell below the last row, or merging down past it, is refused",
     [] {
         std::vector<int> r = {open_s()};
         for (int i = 0; i < 5216; ++i) xlsNewLineEx(200, 0, "");
         r.push_back(xlsNewLineEx(158, 0, ""));
         r.push_back(xlsWriteCellEx("a", 'S', "", "", 0, 0, 1));
         r.push_back(xlsWriteCell("b", 'S', ""));
         r.push_back(xlsNewLine());
         return closed(r);
     },
     {-1, -1, 0, -1, -1, 0, -1},
     "Cella oltre i limiti del foglio (1048576 righe, 256 colonne) in xlsWriteCell().\n",
     {"<Row ss:Index=\"1048576\" >\n    <Cell ><Data ss:Type=\"String\">b</Data></Cell>\n   </Row>\n  </Table>"},
     {">a<", ">x<"}},
    {"style IDs that are no XML names are written in their _xHHHH_ form",
     [] {
         return std::vector<int>{
             xlsInit("out.xml", "T"), xlsAddStyle(xlsStyleDefault, "my style"),
             xlsAddStyle(xlsStyleDefault, "1st"), xlsAddStyle(xlsStyleDefault, "my_x0020_style"),
             add("S"), xlsColumn(1, 40, "1st"), xlsNewLineEx(0, 0, "1st"),
             xlsWriteCell("a", 'S', "my style"), xlsWriteCell("b", 'S', "my_x0020_style"), xlsClose()};
     },
     {-1, -1, -1, 0, -1, -1, -1, -1, -1, -1}, "ID stile 'my_x0020_style' duplicato\n",
     {"<Style ss:ID=\"my_x0020_style\">", "<Style ss:ID=\"_x0031_st\">",
      "<Column ss:Index=\"1\" ss:StyleID=\"_x0031_st\" ", "<Row ss:StyleID=\"_x0031_st\" >",
      "<Cell ss:StyleID=\"my_x0020_style\" ><Data ss:Type=\"String\">a<",
      "<Cell ss:StyleID=\"my_x0020_style\" ><Data ss:Type=\"String\">b<"},
     {"\"my style\"", "\"1st\""}},
    {"a freed, foreign or twice-freed context is refused without being read",
     [] {
         std::vector<int> r = {open_s(), xlsWriteCell("x", 'S', ""), xlsClose()};
         xlsContext *context = xlsNewContext();
         long foreign[4] = {};
         r.push_back(xlsFreeContext(context));
         r.push_back(xlsFreeContext(context));
         r.push_back(xlsSelectContext(reinterpret_cast<xlsContext *>(foreign)));
         r.push_back(xlsSelectContext(context));
         return r;
     },
     {-1, -1, -1, -1, 0, 0, 0}, "Contesto non valido in xlsSelectContext().\n", {}, {}},
    {"a link or comment waiting for a cell is dropped by the next sheet and the close",
     [] {
         return std::vector<int>{
             open_s(), xlsWriteCell("x", 'S', ""), xlsSetCellLink("https://a.example", ""),
             xlsClose(), open_s(), xlsWriteCell("y", 'S', ""),
             xlsSetCellLink("https://b.example", ""), xlsSetCellComment("nota", "", 0), add("B"),
             xlsWriteCell("z", 'S', ""), xlsClose()};
     },
     {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1}, "", {">y<", ">z<"}, {"HRef", "Comment"}},
    {"worksheet features refused when no workbook is open",
     [] {
         std::vector<int> r = {xlsInit("no/such/dir.xml", "T"), add("S"),
                               xlsSetZoom(120), open_s(), xlsWriteCell("x", 'S', ""), xlsClose()};
         r.push_back(xlsSetCellLink("https://a.example", ""));
         return r;
     },
     {0, -1, 0, -1, -1, -1, 0}, "Nessuna cartella di lavoro aperta per xlsSetCellLink().\n", {}, {}},
    {"overlapping validations refused, a last row 0 reaching down",
     [] {
         xlsValidation list{};
         list.type = "List";
         list.value1 = "a,b";
         return closed({open_s(), xlsAddValidation(1, 1, 0, 2, list),
                        xlsAddValidation(500, 2, 600, 3, list), xlsAddValidation(1, 3, 4, 3, list)});
     },
     {-1, -1, 0, -1, -1, -1}, "Convalida sovrapposta a una convalida gia' data in xlsAddValidation().\n",
     {"<Range>R1C1:R1C2</Range>", "<Range>R1C3:R4C3</Range>"}, {}},
    {"named ranges refer to R1C1 references or constants",
     [] {
         std::vector<int> r = {xlsInit("out.xml", "T"),
                               xlsAddName("Unione", "=Dati!R1C1:R4C2,'Il mio ''foglio'''!C3,R2"),
                               xlsAddName("Relativo", "R[-1]C[2]:RC"),
                               xlsAddName("Costanti", "=-1.5E3"), xlsAddName("Testo", "=\"a,\"\"b\""),
                               xlsAddName("Errore", "=#N/A"), xlsAddName("A1", "=Dati!A1"),
                               xlsAddName("Corto", "=Dati!R1C1:"), xlsAddName("Foglio", "='Dati!R1C1"),
                               xlsAddName("Oltre", "=R1048577C1"), xlsAddName("Vuoto", "=Dati!")};
         r.push_back(add("Dati"));
         return closed(r);
     },
     {-1, -1, -1, -1, -1, -1, 0, 0, 0, 0, 0, -1, -1, -1},
     "Riferimento non valido per il nome 'Vuoto' in xlsAddName(): serve un riferimento R1C1 "
     "come =Foglio!R1C1:R2C3, o una costante.\n",
     {"ss:RefersTo=\"=Dati!R1C1:R4C2,'Il mio ''foglio'''!C3,R2\"", "ss:RefersTo=\"=R[-1]C[2]:RC\""},
     {"\"A1\"", "Corto", "Oltre"}},
    {"one selected sheet, the first",
     [] { return closed({open_s(), add("B")}); },
     {-1, -1, -1, -1}, "", {"</Print>\n   <Selected/>\n   <ProtectObjects>False</ProtectObjects>\n"
                        "   <ProtectScenarios>False</ProtectScenarios>\n  </WorksheetOptions>\n"
                        " </Worksheet>\n <Worksheet ss:Name=\"B\""}, {}},
    {"one selected sheet, the active one, chosen before the open",
     [] { return closed({xlsSetActiveSheet(1), open_s(), xlsSetActiveSheet(0), add("B")}); },
     {-1, -1, 0, -1, -1, -1},
     "Non si puo' scegliere il foglio attivo a questo punto in xlsSetActiveSheet(): va scelto "
     "prima di aprire la cartella.\n",
     {"<ActiveSheet>1</ActiveSheet>", "<Selected/>\n   <ProtectObjects>False</ProtectObjects>\n"
      "   <ProtectScenarios>False</ProtectScenarios>\n  </WorksheetOptions>\n </Worksheet>\n"
      "</Workbook>\n"}, {}},
    {"the active sheet is forgotten after its workbook",
     [] { return closed({xlsSetActiveSheet(1), xlsInit("first.xml", "T"), open_s()}); },
     {-1, -1, -1, -1, -1}, "", {}, {"<ActiveSheet>"}},
    {"an active sheet that never came",
     [] { return closed({xlsSetActiveSheet(3), open_s()}); },
     {-1, -1, -1, -1},
     "Foglio attivo 3 inesistente o nascosto: la cartella si apre sul primo foglio visibile.\n",
     {"<ActiveSheet>3</ActiveSheet>"}, {}, 0},
    {"the system's reason of a failed open",
     [] {
         int r = xlsInit("no/such/dir.xml", "T");
         return std::vector<int>{r, xlsGetErrno(), xlsInit("out.xml", "T"), xlsGetErrno(),
                                 add("S"), xlsWriteCell("", 'S', ""),
                                 xlsClose()};
     },
     {0, ENOENT, -1, 0, -1, -1, -1}, "", {}, {}},
};

TEST_F(Edges, EachEdgeAsAClientMeetsIt) {
    bool validatedAll = true;
    for (const Edge &e : kEdges) {
        SCOPED_TRACE(e.what);
        std::vector<int> results;
        std::string printed = stderr_of([&] { results = e.calls(); });
        EXPECT_EQ(results, e.results);
        EXPECT_EQ(xlsGetError(), e.error);
        EXPECT_NE(printed.find(e.error), std::string::npos) << printed;
        std::string text = read_file("out.xml");
        EXPECT_EQ(xml_error("out.xml"), "");
        for (const std::string &p : e.present) EXPECT_NE(text.find(p), std::string::npos) << p;
        for (const std::string &a : e.absent) EXPECT_EQ(text.find(a), std::string::npos) << a;
        std::size_t selected = 0;
        for (std::size_t at = 0; (at = text.find("<Selected/>", at)) != std::string::npos; ++at)
            ++selected;
        EXPECT_EQ(selected, e.selected);
        std::optional<std::string> errors = schema_errors("out.xml");
        if (!errors) validatedAll = false;
        else EXPECT_EQ(*errors, "");
    }
    if (!validatedAll) GTEST_SKIP() << "xmllint or the schema missing: not validated";
}

}  // namespace
