// Worksheets: the start lines, the 17-line end with each optional line under its
// condition, names (defaults, duplicates as whole names, the 31-character cut) and the
// header and footer conversion and cut.
#include <cstring>
#include <functional>
#include <vector>

#include "support.hpp"
#include "writer_util.hpp"

using namespace gqtest;

namespace {

class Sheet : public TempDirTest {};

TEST_F(Sheet, WorkedExampleEndsWithAll17Lines) {
    open_with_sheet();
    ASSERT_EQ(xlsAddSheet("Prova", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);
    ASSERT_EQ(xlsClose(), -1);
    std::string body = body_of();
    const std::string end =
        "   </Row>\n"
        "  </Table>\n"
        "  <WorksheetOptions xmlns=\"urn:schemas-microsoft-com:office:excel\">\n"
        "   <PageSetup>\n"
        "    <Layout x:Orientation=\"Landscape\"/>\n"
        "    <Header x:Margin=\"0.5\"  x:Data=\"Foglio Excel 'Prova' generato automaticamente\"/>\n"
        "    <Footer x:Margin=\"0.5\" x:Data=\"Pagina &amp;P\"/>\n"
        "    <PageMargins x:Bottom=\"1\" x:Left=\"1\" x:Right=\"1\" x:Top=\"1\"/>\n"
        "   </PageSetup>\n"
        "   <Print>\n"
        "    <Gridlines/>\n"
        "   </Print>\n"
        "   <ProtectObjects>False</ProtectObjects>\n"
        "   <ProtectScenarios>False</ProtectScenarios>\n"
        "  </WorksheetOptions>\n"
        " </Worksheet>\n";
    // The first worksheet "S" had no cell: an empty table, no row end; it alone is selected.
    EXPECT_TRUE(same_bytes(std::string(kStylesEnd) + sheet_start("S") + sheet_end("S", false) +
                               sheet_start("Prova") + "   <Row>\n" + cell("x") + end +
                               "</Workbook>\n",
                           body));
}

struct EndCase {
    const char *what;
    std::function<void(xlsSheetSetup &)> edit;
    std::string layout, header, footer, margins, gridlines;
};

const std::string kLandscape = "    <Layout x:Orientation=\"Landscape\"/>\n";
const std::string kGrid = "    <Gridlines/>\n";
const std::string kFooter = "    <Footer x:Margin=\"0.5\" x:Data=\"Pagina &amp;P\"/>\n";
const std::string kMargins = "    <PageMargins x:Bottom=\"1\" x:Left=\"1\" x:Right=\"1\" x:Top=\"1\"/>\n";

std::string header_line(std::string_view data, std::string_view margin = "x:Margin=\"0.5\" ") {
    return "    <Header " + std::string(margin) + " x:Data=\"" + std::string(data) + "\"/>\n";
}
const std::string kHeader = header_line("Foglio Excel 'P' generato automaticamente");

std::string end_lines(const EndCase &c) {
    return "   </Row>\n  </Table>\n"
           "  <WorksheetOptions xmlns=\"urn:schemas-microsoft-com:office:excel\">\n"
           "   <PageSetup>\n" + c.layout + c.header + c.footer + c.margins +
           "   </PageSetup>\n   <Print>\n" + c.gridlines +
           "   </Print>\n"
           "   <Selected/>\n"
           "   <ProtectObjects>False</ProtectObjects>\n"
           "   <ProtectScenarios>False</ProtectScenarios>\n"
           "  </WorksheetOptions>\n"
           " </Worksheet>\n";
}

TEST_F(Sheet, EachOptionalEndLineUnderItsCondition) {
    const std::string a123(123, 'a'), a126(126, 'a');
    const std::string entityAtEnd = a123 + "&amp;", entityThenSequence = a123.substr(1) + "&amp;\xE8";
    const EndCase cases[] = {
        {"default", [](xlsSheetSetup &) {}, kLandscape, kHeader, kFooter, kMargins, kGrid},
        {"no header margin", [](xlsSheetSetup &s) { s.headerMargin[0] = '\0'; }, "",
         header_line("Foglio Excel 'P' generato automaticamente", ""), "", kMargins, ""},
        {"no footer margin", [](xlsSheetSetup &s) { s.footerMargin[0] = '\0'; }, kLandscape,
         kHeader, "", kMargins, kGrid},
        {"portrait", [](xlsSheetSetup &s) { s.orientation = 'P'; },
         "    <Layout x:Orientation=\"Portrait\"/>\n", kHeader, kFooter, kMargins, kGrid},
        {"lower-case l", [](xlsSheetSetup &s) { s.orientation = 'l'; }, "", kHeader, kFooter,
         kMargins, kGrid},
        {"no gridlines", [](xlsSheetSetup &s) { s.gridlines = '0'; }, kLandscape, kHeader,
         kFooter, kMargins, ""},
        {"zero margins",
         [](xlsSheetSetup &s) {
             std::strcpy(s.marginTop, "0");
             std::strcpy(s.marginBottom, "0");
             std::strcpy(s.marginLeft, "2.5");
             std::memcpy(s.marginRight, "12345678", 8);  // fills its field: cut to 7
         },
         kLandscape, kHeader, kFooter,
         "    <PageMargins x:Bottom=\"0\" x:Left=\"2.5\" x:Right=\"1234567\" x:Top=\"0.1\"/>\n", kGrid},
        {"empty top margin", [](xlsSheetSetup &s) { s.marginTop[0] = '\0'; }, kLandscape, kHeader,
         kFooter, "    <PageMargins x:Bottom=\"1\" x:Left=\"1\" x:Right=\"1\" x:Top=\"0.1\"/>\n", kGrid},
        {"converted texts",
         [](xlsSheetSetup &s) {
             std::strcpy(s.header, "Intestazione \xE8");
             std::strcpy(s.footer, "&amp;P di &amp;N");
             std::strcpy(s.headerMargin, "0.3");
             std::strcpy(s.footerMargin, "0.2");
         },
         kLandscape, header_line("Intestazione \xC3\xA8", "x:Margin=\"0.3\" "),
         "    <Footer x:Margin=\"0.2\" x:Data=\"&amp;P di &amp;N\"/>\n", kMargins, kGrid},
        {"header of 127 UTF-8 bytes kept",
         [&](xlsSheetSetup &s) { std::strcpy(s.header, (a126.substr(1) + "\xE8").c_str()); },
         kLandscape, header_line(a126.substr(1) + "\xC3\xA8"), kFooter, kMargins, kGrid},
        {"header cut before a sequence",
         [&](xlsSheetSetup &s) { std::strcpy(s.header, (a126 + "\xE8").c_str()); }, kLandscape,
         header_line(a126), kFooter, kMargins, kGrid},
        {"header cut before an entity",
         [&](xlsSheetSetup &s) { std::memcpy(s.header, entityAtEnd.data(), 128); },
         kLandscape, header_line(a123), kFooter, kMargins, kGrid},
        {"header keeps a whole entity",
         [&](xlsSheetSetup &s) { std::memcpy(s.header, entityThenSequence.data(), 128); },
         kLandscape, header_line(a123.substr(1) + "&amp;"), kFooter, kMargins, kGrid},
        {"header of 64 accented letters",
         [](xlsSheetSetup &s) { std::memset(s.header, 0xE8, 128); }, kLandscape,
         header_line([] { std::string u; for (int i = 0; i < 63; ++i) u += "\xC3\xA8"; return u; }()),
         kFooter, kMargins, kGrid},
        {"footer cut after an entity",
         [](xlsSheetSetup &s) { std::strcpy(s.footer, (std::string(120, 'f') + "&amp;P\xE8").c_str()); },
         kLandscape, kHeader,
         "    <Footer x:Margin=\"0.5\" x:Data=\"" + std::string(120, 'f') + "&amp;P\"/>\n", kMargins,
         kGrid},
    };
    for (const EndCase &c : cases) {
        xlsSheetSetup setup = xlsSheetSetupDefault;
        c.edit(setup);
        xlsSheetSetup copy = setup;
        ASSERT_EQ(xlsInit("out.xml", kAuthor.data()), -1);
        ASSERT_EQ(xlsAddSheet("P", setup), -1);
        EXPECT_EQ(std::memcmp(&copy, &setup, sizeof setup), 0) << c.what;
        ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);
        ASSERT_EQ(xlsClose(), -1);
        EXPECT_TRUE(same_bytes(std::string(kStylesEnd) + sheet_start("P") + "   <Row>\n" + cell("x") +
                                   end_lines(c) + "</Workbook>\n",
                               body_of()))
            << c.what;
    }
}

// Adds worksheets in order; returns each result and the stderr text of the refusals.
std::string add_sheets(const std::vector<const char *> &names, xlsSheetSetup setup,
                       std::vector<int> &results) {
    return stderr_of([&] {
        for (const char *n : names) results.push_back(xlsAddSheet(n, setup));
    });
}

TEST_F(Sheet, NamesDefaultsAndWholeNameDuplicates) {
    xlsSheetSetup unnamed = xlsSheetSetupDefault;
    unnamed.name[0] = '\0';
    struct Case {
        const char *what;
        std::vector<const char *> names;
        xlsSheetSetup setup;
        std::vector<int> results;
        std::vector<std::string> written;
        std::string err;
    } cases[] = {
        {"NoName twice", {"", ""}, xlsSheetSetupDefault, {-1, 0}, {"NoName"},
         "Nome Sheet 'NoName' duplicato in xlsAddSheet().\n"},
        {"numbered", {"", "", "X", ""}, unnamed, {-1, -1, -1, -1}, {"Sheet0", "Sheet1", "X", "Sheet3"}, ""},
        {"Prova after Prova2", {"Prova2", "Prova"}, xlsSheetSetupDefault, {-1, -1}, {"Prova2", "Prova"}, ""},
        {"Prova before Prova2", {"Prova", "Prova2"}, xlsSheetSetupDefault, {-1, -1}, {"Prova", "Prova2"}, ""},
        {"exact duplicate", {"Prova", "Altro", "Prova"}, xlsSheetSetupDefault, {-1, -1, 0},
         {"Prova", "Altro"}, "Nome Sheet 'Prova' duplicato in xlsAddSheet().\n"},
        {"case differs", {"prova", "Prova"}, xlsSheetSetupDefault, {-1, 0}, {"prova"},
         "Nome Sheet 'Prova' duplicato in xlsAddSheet().\n"},
        {"cut to 31", {"abcdefghijklmnopqrstuvwxyz0123456789", "abcdefghijklmnopqrstuvwxyz01234XYZ"},
         xlsSheetSetupDefault, {-1, 0}, {"abcdefghijklmnopqrstuvwxyz01234"},
         "Nome Sheet 'abcdefghijklmnopqrstuvwxyz01234' duplicato in xlsAddSheet().\n"},
    };
    for (Case &c : cases) {
        ASSERT_EQ(xlsInit("out.xml", kAuthor.data()), -1);
        std::vector<int> results;
        EXPECT_EQ(add_sheets(c.names, c.setup, results), c.err) << c.what;
        EXPECT_EQ(results, c.results) << c.what;
        ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);  // lands in the last accepted worksheet
        ASSERT_EQ(xlsClose(), -1);
        std::string expected(kStylesEnd);
        for (std::size_t i = 0; i < c.written.size(); ++i) {
            bool last = i + 1 == c.written.size();
            expected += sheet_start(c.written[i]) + (last ? "   <Row>\n" + cell("x") : "") +
                        sheet_end(c.written[i], last, i == 0);
        }
        EXPECT_TRUE(same_bytes(expected + "</Workbook>\n", body_of())) << c.what;
    }
}

TEST_F(Sheet, RecordNameFillingItsFieldIsCut) {
    xlsSheetSetup setup = xlsSheetSetupDefault;
    std::memset(setup.name, 'n', sizeof setup.name);
    ASSERT_EQ(xlsInit("out.xml", kAuthor.data()), -1);
    ASSERT_EQ(xlsAddSheet("", setup), -1);
    ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);
    ASSERT_EQ(xlsClose(), -1);
    const std::string name(31, 'n');
    EXPECT_TRUE(same_bytes(std::string(kStylesEnd) + sheet_start(name) + "   <Row>\n" + cell("x") +
                               sheet_end(name, true) + "</Workbook>\n",
                           body_of()));
}

TEST_F(Sheet, ARegistryThatIsFullRefusesTheName) {
    stderr_of([] { xlsInit("nodir/out.xml", "T"); });  // no stream: nothing is written
    int added = 0;
    auto name_of = [](int i) { return std::string("F").append(std::to_string(i)); };
    while (added < 5000 && xlsAddSheet(name_of(added).c_str(), xlsSheetSetupDefault) == -1)
        ++added;
    EXPECT_GE(added, 1000);
    EXPECT_LT(added, 5000);
    std::string name = name_of(added);
    EXPECT_EQ(xlsGetError(), "Troppi fogli: non c'e' posto per il foglio '" + name + "' in xlsAddSheet().\n");
    EXPECT_EQ(stderr_of([&] { EXPECT_EQ(xlsAddSheet(name.c_str(), xlsSheetSetupDefault), 0); }),
              xlsGetError());
}

}  // namespace
