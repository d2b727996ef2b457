// Cell references: A1 names of the writer's position up to ZZ, and R1C1 ranges relative to
// it, for ordinary and extreme offsets.
#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "support.hpp"

using namespace gqtest;

namespace {

class References : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ASSERT_EQ(xlsInit("r.xml", "T"), -1);
    }
    void TearDown() override {
        EXPECT_EQ(xlsAddSheet("end", xlsSheetSetupDefault), -1);  // wherever the last one stopped
        EXPECT_EQ(xlsWriteCell("end", 'S', ""), -1);
        EXPECT_EQ(xlsClose(), -1);
        EXPECT_EQ(xml_error("r.xml"), "");
        TempDirTest::TearDown();
    }
    // Starts a new worksheet and writes cells until the position is (row, column).
    void go_to(int row, int column) {
        ASSERT_EQ(xlsAddSheet(std::string("S").append(std::to_string(++sheets_)).c_str(), xlsSheetSetupDefault), -1);
        if (row > 1) {  // from row 1 with a cell, a break skipping row - 2 rows
            ASSERT_EQ(xlsWriteCell("1", 'N', ""), -1);
            ASSERT_EQ(xlsNewLineEx(row - 2, 0, ""), -1);
        }
        for (int at = 1; at < column;) {
            int skip = std::min(column - at - 1, 200);
            ASSERT_EQ(xlsWriteCellEx("1", 'N', "", "", skip, 0, 0), -1);
            at += skip + 1;
        }
    }

private:
    int sheets_ = 0;
};

TEST_F(References, A1NamesUpToThePlaceAfterTheLastColumn) {
    const struct {
        int row, column;
        const char *name;
    } cases[] = {{1, 1, "A1"},   {1, 26, "Z1"},    {1, 27, "AA1"}, {1, 52, "AZ1"},
                 {1, 53, "BA1"}, {1, 256, "IV1"},  {1, 257, "IW1"}, {7, 28, "AB7"}};
    for (const auto &c : cases) {
        go_to(c.row, c.column);
        const char *name = xlsGetPosition();
        if (c.name == nullptr) EXPECT_EQ(name, nullptr) << c.column;
        else EXPECT_STREQ(name, c.name) << c.column;
    }
}

TEST_F(References, PositionFollowsCellsAndRowBreaks) {
    ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
    const char *first = xlsGetPosition();
    EXPECT_STREQ(first, "A1");
    for (int i = 0; i < 3; ++i) ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);
    EXPECT_STREQ(xlsGetPosition(), "D1");
    EXPECT_STREQ(first, "D1");  // one buffer, overwritten by each call
    ASSERT_EQ(xlsNewLine(), -1);
    EXPECT_STREQ(xlsGetPosition(), "A2");
    ASSERT_EQ(xlsNewLineEx(INT_MAX, 0, ""), -1);  // no index: the row below the last cell
    EXPECT_STREQ(xlsGetPosition(), "A2");
    while (xlsNewLineEx(200, 0, ""), std::strcmp(xlsGetPosition(), "A2147483647") != 0) {
    }  // the row stops at the int range
}

TEST_F(References, ACellPastTheLastColumnLeavesThePosition) {
    go_to(3, 257);
    ASSERT_STREQ(xlsGetPosition(), "IW3");
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsWriteCell("x", 'S', ""), 0); }),
              "Cella oltre i limiti del foglio (1048576 righe, 256 colonne) in xlsWriteCell().\n");
    EXPECT_STREQ(xlsGetPosition(), "IW3");
}

TEST_F(References, RelativeRanges) {
    const struct {
        int row, column, r1, c1, r2, c2;
        const char *range;
    } cases[] = {
        {5, 3, 2, 3, 4, 3, "R[-3]C:R[-1]C"},    {10, 4, 10, 1, 10, 3, "RC[-3]:RC[-1]"},
        {2, 2, 3, 5, 7, 6, "R[1]C[3]:R[5]C[4]"}, {1, 1, 1, 1, 1, 1, "RC:RC"},
        {5, 3, 4, 3, 2, 3, "R[-1]C:R[-3]C"},    {5, 3, 4, 3, 4, 3, "R[-1]C:R[-1]C"},
    };
    for (const auto &c : cases) {
        go_to(c.row, c.column);
        EXPECT_STREQ(xlsGetRectangle(c.r1, c.c1, c.r2, c.c2), c.range) << c.range;
    }
    const char *first = xlsGetRectangle(1, 1, 1, 1);
    EXPECT_STREQ(xlsGetRectangle(5, 3, 5, 3), "RC:RC");
    EXPECT_STREQ(first, "RC:RC");
}

TEST_F(References, ExtremeOffsetsGiveTheWholeText) {
    go_to(1, 2);
    EXPECT_STREQ(xlsGetRectangle(INT_MIN, INT_MAX, INT_MAX, INT_MIN),
                 "R[-2147483649]C[2147483645]:R[2147483646]C[-2147483650]");
    while (xlsNewLineEx(200, 0, ""), std::strcmp(xlsGetPosition(), "A2147483647") != 0) {
    }
    const char *longest = xlsGetRectangle(INT_MIN, INT_MIN, INT_MIN, INT_MIN);
    EXPECT_STREQ(longest, "R[-4294967295]C[-2147483649]:R[-4294967295]C[-2147483649]");
    EXPECT_EQ(std::strlen(longest), 57u);
}

}  // namespace
