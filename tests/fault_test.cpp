// Fault injection: a full device, output paths that cannot be created, merge inputs that
// cannot be read, end early or are huge; results, messages and the streams left open.
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "support.hpp"
#include "writer_util.hpp"

namespace fs = std::filesystem;
using namespace gqtest;

namespace {

const std::string kStylesEndLine = " </Styles>\n";

int open_fds() {
    DIR *d = opendir("/proc/self/fd");
    int n = 0;
    while (readdir(d) != nullptr) ++n;
    closedir(d);
    return n - 3;  // ".", ".." and the directory's own descriptor
}

std::string perror_text(const std::string &message, int err) {
    return message + ": " + std::strerror(err) + "\n";
}

// A workbook written by the library: sheets A and B with `rows` rows of two cells each.
std::string library_workbook(const char *path, int rows = 3) {
    EXPECT_EQ(xlsInit(path, "Fault"), -1);
    for (const char *sheet : {"A", "B"}) {
        xlsAddSheet(sheet, xlsSheetSetupDefault);
        for (int r = 0; r < rows; ++r) {
            xlsWriteCell(sheet, 'S', "");
            xlsWriteCell(std::to_string(r).c_str(), 'N', "num");
            xlsNewLine();
        }
    }
    EXPECT_EQ(xlsClose(), -1);
    EXPECT_EQ(xml_error(path), "");
    return read_file(path);
}

// The text after the first `from` (which must be there).
std::string after(const std::string &text, const std::string &from) {
    std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? "" : text.substr(at + from.size());
}

// The client's part of a merge this file's tests make: sheet C with one cell, the end.
std::string client_sheet() {
    static const std::string text = [] {
        xlsInit("client.xml", "");
        xlsAddSheet("C", xlsSheetSetupDefault);
        xlsWriteCell("c", 'S', "");
        xlsClose();
        EXPECT_EQ(xml_error("client.xml"), "");
        return after(read_file("client.xml"), kStylesEndLine);
    }();
    return text;
}

class Fault : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        // No workbook and no stream left over from an earlier test.
        xlsInit("/dev/null", "");
        xlsAddSheet("r", xlsSheetSetupDefault);
        xlsWriteCell("", 'S', "");
        xlsClose();
        fds = open_fds();
    }
    int fds = 0;
};

TEST_F(Fault, AFullDeviceFailsTheCloseAndClosesEveryStream) {
    library_workbook("in.xml");
    const struct {
        const char *name;
        bool merge;
        int cells;  // 40000 cells: far more than one stream buffer
    } rows[] = {{"small workbook", false, 1}, {"large workbook", false, 40000}, {"merge", true, 1}};
    const std::string message = "Errore in scrittura del file '/dev/full'";
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_EQ(row.merge ? xlsInitMerge("in.xml", "/dev/full") : xlsInit("/dev/full", "F"), -1);
        ASSERT_EQ(xlsAddSheet("C", xlsSheetSetupDefault), -1);
        for (int i = 0; i < row.cells; ++i) {
            if (i % 256 == 255) {
                ASSERT_EQ(xlsNewLine(), -1);
            }
            ASSERT_EQ(xlsWriteCell("valore", 'S', ""), -1);
        }
        int result = 1;
        EXPECT_EQ(own_stderr_of([&] { result = xlsClose(); }), perror_text(message, ENOSPC));
        EXPECT_EQ(result, 0);
        EXPECT_EQ(xlsGetError(), message);
        EXPECT_EQ(open_fds(), fds);
        // The workbook was ended all the same: a second close is refused for its phase.
        EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsClose(), 0); }),
                  "Non si puo' chiudere Excel a questo punto.\n");
    }
}

TEST_F(Fault, AWriteFailingDuringTheSheetCopyIsReportedAtTheClose) {
    std::string input = library_workbook("in.xml", 4000);
    ASSERT_GT(input.size(), 300000u);
    int result = 1;
    {
        SizeLimit cap(200000);
        ASSERT_EQ(xlsInitMerge("in.xml", "out.xml"), -1);
        ASSERT_EQ(xlsAddSheet("C", xlsSheetSetupDefault), -1);
        EXPECT_EQ(open_fds(), fds + 2);  // the input stays open until the close
        ASSERT_EQ(xlsWriteCell("c", 'S', ""), -1);
        own_stderr_of([&] { result = xlsClose(); });
    }
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(xlsGetError(), "Errore in scrittura del file 'out.xml'");
    EXPECT_EQ(fs::file_size("out.xml"), 200000u);
    EXPECT_NE(xml_error("out.xml"), "");  // a cut file is no workbook
    EXPECT_EQ(open_fds(), fds);
}

TEST_F(Fault, OutputPathsThatCannotBeCreatedOpenNothing) {
    library_workbook("in.xml");
    write_file("plain.txt", "x");
    const struct {
        std::string path;
        int err;
    } rows[] = {{"no/such/dir/out.xml", ENOENT}, {"plain.txt/out.xml", ENOTDIR}, {".", EISDIR}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.path);
        const std::string init = "Errore in apertura del file '" + row.path + "'";
        EXPECT_EQ(stderr_of([&] { EXPECT_EQ(xlsInit(row.path.c_str(), "F"), 0); }),
                  perror_text(init, row.err));
        EXPECT_EQ(xlsGetError(), init);
        EXPECT_EQ(open_fds(), fds);
        // The calls that follow run by their phase and write nothing.
        EXPECT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
        EXPECT_EQ(xlsWriteCell("a", 'S', ""), -1);
        stderr_of([] { EXPECT_EQ(xlsClose(), 0); });  // no workbook was written
        EXPECT_EQ(open_fds(), fds);

        const std::string merge = "Errore in apertura del file in output '" + row.path + "'";
        EXPECT_EQ(stderr_of([&] { EXPECT_EQ(xlsInitMerge("in.xml", row.path.c_str()), 0); }),
                  perror_text(merge, row.err));
        EXPECT_EQ(xlsGetError(), merge);
        EXPECT_EQ(open_fds(), fds + 1);  // the input stays open, as after any failed start
        stderr_of([] { EXPECT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1); });
        EXPECT_EQ(open_fds(), fds);  // the copy, missing its output, still closes the input
    }
    EXPECT_EQ(read_file("plain.txt"), "x");
    EXPECT_FALSE(fs::exists("no"));
}

TEST_F(Fault, AReadOnlyDirectoryRefusesTheOutput) {
    // Root writes into a directory without write permission, so the case cannot be made.
    if (geteuid() == 0) GTEST_SKIP() << "running as root: permissions do not stop writes";
    fs::create_directory("ro");
    fs::permissions("ro", fs::perms::owner_read | fs::perms::owner_exec);
    const std::string message = "Errore in apertura del file 'ro/out.xml'";
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsInit("ro/out.xml", "F"), 0); }),
              perror_text(message, EACCES));
    EXPECT_EQ(xlsGetError(), message);
    EXPECT_EQ(open_fds(), fds);
    fs::permissions("ro", fs::perms::owner_all);
}

TEST_F(Fault, MergeInputsThatCannotBeReadAreRefused) {
    fs::create_directory("dir.xml");
    // A directory opens for reading but every read fails.
    const std::string readError = "Errore in lettura del file in input.";
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsInitMerge("dir.xml", "out.xml"), 0); }),
              perror_text(readError, EISDIR));
    EXPECT_EQ(xlsGetError(), readError);
    EXPECT_FALSE(fs::exists("out.xml"));
    EXPECT_EQ(open_fds(), fds);  // the refused input is closed, no output opened
    const std::string missing = "Errore in apertura del file in input 'nope.xml'";
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsInitMerge("nope.xml", "out.xml"), 0); }),
              perror_text(missing, ENOENT));
    EXPECT_EQ(xlsGetError(), missing);
    EXPECT_EQ(open_fds(), fds);
}

TEST_F(Fault, AnInputEndingBeforeItsWorkbookEndIsRefused) {
    const std::string whole = library_workbook("whole.xml");
    const std::string sheets = after(whole, kStylesEndLine);
    const std::size_t sheetB = sheets.find(" <Worksheet ss:Name=\"B\" >\n");
    const std::size_t cellB = sheets.find("<Cell ", sheetB);
    const std::size_t cuts[] = {cellB + 3, sheets.find('\n', cellB) + 1, sheetB,
                                sheets.find("</Workbook>\n")};
    const std::string truncated = "File in input troncato: manca il tag </Workbook>.";
    for (std::size_t cut : cuts) {
        write_file("in.xml", whole.substr(0, whole.size() - sheets.size() + cut));
        EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsInitMerge("in.xml", "out.xml"), 0); }), truncated);
        EXPECT_EQ(open_fds(), fds);
        EXPECT_FALSE(fs::exists("out.xml"));
    }
}

TEST_F(Fault, AHugeInputWithVeryLongLinesIsCopiedWhole) {
    const std::string whole = library_workbook("whole.xml");
    const std::string styles = whole.substr(0, whole.find(kStylesEndLine) + kStylesEndLine.size());
    // Sheet Big: 24 lines of one mebibyte each, every line a row of 16384 cells; its start
    // line is itself longer than one read, with the name in the first piece.
    std::string cells;
    while (cells.size() < (1u << 20) - 64) cells += "<Cell><Data ss:Type=\"Number\">1</Data></Cell>";
    std::string big = " <Worksheet ss:Name=\"Big\" " + std::string(5000, ' ') + ">\n  <Table>\n";
    for (int i = 0; i < 24; ++i) big += "   <Row>" + cells + "</Row>\n";
    big += "  </Table>\n </Worksheet>\n";
    const std::string small = " <Worksheet ss:Name=\"Small\" >\n  <Table/>\n </Worksheet>\n";
    write_file("in.xml", styles + big + small + "</Workbook>\n");
    ASSERT_GT(fs::file_size("in.xml"), 24u << 20);

    for (bool markBig : {false, true}) {
        SCOPED_TRACE(markBig ? "Big marked" : "nothing marked");
        ASSERT_EQ(xlsInitMerge("in.xml", "out.xml"), -1);
        if (markBig) {
            ASSERT_EQ(xlsSheetDelete("Big"), -1);
        }
        ASSERT_EQ(xlsAddSheet("C", xlsSheetSetupDefault), -1);
        EXPECT_EQ(open_fds(), fds + 2);
        ASSERT_EQ(xlsWriteCell("c", 'S', ""), -1);
        ASSERT_EQ(xlsClose(), -1);
        EXPECT_EQ(open_fds(), fds);
        EXPECT_TRUE(same_bytes(styles + (markBig ? "" : big) + small + without_selected(client_sheet()),
                               read_file("out.xml")));
        EXPECT_EQ(xml_error("out.xml"), "");
    }
}

}  // namespace
