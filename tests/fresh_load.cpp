// The library as loaded, before any workbook: each case runs in a process of its own
// under CTest, so each sees the writer state exactly as loading left it.
#include <filesystem>

#include "support.hpp"

using namespace gqtest;

namespace {

class FreshLoad : public TempDirTest {};

TEST_F(FreshLoad, NoErrorYet) { EXPECT_STREQ(xlsGetError(), ""); }

TEST_F(FreshLoad, CloseIsRefused) {
    int result = 1;
    EXPECT_EQ(stderr_of([&] { result = xlsClose(); }), "Non si puo' chiudere Excel a questo punto.\n");
    EXPECT_EQ(result, 0);
    EXPECT_STREQ(xlsGetError(), "Non si puo' chiudere Excel a questo punto.\n");
}

TEST_F(FreshLoad, OperationsWithoutAWorkbookWriteNothing) {
    std::string err = stderr_of([] {
        EXPECT_EQ(xlsAddSheet("Prova", xlsSheetSetupDefault), -1);
        EXPECT_EQ(xlsWriteCell("1", 'N', "num"), -1);  // the built-in styles are known from load
        EXPECT_EQ(xlsClose(), 0);  // and says so
    });
    const char *notWritten = "Nessun file in output aperto: la cartella di lavoro non e' stata scritta.\n";
    EXPECT_EQ(err, notWritten);
    EXPECT_STREQ(xlsGetError(), notWritten);
    EXPECT_TRUE(std::filesystem::is_empty(dir));
    EXPECT_FALSE(std::filesystem::exists(dir / "Cartella"));
}

}  // namespace
