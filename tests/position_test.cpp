// The position the queries report is where the next cell lands in the file, and every
// skip counts from it: row breaks that write no index, merged cells.
#include <functional>

#include "support.hpp"
#include "writer_util.hpp"

using namespace gqtest;

namespace {

class Position : public TempDirTest {};

int put(int skip = 0, int across = 0) { return xlsWriteCellEx("v", 'S', "", "", skip, across, 0); }

TEST_F(Position, IsTheFilesAndSkipsCountFromIt) {
    const auto v = [](std::string_view attrs) {
        return "    <Cell " + std::string(attrs) + "><Data ss:Type=\"String\">v</Data></Cell>\n";
    };
    const std::string height = "   <Row ss:AutoFitHeight=\"0\" ss:Height=\"20\" >\n";
    const struct {
        const char *what;
        std::function<void()> calls;
        const char *position;  // before the last cell, written without a skip
        std::string rows;
    } cases[] = {
        {"a break shapes row 1", [] { xlsNewLineEx(0, 20, ""); }, "A1", height + v("")},
        {"then a skip of 1", [] { xlsNewLineEx(0, 20, ""), put(), xlsNewLineEx(1, 0, ""); }, "A3",
         height + v("") + "   </Row>\n   <Row ss:Index=\"3\" >\n" + v("")},
        {"two breaks", [] { put(), xlsNewLine(), xlsNewLine(); }, "A2",
         "   <Row>\n" + v("") + "   </Row>\n   <Row>\n" + v("")},
        {"an index replaced", [] { put(), xlsNewLineEx(3, 0, ""), xlsNewLine(); }, "A2",
         "   <Row>\n" + v("") + "   </Row>\n   <Row>\n" + v("")},
        {"skip 201", [] { put(), xlsNewLineEx(201, 0, ""); }, "A2",
         "   <Row>\n" + v("") + "   </Row>\n   <Row>\n" + v("")},
        {"merged across A:C", [] { put(0, 2); }, "D1", "   <Row>\n" + v("ss:MergeAcross=\"2\" ") + v("")},
        {"then a skip of 1", [] { put(0, 2), put(1); }, "F1",
         "   <Row>\n" + v("ss:MergeAcross=\"2\" ") + v("ss:Index=\"5\" ") + v("")},
    };
    for (const auto &c : cases) {
        open_with_sheet();
        c.calls();
        EXPECT_STREQ(xlsGetPosition(), c.position) << c.what;
        put();
        ASSERT_EQ(xlsClose(), -1);
        EXPECT_TRUE(same_bytes(one_sheet(c.rows), body_of())) << c.what;
    }
}

}  // namespace
