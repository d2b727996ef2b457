// Closing a workbook: the phase rule, the reset of the registries, and failed writes
// (a full device, and a file-size limit that cuts the output at chosen points).
#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "support.hpp"
#include "writer_util.hpp"

using namespace gqtest;

namespace {

class Close : public TempDirTest {};

const std::string kRefused = "Non si puo' chiudere Excel a questo punto.\n";
const std::string kNotWritten =
    "Nessun file in output aperto: la cartella di lavoro non e' stata scritta.\n";

int refused_close() {
    int result = 1;
    EXPECT_EQ(stderr_of([&] { result = xlsClose(); }), kRefused);
    return result;
}

TEST_F(Close, NeedsACellInTheLastWorksheet) {
    ASSERT_EQ(xlsInit("out.xml", kAuthor.data()), -1);
    EXPECT_EQ(refused_close(), 0);
    ASSERT_EQ(xlsAddSheet("A", xlsSheetSetupDefault), -1);
    EXPECT_EQ(refused_close(), 0);
    ASSERT_EQ(xlsWriteCell("a", 'S', ""), -1);
    ASSERT_EQ(xlsAddSheet("B", xlsSheetSetupDefault), -1);
    EXPECT_EQ(refused_close(), 0);
    ASSERT_EQ(xlsWriteCell("b", 'S', ""), -1);
    EXPECT_EQ(xlsClose(), -1);
    EXPECT_EQ(refused_close(), 0);
    EXPECT_EQ(xlsGetError(), kRefused);
    EXPECT_TRUE(same_bytes(std::string(kStylesEnd) + sheet_start("A") + "   <Row>\n" + cell("a") +
                               sheet_end("A", true) + sheet_start("B") + "   <Row>\n" + cell("b") +
                               sheet_end("B", true, false) + "</Workbook>\n",
                           body_of()));
}

TEST_F(Close, EmptiesTheRegistries) {
    open_with_sheet();
    ASSERT_EQ(xlsWriteCell("a", 'S', "num"), -1);
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_EQ(xml_error("out.xml"), "");
    ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);  // the name is free again
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsWriteCell("a", 'S', "num"), 0); }),
              "ID stile 'num' errato o mancante in xlsWriteCell().\n");
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsNewLineEx(0, 0, "txt"), 0); }),
              "ID stile 'txt' errato o mancante in xlsNewLine().\n");
    ASSERT_EQ(xlsWriteCell("a", 'S', ""), -1);
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsClose(), 0); }), kNotWritten);  // no stream
    EXPECT_EQ(xlsGetError(), kNotWritten);
}

TEST_F(Close, AFullDeviceIsReported) {
    ASSERT_EQ(xlsInit("/dev/full", "T"), -1);
    ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsWriteCell("a", 'S', ""), -1);
    int result = 1;
    std::string err = stderr_of([&] { result = xlsClose(); });
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(xlsGetError(), "Errore in scrittura del file '/dev/full'");
    EXPECT_EQ(err, std::string("Errore in scrittura del file '/dev/full': ") + std::strerror(ENOSPC) + "\n");
    EXPECT_EQ(refused_close(), 0);  // the workbook was ended all the same
    open_with_sheet();
    ASSERT_EQ(xlsWriteCell("a", 'S', ""), -1);
    EXPECT_EQ(xlsClose(), -1);
    EXPECT_TRUE(same_bytes(one_sheet("   <Row>\n" + cell("a")), body_of()));
}

// Writes a workbook of about 200 KB to out.xml: more than one stream buffer.
void large_workbook() {
    open_with_sheet();
    for (int i = 0; i < 2000; ++i) {
        xlsWriteCell(std::string(80, static_cast<char>('a' + i % 26)).c_str(), 'S', "");
        if (i % 10 == 9) xlsNewLine();
    }
}

TEST_F(Close, AWriteFailingAnywhereIsReported) {
    large_workbook();
    ASSERT_EQ(xlsClose(), -1);
    const std::string whole = read_file("out.xml");
    ASSERT_EQ(xml_error("out.xml"), "");
    ASSERT_GT(whole.size(), 150000u);
    // Cut inside the prologue, in the first worksheet, past the first full stream buffer,
    // and inside the end tag.
    for (std::size_t limit : {1000u, 5000u, 140000u, static_cast<unsigned>(whole.size() - 5)}) {
        int result = 1;
        std::string err;
        {
            SizeLimit cap(limit);
            large_workbook();
            err = stderr_of([&] { result = xlsClose(); });
        }
        EXPECT_EQ(result, 0) << limit;
        EXPECT_STREQ(xlsGetError(), "Errore in scrittura del file 'out.xml'") << limit;
        EXPECT_EQ(err, std::string("Errore in scrittura del file 'out.xml': ") + std::strerror(EFBIG) + "\n");
        std::string part = read_file("out.xml");
        EXPECT_EQ(part.size(), limit);
        EXPECT_TRUE(same_bytes(without_created(whole).substr(0, limit), without_created(part))) << limit;
        EXPECT_NE(xml_error("out.xml"), "");  // a cut file is not a workbook
    }
}

}  // namespace
