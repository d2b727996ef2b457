// Merge inputs as their producers write them: the corpus edited every way a merge edits,
// workbooks LibreOffice writes, and the inputs refused before anything is written.
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "support.hpp"
#include "writer_util.hpp"

using namespace gqtest;
namespace fs = std::filesystem;

namespace {

class MergeInput : public TempDirTest {};

const fs::path kCorpus = fs::path(GRIDQUILL_SOURCE_DIR) / "tests" / "merge_corpus";

// `latin1` in UTF-16BE with its BOM, 0x01 the pair of U+1F600 and 0x02 a lone low surrogate.
std::string utf16be(std::string_view latin1) {
    std::string s = "\xFE\xFF";
    for (char c : latin1)
        s += c == 1   ? std::string("\xD8\x3D\xDE\x00", 4)
             : c == 2 ? std::string("\xDC\x00", 2)
                      : std::string{'\0', c};
    return s;
}

std::size_t count(const std::string &text, std::string_view what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The marks, in the input's order: 'd' left out, 'r' replaced, 'a' continued (its next
// row as xlsGetPosition names it).
struct Mark {
    char kind;
    const char *name;
    const char *position = "A1";
};

// Merges `input` with `marks`, a new style and a new sheet; the output is well-formed, valid where the
// input was, has at most one selected sheet and none of the sheets left out.
void merge_and_check(const fs::path &input, const std::vector<Mark> &marks,
                     const char *style = "nuovo") {
    ASSERT_EQ(xlsInitMerge(input.c_str(), "out.xml"), -1) << xlsGetError();
    for (const Mark &m : marks)
        ASSERT_EQ(m.kind == 'd' ? xlsSheetDelete(m.name)
                  : m.kind == 'r' ? xlsSheetReplace(m.name)
                                  : xlsSheetAppend(m.name),
                  -1)
            << m.name << ": " << xlsGetError();
    ASSERT_EQ(xlsAddStyle(xlsStyleDefault, style), -1);
    for (const Mark &m : marks) {
        if (m.kind == 'd') continue;
        ASSERT_EQ(xlsAddSheet(m.name, xlsSheetSetupDefault), -1) << m.name;
        EXPECT_STREQ(xlsGetPosition(), m.position) << m.name;
        ASSERT_EQ(xlsWriteCell("nuovo & <altro>", 'S', style), -1);
        ASSERT_EQ(xlsNewLine(), -1);
        ASSERT_EQ(xlsWriteCell("12.5", 'N', "num"), -1);
    }
    ASSERT_EQ(xlsAddSheet(style, xlsSheetSetupDefault), -1);  // a sheet of that name
    ASSERT_EQ(xlsWriteCell("1", 'N', ""), -1);
    ASSERT_EQ(xlsClose(), -1) << xlsGetError();
    EXPECT_EQ(xml_error("out.xml"), "");
    std::string out = read_file("out.xml");
    EXPECT_LE(count(out, "Selected/>"), 1u);
    for (const Mark &m : marks) {
        if (m.kind == 'd') {
            EXPECT_EQ(out.find(std::string("Name=\"") + m.name + "\""), std::string::npos);
        }
    }
    if (const auto inputErrors = schema_errors(input); inputErrors && inputErrors->empty()) {
        EXPECT_EQ(schema_errors("out.xml").value_or(""), "");
    }
}

TEST_F(MergeInput, EveryProducersWorkbookIsEditedEveryWay) {
    const struct {
        const char *file;
        std::vector<Mark> marks;
    } rows[] = {
        {"excel2002_orcus_basic.xml", {{'a', "Data", "A10"}, {'d', "2nd"}}},
        {"excel2002_orcus_basic_utf16le.xml", {{'d', "Data"}, {'r', "2nd"}}},
        {"excel2013_sheetjs_named_ranges.xml", {{'r', "Named Ranges"}, {'a', "Cross-Sheet", "A3"}}},
        {"excel2016_phpspreadsheet_excel2003_template.xml",
         {{'a', "Sample Data", "A33"}, {'d', "Report Data"}}},
        {"excelmac2011_sheetjs_autofilter.xml",
         {{'d', "Just Filter"}, {'r', "One Cond"}, {'a', "Two Cond", "A23"}}},
        {"dotnet_roo_s_prefix_bom.xml", {{'a', "YDNA DYS Values", "A3"}}},
        {"lo74_multi_sheet_styles_merges.xml",
         {{'a', "Donn\xC3\xA9" "es", "A7"}, {'r', "R&D"}, {'d', "Empty"}}},
        {"handmade_empty_parts.xml", {{'d', "Scelto"}, {'a', "Vuoto"}}},
        {"handmade_empty_workbook.xml", {}},
    };
    ASSERT_EQ(xlsSetEncoding("UTF-8"), -1);
    for (const auto &row : rows) {
        SCOPED_TRACE(row.file);
        merge_and_check(kCorpus / row.file, row.marks);
    }
    ASSERT_EQ(xlsSetEncoding("Latin-1"), -1);
}

// Texts as the output declares them, UTF-8: other encodings transcoded, and Excel's &#7;
// for =CHAR(7), which XML forbids, as a blank.
TEST_F(MergeInput, TextsComeOutInUtf8) {
    auto book = [](std::string_view declaration, std::string_view text) {
        return std::string(declaration) +
               "\r\n<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\"\r\n"
               " xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\">\r\n <Worksheet "
               "ss:Name=\"F\">\r\n  <Table>\r\n   <Row><Cell><Data ss:Type=\"String\">" +
               std::string(text) + "</Data></Cell></Row>\r\n  </Table>\r\n </Worksheet>\r\n</Workbook>\r\n";
    };
    const struct {
        std::string input, text, declaration;
    } rows[] = {
        {book("<?xml version=\"1.0\"?>", "a&#7;b&#x1F;c&#10;d"), ">a b c&#10;d<",
         "<?xml version=\"1.0\"?>"},
        {book("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", "Voil\xE0"), ">Voil\xC3\xA0<",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"},
        {book("<?xml version='1.0' encoding='windows-1252' standalone='yes'?>", "\x80 5"),
         ">\xE2\x82\xAC 5<", "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"},
        {utf16be(book("<?xml version=\"1.0\"?>", "Voil\xE0")), ">Voil\xC3\xA0<",
         "<?xml version=\"1.0\"?>"},
        {utf16be(book("<?xml version=\"1.0\"?>", "\x01!")), ">\xF0\x9F\x98\x80!<",
         "<?xml version=\"1.0\"?>"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.text);
        write_file("in.xml", row.input);
        merge_and_check("in.xml", {});
        const std::string out = read_file("out.xml");
        EXPECT_NE(out.find(row.text), std::string::npos);
        EXPECT_TRUE(out.starts_with(row.declaration + "\r\n<Workbook ")) << out.substr(0, 80);
    }
}

// The input's names and sheets are the workbook's: a client's of the same name, case
// aside, is a duplicate; a sheet the input lacks cannot be marked.
TEST_F(MergeInput, TheInputsNamesAndSheetsCount) {
    ASSERT_EQ(xlsInitMerge((kCorpus / "excel2013_sheetjs_named_ranges.xml").c_str(), "out.xml"), -1);
    EXPECT_STREQ(xlsGetMergeSheet(1), "Cross-Sheet");
    EXPECT_EQ(xlsGetMergeSheet(2), nullptr);
    const struct {
        std::function<int()> call;
        std::string message;
    } rows[] = {
        {[] { return xlsAddName("COL1_", "=R1C1"); }, "Nome 'COL1_' duplicato in xlsAddName().\n"},
        {[] { return xlsSheetDelete("Nessuno"); },
         "Foglio 'Nessuno' non presente nel file in input in xlsSheetDelete().\n"},
        {[] { return xlsAddSheet("cross-sheet", xlsSheetSetupDefault); },
         "Nome Sheet 'cross-sheet' duplicato in xlsAddSheet().\n"},
    };
    for (const auto &row : rows) EXPECT_EQ(stderr_of([&] { EXPECT_EQ(row.call(), 0); }), row.message);
    xlsAbandon();
}

// What the start refuses: 0 and the message, the old output left as it was, the input closed.
TEST_F(MergeInput, InputsThatAreNoWorkbookAreRefusedWithTheirPlace) {
    const std::string head = "<?xml version=\"1.0\"?>\n<Workbook xmlns=\"urn:schemas-microsoft-com:"
                             "office:spreadsheet\" xmlns:ss=\"urn:schemas-microsoft-com:office:"
                             "spreadsheet\">\n";
    const std::string sheet = " <Worksheet ss:Name=\"A\"><Table><Row><Cell><Data ss:Type=\"String\">";
    const std::string end = "</Data></Cell></Row></Table></Worksheet>\n</Workbook>\n";
    const std::string notWellFormed = "File in input con XML non ben formato alla riga ";
    std::string many_sheets;
    for (int i = 0; i <= 1024; ++i)
        many_sheets += " <Worksheet ss:Name=\"" + std::to_string(i) + "\"/>\n";
    const struct {
        const char *what;
        std::string input, message;
    } rows[] = {
        {"two byte-order marks", "\xEF\xBB\xBF\xEF\xBB\xBF" + head + sheet + end,
         notWellFormed + "1, colonna 2 (carattere o segno non valido).\n"},
        {"text before the declaration", "\t" + head + sheet + end,
         notWellFormed + "1, colonna 2 (dichiarazione XML non all'inizio del file).\n"},
        {"an undefined entity", head + sheet + "&alpha;" + end,
         notWellFormed + "3, colonna 66 (entita' non definita).\n"},
        {"an unescaped ampersand", head + sheet + "R & D" + end,
         notWellFormed + "3, colonna 69 (carattere o segno non valido).\n"},
        {"a DOCTYPE with entities",
         "<!DOCTYPE Workbook [<!ENTITY a \"aaaa\">]>\n" + head + sheet + end,
         "File in input con una DOCTYPE che dichiara entita': non se ne espandono.\n"},
        {"no spreadsheet Workbook", "<?xml version=\"1.0\"?>\n<Workbook/>\n",
         "File in input senza un tag <Workbook> con gli spazi dei nomi di Excel."},
        {"an unknown encoding",
         "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n" + head.substr(22),
         "File in input con la codifica 'Shift_JIS' non gestita: si leggono UTF-8, UTF-16, "
         "ISO-8859-1 e Windows-1252.\n"},
        {"a token past the parser's memory",
         head + "<!--" + std::string(600000, 'c') + "-->" + sheet + end,
         "File in input con un elemento troppo grande da leggere (oltre 256 KiB) alla riga 3, "
         "colonna 1.\n"},
        {"an unbound prefix", head + " <y:Worksheet ss:Name=\"A\"/>\n</Workbook>\n",
         notWellFormed + "3, colonna 2 (prefisso senza spazio dei nomi).\n"},
        {"a lone UTF-16 surrogate", utf16be(head + sheet + "\x02" + end),
         notWellFormed + "3, colonna 66 (carattere o segno non valido).\n"},
        {"a mismatched end tag", head + sheet + "</Cell>" + end,
         notWellFormed + "3, colonna 68 (tag di chiusura che non corrisponde).\n"},
        {"a repeated attribute", head + " <Worksheet ss:Name=\"A\" ss:Name=\"B\"/>\n</Workbook>\n",
         notWellFormed + "3, colonna 25 (attributo ripetuto).\n"},
        {"text after the Workbook", head + sheet + end + "x",
         notWellFormed + "5, colonna 1 (contenuto dopo la fine del documento).\n"},
        {"a character reference to no character", head + sheet + "&#xFFFE;" + end,
         notWellFormed + "3, colonna 66 (riferimento a un carattere non ammesso).\n"},
        {"a skipped entity",
         head.substr(0, 22) + "<!DOCTYPE Workbook SYSTEM \"w.dtd\">\n" + head.substr(22) + sheet +
             "&x;" + end,
         "File in input con l'entita' non definita 'x'.\n"},
        {"a rebound prefix",
         head.substr(0, head.size() - 2) + " xmlns:x=\"urn:x\">\n" + sheet + end,
         "File in input con il prefisso 'x' legato a un altro spazio dei nomi nel tag "
         "<Workbook>.\n"},
        {"a sheet name over 199 characters",
         head + " <Worksheet ss:Name=\"" + std::string(200, 'n') + "\"/>\n</Workbook>\n",
         "File in input con tag <Worksheet> con Name troppo lungo (al massimo 199 caratteri)."},
        {"over 1024 sheets", head + many_sheets + "</Workbook>\n",
         "File in input con troppi fogli (al massimo 1024).\n"},
        {"a producer's unescaped texts", read_file(kCorpus / "malformed_sheetjs0185_unescaped.xml"),
         notWellFormed + "2, colonna 432 (carattere o segno non valido).\n"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        write_file("in.xml", row.input);
        write_file("out.xml", "old");
        EXPECT_EQ(stderr_of([&] { EXPECT_EQ(xlsInitMerge("in.xml", "out.xml"), 0); }), row.message);
        EXPECT_EQ(read_file("out.xml"), "old");
        for (const auto &fd : fs::directory_iterator("/proc/self/fd"))  // the input is closed
            EXPECT_NE(fs::read_symlink(fd.path(), *std::make_unique<std::error_code>()),
                      fs::absolute("in.xml"));
    }
}

// LibreOffice writes the whole workbook on one line: merged both ways with the library's.
TEST_F(MergeInput, LibreOfficesWorkbooksMergeBothWays) {
    if (std::system("command -v soffice > /dev/null") != 0)
        GTEST_SKIP() << "LibreOffice (soffice) is not installed: its files cannot be made";
    ASSERT_EQ(xlsInit("ours.xml", "M"), -1);
    for (const char *name : {"A", "B", "C"}) {
        ASSERT_EQ(xlsAddSheet(name, xlsSheetSetupDefault), -1);
        ASSERT_EQ(xlsWriteCellEx("1", 'N', "num", "=1+R[0]C[1]", 0, 1, 2), -1);
    }
    ASSERT_EQ(xlsClose(), -1);
    std::string command = "soffice --headless -env:UserInstallation=file://" + dir.string() +
                          "/profile --convert-to 'xml:MS Excel 2003 XML' --outdir lo ours.xml "
                          "> /dev/null 2>&1 < /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_EQ(xml_error("lo/ours.xml"), "");
    merge_and_check("lo/ours.xml", {{'d', "A"}, {'r', "B"}, {'a', "C", "A4"}});
    fs::rename("out.xml", "merged.xml");
    merge_and_check("merged.xml", {{'r', "B"}, {'a', "C", "A6"}, {'d', "nuovo"}}, "nuovo2");
}

}  // namespace
