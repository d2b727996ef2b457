// Library lines no other test program reaches: the C++ interface's style without an ID,
// its horizontal alignment and its fill pattern.
#include "gridquill.hpp"
#include "support.hpp"

using namespace gqtest;

class CoverageGaps : public TempDirTest {};

TEST_F(CoverageGaps, CppStyleNeedsAnIdAndWritesItsAlignmentAndPattern) {
    try {
        gridquill::Style none("");
        ADD_FAILURE() << "a style without an ID was accepted";
    } catch (const gridquill::Error &e) {
        EXPECT_STREQ(e.what(), "Manca l'ID dello stile\n");
    }
    {
        gridquill::Workbook book("out.xml", "T");
        book.style(gridquill::Style("grigio").horizontal("Center").fill("#C0C0C0").pattern("Gray50"));
        book.sheet("S").cell("x", "grigio");
        book.close();
    }
    ASSERT_EQ(xml_error("out.xml"), "");
    const std::string text = read_file("out.xml");
    EXPECT_NE(text.find("   <Alignment ss:Horizontal=\"Center\" ss:Vertical=\"Bottom\"/>\n"
                        "   <Interior ss:Color=\"#C0C0C0\"  ss:Pattern=\"Gray50\" />\n"),
              std::string::npos);
}
