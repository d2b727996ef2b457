// Opening a workbook: the prologue, the defaults, the refused and failing opens, the
// error text's lifetime, the behaviour without an output stream, and null texts.
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <regex>

#include "support.hpp"
#include "writer_util.hpp"

using namespace gqtest;

namespace {

class Open : public TempDirTest {};

std::string utc_now() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char s[22];
    std::strftime(s, sizeof s, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return s;
}

bool dir_is_empty() { return std::filesystem::is_empty(std::filesystem::current_path()); }

// A sheet with one cell, then the close.
void small_workbook_rest() {
    ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);
    ASSERT_EQ(xlsClose(), -1);
}

// A one-cell workbook at `path`, closed.
void small_workbook(const char *path, const char *author) {
    ASSERT_EQ(xlsInit(path, author), -1);
    ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);
    ASSERT_EQ(xlsClose(), -1);
}

TEST_F(Open, WritesThe36LinePrologueWithTheUtcCreationTime) {
    std::string before = utc_now();
    small_workbook("out.xml", "Autore");
    std::string after = utc_now();
    std::string text = read_file("out.xml");
    EXPECT_EQ(xml_error("out.xml"), "");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(text, m, std::regex("\n  <Created>(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ)</Created>\n")));
    EXPECT_LE(before, m[1].str());
    EXPECT_GE(after, m[1].str());
    std::string expected = prologue("Autore") + std::string(kStylesEnd) + sheet_start("S") +
                           "   <Row>\n" + cell("x") + sheet_end("S", true) + "</Workbook>\n";
    EXPECT_TRUE(same_bytes(expected, without_created(text)));
    std::string head = prologue("Autore");
    EXPECT_EQ(std::count(head.begin(), head.end(), '\n'), 36);
}

TEST_F(Open, DefaultsAndAuthorLimits) {
    const std::string a99(99, 'a'), a120(120, 'b');
    struct Case {
        const char *path, *author, *file;
        std::string lastAuthor;
    } cases[] = {
        {"", "", "Cartella", "Cartella"},
        {nullptr, nullptr, "Cartella", "Cartella"},
        {"out.xml", "A&amp;B", "out.xml", "A&amp;B"},
        {"out.xml", a99.c_str(), "out.xml", a99},
        {"out.xml", a120.c_str(), "out.xml", a120.substr(0, 99)},
    };
    for (const Case &c : cases) {
        small_workbook(c.path, c.author);
        std::string text = without_created(read_file(c.file));
        EXPECT_EQ(xml_error(c.file), "") << c.file;
        EXPECT_TRUE(same_bytes(prologue(c.lastAuthor), text.substr(0, prologue(c.lastAuthor).size())));
    }
}

// A relative path of exactly `length` characters whose directories exist.
std::string long_path(std::size_t length, char last) {
    std::string path;
    for (; length - path.size() > 255; path += std::string(200, 'd') + "/")
        std::filesystem::create_directories(path + std::string(200, 'd'));
    return path + std::string(length - path.size(), last);
}

TEST_F(Open, TakesPathsUpToTheSystemsLimit) {
    for (std::size_t length : {203u, 4095u}) {  // as input and output of a merge too
        const std::string in = long_path(length, 'i'), out = long_path(length, 'o');
        small_workbook(in.c_str(), "T");
        ASSERT_EQ(xlsInitMerge(in.c_str(), out.c_str()), -1) << length;
        ASSERT_EQ(xlsSheetReplace("S"), -1);
        small_workbook_rest();
        EXPECT_EQ(xml_error(in), "");
        EXPECT_EQ(xml_error(out), "");
    }
    const std::string path = long_path(4096, 'q');
    for (bool merge : {false, true}) {
        std::string message = (std::string(merge ? "Errore in apertura del file in output '"
                                                 : "Errore in apertura del file '") + path + "'")
                                  .substr(0, 254);
        int result = 1;
        std::string err = stderr_of([&] {
            result = merge ? xlsInitMerge(long_path(203, 'i').c_str(), path.c_str())
                           : xlsInit(path.c_str(), "T");
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(xlsGetError(), message);
        EXPECT_EQ(err, message + ": " + std::strerror(ENAMETOOLONG) + "\n");
    }
}

TEST_F(Open, MissingDirectoryReportsTheSystemsReason) {
    int result = 1;
    std::string err = stderr_of([&] { result = xlsInit("nodir/out.xml", "T"); });
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(xlsGetError(), "Errore in apertura del file 'nodir/out.xml'");
    EXPECT_EQ(err, std::string("Errore in apertura del file 'nodir/out.xml': ") +
                       std::strerror(ENOENT) + "\n");
}

TEST_F(Open, WithoutAStreamOnlyTheCloseFails) {
    stderr_of([] { xlsInit("nodir/out.xml", "T"); });
    std::string err = stderr_of([] {
        EXPECT_EQ(xlsAddSheet("A", xlsSheetSetupDefault), -1);
        EXPECT_EQ(xlsColumn(1, 50, "txt"), -1);
        EXPECT_EQ(xlsNewLineEx(1, 20, "num"), -1);
        EXPECT_EQ(xlsWriteCellEx("v", 'N', "num", "=1", 1, 1, 1), -1);
        EXPECT_EQ(xlsAddSheet("B", xlsSheetSetupDefault), -1);
        EXPECT_EQ(xlsWriteCell("w", 'S', ""), -1);
        EXPECT_EQ(xlsClose(), 0);
    });
    const char *notWritten = "Nessun file in output aperto: la cartella di lavoro non e' stata scritta.\n";
    EXPECT_EQ(err, notWritten);
    EXPECT_STREQ(xlsGetError(), notWritten);
    EXPECT_TRUE(dir_is_empty());
}

TEST_F(Open, ErrorTextLastsUntilTheNextOpen) {
    ASSERT_EQ(xlsInit("out.xml", "T"), -1);
    EXPECT_STREQ(xlsGetError(), "");
    stderr_of([] { EXPECT_EQ(xlsClose(), 0); });
    const char *refused = "Non si puo' chiudere Excel a questo punto.\n";
    EXPECT_STREQ(xlsGetError(), refused);
    ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_STREQ(xlsGetError(), refused);
    EXPECT_EQ(xml_error("out.xml"), "");
    ASSERT_EQ(xlsInit("out2.xml", "T"), -1);
    EXPECT_STREQ(xlsGetError(), "");
    stderr_of([] { xlsInit("nodir/x", "T"); });
    EXPECT_EQ(xlsInit("", "T"), -1);
    EXPECT_STREQ(xlsGetError(), "");
    EXPECT_EQ(xlsGetError(), xlsGetError());
}

TEST_F(Open, ClosesAnEarlierUnfinishedWorkbook) {
    ASSERT_EQ(xlsInit("first.xml", kAuthor.data()), -1);
    ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsWriteCell("one", 'S', ""), -1);
    ASSERT_EQ(xlsInit("out.xml", kAuthor.data()), -1);
    ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsWriteCell("two", 'S', ""), -1);
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_TRUE(same_bytes(prologue(kAuthor) + std::string(kStylesEnd) + sheet_start("S") +
                               "   <Row>\n" + cell("one"),
                           without_created(read_file("first.xml"))));
    EXPECT_TRUE(same_bytes(one_sheet("   <Row>\n" + cell("two")), body_of()));
}

TEST_F(Open, NullTextsAreTakenAsEmpty) {
    ASSERT_EQ(xlsInit("out.xml", kAuthor.data()), -1);
    ASSERT_EQ(xlsAddSheet(nullptr, xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsColumn(1, 40, nullptr), -1);
    ASSERT_EQ(xlsNewLineEx(0, 0, nullptr), -1);
    ASSERT_EQ(xlsWriteCellEx(nullptr, 'S', nullptr, nullptr, 0, 0, 0), -1);
    ASSERT_EQ(xlsWriteCell(nullptr, 'N', nullptr), -1);
    ASSERT_EQ(xlsClose(), -1);
    std::string rows = "   <Column ss:Index=\"1\"  ss:AutoFitWidth=\"0\" ss:Width=\"40\"/>\n"
                       "   <Row>\n" + cell("") + cell("", "Number");
    EXPECT_TRUE(same_bytes(std::string(kStylesEnd) + sheet_start("NoName") + rows +
                               sheet_end("NoName", true) + "</Workbook>\n",
                           body_of()));
}

}  // namespace
