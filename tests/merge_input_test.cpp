// Merge inputs whose layout the line copy cannot carry into a well-formed workbook are
// refused by the start, before anything is opened for writing.
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "support.hpp"
#include "writer_util.hpp"

using namespace gqtest;
namespace fs = std::filesystem;

namespace {

class MergeInput : public TempDirTest {};

// A two-sheet workbook written by the library, and its text.
std::string library_input(const char *path) {
    EXPECT_EQ(xlsInit(path, "M"), -1);
    for (const char *sheet : {"A", "B"}) {
        xlsAddSheet(sheet, xlsSheetSetupDefault);
        xlsWriteCell("1", 'N', "num");
    }
    EXPECT_EQ(xlsClose(), -1);
    return read_file(path);
}

// The start refuses `path` with `message`; the old output stays as it was.
void expect_refused(const char *path, const std::string &message) {
    write_file("out.xml", "old");
    EXPECT_EQ(stderr_of([&] { EXPECT_EQ(xlsInitMerge(path, "out.xml"), 0); }), message);
    EXPECT_EQ(xlsGetError(), message);
    EXPECT_EQ(read_file("out.xml"), "old");
    for (const auto &fd : fs::directory_iterator("/proc/self/fd"))  // the input is closed
        EXPECT_NE(fs::read_symlink(fd.path(), *std::make_unique<std::error_code>()),
                  fs::absolute(path));
}

TEST_F(MergeInput, LayoutsTheCopyCannotCarryAreRefused) {
    const std::string good = library_input("good.xml");
    auto with = [&](std::string_view from, std::string_view to) {
        std::string s = good;
        return s.replace(s.find(from), from.size(), to);
    };
    const std::size_t sheetB = good.find(" <Worksheet ss:Name=\"B\"");
    const std::string layout = ": non e' nel formato a righe scritto da questa libreria.";
    const struct {
        const char *what;
        std::string input, message;
    } rows[] = {
        {"cut inside a line", good.substr(0, sheetB + 10), "File in input troncato: manca il tag </Workbook>."},
        {"cut between sheets", good.substr(0, sheetB), "File in input troncato: manca il tag </Workbook>."},
        {"styles end after a style", with("  </Style>\n </Styles>", "  </Style> </Styles>"),
         "File in input con il tag </Styles>" + layout},
        {"two sheets on a line", with(" </Worksheet>\n <Worksheet ss:Name=\"B\"", " </Worksheet><Worksheet ss:Name=\"B\""),
         "File in input con il tag <Worksheet>" + layout},
        {"sheet start split", with("<Worksheet ss:Name=\"B\"", "<Worksheet\n ss:Name=\"B\""),
         "File in input con il tag <Worksheet>" + layout},
        {"name cut", with("ss:Name=\"B\"", "ss:Name=\"B"), "File in input con tag <Worksheet> con Name malformato."},
        {"name too long", with("ss:Name=\"B\"", "ss:Name=\"" + std::string(200, 'n') + "\""),
         "File in input con tag <Worksheet> con Name troppo lungo (al massimo 199 caratteri)."},
        {"end tag crossed", with("   <Row>", "   <Rows>"), "File in input con XML non ben formato alla riga 42."},
        {"bare ampersand", with(">1<", ">1 & 2<"), "File in input con XML non ben formato alla riga 41."},
        {"no ss prefix", with(" xmlns:ss=", " xmlns:s="),
         "File in input senza un tag <Workbook> con gli spazi dei nomi di Excel."},
        {"workbook end shared", with("</Workbook>\n", "</Workbook><!-- fine -->\n"),
         "File in input con il tag </Workbook>" + layout},
    };
    for (const auto &row : rows) {
        write_file("in.xml", row.input);
        SCOPED_TRACE(row.what);
        expect_refused("in.xml", row.message);
    }
}

// LibreOffice writes the whole workbook after its first line as one line.
TEST_F(MergeInput, LibreOfficesOwnFilesAreRefused) {
    if (std::system("command -v soffice > /dev/null") != 0)
        GTEST_SKIP() << "LibreOffice (soffice) is not installed: its files cannot be made";
    library_input("good.xml");
    std::string command = "soffice --headless -env:UserInstallation=file://" + dir.string() +
                          "/profile --convert-to 'xml:MS Excel 2003 XML' --outdir lo good.xml "
                          "> /dev/null 2>&1 < /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_EQ(xml_error("lo/good.xml"), "");
    expect_refused("lo/good.xml",
                   "File in input con il tag </Styles>: non e' nel formato a righe scritto da "
                   "questa libreria.");
}

}  // namespace
