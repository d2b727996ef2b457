// The client's encoding: the names xlsSetEncoding takes, how each mode reads cell values,
// sheet names and page texts, and the new modes' limits, cut between characters.
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "support.hpp"
#include "writer_util.hpp"

using namespace gqtest;

namespace {

class Encoding : public TempDirTest {
protected:
    void TearDown() override {
        xlsSetEncoding("Latin-1");
        TempDirTest::TearDown();
    }
};

const std::string kFFFD = "\xEF\xBF\xBD";

struct Case {
    const char *encoding;
    std::string value, cell, name, sheet;
};

const Case kCases[] = {
    {"ISO-8859-1", "\x80\xE8\xC3\xA8 a\r\nb\tc&#38;", "\xC2\x80\xC3\xA8\xC3\x83\xC2\xA8 a  b c&amp;#38;",
     "Caff\xE8 \xC3\xA8", "Caff\xC3\xA8 \xC3\xA8"},
    {"windows-1252", "\x80\x92\x96\x81\xC3\xA8 a\r\nb\rc\nd\te\x01",
     "\xE2\x82\xAC\xE2\x80\x99\xE2\x80\x93\xC2\x81\xC3\x83\xC2\xA8 a&#10;b&#10;c&#10;d\te ",
     "\x80 R&D \xC3\xA8", "\xE2\x82\xAC R&amp;D \xC3\xA8"},
    {"utf-8", "\xEF\xBB\xBF" "Caff\xC3\xA8 \xE2\x82\xAC \xCE\xA4\xCE\xB5 \xE6\x97\xA5 \xF0\x9F\x98\x80 <a>\nb",
     "Caff\xC3\xA8 \xE2\x82\xAC \xCE\xA4\xCE\xB5 \xE6\x97\xA5 \xF0\x9F\x98\x80 &lt;a&gt;&#10;b",
     "\xEF\xBB\xBF\xCE\xA4\xCE\xB5\xCE\xAF\xCE\xB1 \xE8", "\xCE\xA4\xCE\xB5\xCE\xAF\xCE\xB1 " + kFFFD},
    {"UTF-8", "\xC0\xAF|\xED\xA0\x80|\xF4\x90\x80\x80|\xE2\x82|\xEF\xBF\xBE|\xEF\xBB\xBF",
     rep(2, kFFFD) + "|" + rep(3, kFFFD) + "|" + rep(4, kFFFD) + "|" + kFFFD + "|" + kFFFD + "|\xEF\xBB\xBF",
     "a\xC3", "a" + kFFFD},
};

TEST_F(Encoding, EachModeReadsTextsItsWay) {
    for (const Case &c : kCases) {
        ASSERT_EQ(xlsSetEncoding(c.encoding), -1) << c.encoding;
        xlsSheetSetup setup = xlsSheetSetupDefault;
        std::strcpy(setup.footer, c.name.c_str());
        ASSERT_EQ(xlsInit("out.xml", "T"), -1);
        ASSERT_EQ(xlsAddSheet(c.name.c_str(), setup), -1);
        ASSERT_EQ(xlsWriteCell(c.value.c_str(), 'S', ""), -1);
        ASSERT_EQ(xlsClose(), -1);
        std::string text = read_file("out.xml");
        EXPECT_EQ(xml_error_text(text), "") << c.encoding;
        EXPECT_NE(text.find(sheet_start(c.sheet) + "   <Row>\n" + cell(c.cell)), std::string::npos)
            << c.encoding;
        // Page texts come from the code page whole, as cell values do.
        std::string footer = c.encoding[0] == 'I'   ? "Caff\xC3\xA8 \xC3\x83\xC2\xA8"
                             : c.encoding[0] == 'w' ? "\xE2\x82\xAC R&amp;D \xC3\x83\xC2\xA8"
                                                    : c.sheet;
        EXPECT_NE(text.find("x:Data=\"" + footer + "\"/>"), std::string::npos) << c.encoding;
    }
}

TEST_F(Encoding, NamesAndTheirRefusal) {
    for (const char *name : {"ISO-8859-1", "latin-1", "WINDOWS-1252", "Cp1252", "utf-8"})
        EXPECT_EQ(xlsSetEncoding(name), -1) << name;
    for (const char *name : {"UTF8", "", "latin-1 "}) {
        std::string err = std::string("Codifica '") + name +
                          "' sconosciuta in xlsSetEncoding(): usare ISO-8859-1, Windows-1252 o UTF-8.\n";
        EXPECT_EQ(stderr_of([&] { EXPECT_EQ(xlsSetEncoding(name), 0); }), err);
        EXPECT_EQ(xlsGetError(), err);
    }
    // Still UTF-8, and kept across workbooks.
    ASSERT_EQ(xlsInit("out.xml", "\xC3\xA8"), -1);
    ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsWriteCell("\xE8", 'S', ""), -1);
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_TRUE(same_bytes(std::string(kStylesEnd) + sheet_start("S") + "   <Row>\n" + cell(kFFFD) +
                               sheet_end("S", true) + "</Workbook>\n",
                           without_created(read_file("out.xml")).substr(prologue("\xC3\xA8").size())));
}

TEST_F(Encoding, NewModesCutCellsAt32767UnitsAndNamesAt31Characters) {
    const Case cases[] = {
        {"UTF-8", rep(32766, "a") + "\xF0\x9F\x98\x80", rep(32766, "a"), rep(31, "\xE6\x97\xA5") + "x",
         rep(31, "\xE6\x97\xA5")},
        {"UTF-8", rep(40000, "\xC3\xA9"), rep(32767, "\xC3\xA9"), rep(30, "a") + "&amp;x", rep(30, "a") + "&amp;"},
        {"Windows-1252", rep(32768, "\n"), rep(32767, "&#10;"), rep(32, "\x80"), rep(31, "\xE2\x82\xAC")},
        {"Windows-1252", rep(5000, "&") + "b", rep(5000, "&amp;") + "b", "s", "s"},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(xlsSetEncoding(c.encoding), -1);
        ASSERT_EQ(xlsInit("out.xml", kAuthor.data()), -1);
        ASSERT_EQ(xlsAddSheet(c.name.c_str(), xlsSheetSetupDefault), -1);
        ASSERT_EQ(xlsWriteCellEx(c.value.c_str(), 'S', "txt", "=\"\"", 0, 0, 0), -1);
        ASSERT_EQ(xlsClose(), -1);
        std::string line = "    <Cell ss:Formula=\"=&quot;&quot;\" ss:StyleID=\"txt\" ><Data ss:Type=\"String\">" +
                           c.cell + "</Data></Cell>\n";
        std::string header = "Foglio Excel '" + c.sheet + "' generato automaticamente";
        std::string end = sheet_end("S", true);
        end.replace(end.find("Foglio Excel 'S' generato automaticamente"), 41, header);
        EXPECT_TRUE(same_bytes(std::string(kStylesEnd) + sheet_start(c.sheet) + "   <Row>\n" + line + end +
                                   "</Workbook>\n",
                               body_of()))
            << c.value.size();
    }
}

// The format's schema accepts a workbook of every mode; skipped without the validator.
TEST_F(Encoding, WorkbooksValidate) {
    std::filesystem::path validate;
    for (const char *up : {"/../shared/schema/validate", "/../../shared/schema/validate"})
        if (std::filesystem::exists(std::string(GRIDQUILL_SOURCE_DIR) + up))
            validate = std::string(GRIDQUILL_SOURCE_DIR) + up;
    if (validate.empty() || std::system("command -v xmllint >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "schema validator or xmllint not available";
    std::string files;
    for (const Case &c : kCases) {
        std::string file = std::string("v") + std::to_string(files.size()) + ".xml";
        ASSERT_EQ(xlsSetEncoding(c.encoding), -1);
        ASSERT_EQ(xlsInit(file.c_str(), c.name.c_str()), -1);
        ASSERT_EQ(xlsAddSheet(c.name.c_str(), xlsSheetSetupDefault), -1);
        ASSERT_EQ(xlsWriteCellEx(c.value.c_str(), 'S', "", "=\"<&\"", 0, 0, 0), -1);
        ASSERT_EQ(xlsClose(), -1);
        files += " " + file;
    }
    EXPECT_EQ(std::system((validate.string() + files + " >/dev/null").c_str()), 0);
}

}  // namespace
