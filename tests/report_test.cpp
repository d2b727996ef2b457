// A styled sales report as a client writes it: its own styles, column widths, dates,
// amounts and a total built from a relative range, compared whole with its golden file.
#include <cstring>
#include <string>

#include "support.hpp"

using namespace gqtest;

namespace {

class Report : public TempDirTest {};

TEST_F(Report, StyledReportMatchesGoldenFile) {
    ASSERT_EQ(xlsInit("report.xml", "Ufficio vendite"), -1);

    xlsStyle head = xlsStyleDefault;
    std::strcpy(head.horizontal, "Center");
    head.bold = '1';
    std::strcpy(head.interiorColor, "#D9D9D9");
    head.weightBottom = 2;
    std::strcpy(head.borderColor, "#000000");
    xlsStyle money = xlsStyleDefault;
    std::strcpy(money.horizontal, "Right");
    std::strcpy(money.numberFormat, "#,##0.00");
    money.pattern[0] = '\0';
    xlsStyle day = xlsStyleDefault;
    std::strcpy(day.horizontal, "Center");
    std::strcpy(day.numberFormat, "dd/mm/yyyy");
    day.pattern[0] = '\0';
    xlsStyle total = money;
    total.bold = '1';
    total.weightTop = 1;
    ASSERT_EQ(xlsAddStyle(head, "head"), -1);
    ASSERT_EQ(xlsAddStyle(money, "money"), -1);
    ASSERT_EQ(xlsAddStyle(day, "day"), -1);
    ASSERT_EQ(xlsAddStyle(total, "total"), -1);

    ASSERT_EQ(xlsAddSheet("Vendite marzo", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsColumn(1, 80, "day"), -1);
    ASSERT_EQ(xlsColumn(2, 160, ""), -1);
    ASSERT_EQ(xlsColumn(3, 90, "money"), -1);
    for (const char *title : {"Data", "Cliente", "Importo"})
        ASSERT_EQ(xlsWriteCell(title, 'S', "head"), -1);
    const char *sales[][3] = {{"2024-03-04T00:00:00.000", "Rossi & Figli", "1250.5"},
                              {"2024-03-11T00:00:00.000", "Bianchi <Srl>", "980"},
                              {"2024-03-25T00:00:00.000", "Caff\xE8 Verdi", "310.75"}};
    for (auto &sale : sales) {
        ASSERT_EQ(xlsNewLine(), -1);
        ASSERT_EQ(xlsWriteCell(sale[0], 'D', "day"), -1);
        ASSERT_EQ(xlsWriteCell(sale[1], 'S', ""), -1);
        ASSERT_EQ(xlsWriteCell(sale[2], 'N', "money"), -1);
    }
    ASSERT_EQ(xlsNewLineEx(1, 20, ""), -1);
    ASSERT_EQ(xlsWriteCellEx("Totale", 'S', "head", "", 1, 0, 0), -1);
    EXPECT_STREQ(xlsGetPosition(), "C6");
    const std::string range = xlsGetRectangle(2, 3, 4, 3);
    EXPECT_EQ(range, "R[-4]C:R[-2]C");
    ASSERT_EQ(xlsWriteCellEx("2541.25", 'N', "total", ("=SUM(" + range + ")").c_str(), 0, 0, 0), -1);
    ASSERT_EQ(xlsClose(), -1);

    EXPECT_EQ(xml_error("report.xml"), "");
    EXPECT_TRUE(same_bytes(read_file(GRIDQUILL_GOLDEN_DIR "/report.xml"),
                           without_created(read_file("report.xml"))));
}

}  // namespace
