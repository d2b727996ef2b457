// The ordinary road end to end: a small workbook written and parsed back.
#include "support.hpp"

using namespace gqtest;

class Smoke : public TempDirTest {};

TEST_F(Smoke, SmallWorkbookIsWellFormed) {
    ASSERT_EQ(xlsInit("out.xml", "Test"), -1);
    ASSERT_EQ(xlsAddSheet("Uno", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsWriteCell("a & b < c", 'S', "txt"), -1);
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_EQ(xml_error("out.xml"), "");
}
