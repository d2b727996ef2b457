// Client styles: the Style element byte for byte under each of its conditions, the ID
// checks in their order with their messages, and the style registry filling up.
#include <cstring>
#include <string>

#include "support.hpp"

using namespace gqtest;

namespace {

const std::string kAlign = "   <Alignment ss:Horizontal=\"Left\" ss:Vertical=\"Bottom\"/>\n";
const std::string kSolid = "   <Interior ss:Pattern=\"Solid\" />\n";
const std::string kTail = "   <NumberFormat/>\n   <Protection ss:Protected=\"0\"/>\n";

std::string element(const std::string &id, const std::string &body) {
    return "  <Style ss:ID=\"" + id + "\">\n" + body + "  </Style>\n";
}

class Styles : public TempDirTest {
protected:
    // Ends the workbook opened as s.xml by author T, checks it is well-formed XML and
    // returns what stands between the built-in styles and the end of the Styles element.
    std::string client_styles() {
        EXPECT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
        EXPECT_EQ(xlsWriteCell("x", 'S', ""), -1);
        EXPECT_EQ(xlsClose(), -1);
        EXPECT_EQ(xml_error("s.xml"), "");
        std::string text = without_created(read_file("s.xml"));
        const std::string head = prologue("T");
        EXPECT_EQ(text.substr(0, head.size()), head);
        return text.substr(head.size(), text.find(" </Styles>\n") - head.size());
    }
    // The element that one style adds to a new workbook.
    std::string written(const xlsStyle &style, const char *id) {
        EXPECT_EQ(xlsInit("s.xml", "T"), -1);
        EXPECT_EQ(xlsAddStyle(style, id), -1);
        return client_styles();
    }
};

TEST_F(Styles, TheTwoWorkedExamples) {
    EXPECT_TRUE(same_bytes("  <Style ss:ID=\"s1\">\n"
                           "   <Alignment ss:Horizontal=\"Left\" ss:Vertical=\"Bottom\"/>\n"
                           "   <Interior ss:Pattern=\"Solid\" />\n"
                           "   <NumberFormat/>\n"
                           "   <Protection ss:Protected=\"0\"/>\n"
                           "  </Style>\n",
                           written(xlsStyleDefault, "s1")));

    xlsStyle s = xlsStyleDefault;
    s.bold = '1';
    s.fontSize = 12;
    std::strcpy(s.fontColor, "#FF0000");
    s.weightBottom = 2;
    std::strcpy(s.borderColor, "#000000");
    std::strcpy(s.interiorColor, "#FFFF00");
    std::strcpy(s.numberFormat, "Short Date");
    s.wrapText = '1';
    s.rotate = 45;
    const xlsStyle before = s;
    EXPECT_TRUE(same_bytes(
        "  <Style ss:ID=\"s2\">\n"
        "   <Alignment ss:Horizontal=\"Left\" ss:Vertical=\"Bottom\" ss:WrapText=\"1\" ss:Rotate=\"45\"/>\n"
        "   <Borders>\n"
        "    <Border ss:Position=\"Bottom\" ss:LineStyle=\"Continuous\" ss:Weight=\"2\" ss:Color=\"#000000\"/>\n"
        "   </Borders>\n"
        "   <Font ss:Bold=\"1\" ss:Size=\"12\" ss:Color=\"#FF0000\" />\n"
        "   <Interior ss:Color=\"#FFFF00\"  ss:Pattern=\"Solid\" />\n"
        "   <NumberFormat ss:Format=\"Short Date\" />\n"
        "   <Protection ss:Protected=\"0\"/>\n"
        "  </Style>\n",
        written(s, "s2")));
    EXPECT_EQ(std::memcmp(&s, &before, sizeof s), 0);  // the caller's record is untouched
}

TEST_F(Styles, AllZeroRecordGetsItsDefaultsAndAnEmptyFont) {
    xlsStyle zero;
    std::memset(&zero, 0, sizeof zero);
    std::strcpy(zero.id, "z");
    EXPECT_TRUE(same_bytes(element("z", kAlign + "   <Font />\n" + kTail), written(zero, "")));
}

TEST_F(Styles, EachElementUnderItsCondition) {
    struct Case {
        const char *what;
        void (*change)(xlsStyle &);
        std::string body;
    };
    const std::string b = "    <Border ss:Position=\"";
    const Case cases[] = {
        {"alignment options in order", [](xlsStyle &s) {
             std::strcpy(s.horizontal, "Center"); s.vertical[0] = '\0'; s.indent = 255;
             s.verticalText = '1'; s.rotate = -90; s.wrapText = 'x'; },
         "   <Alignment ss:Horizontal=\"Center\" ss:Vertical=\"Bottom\" ss:Indent=\"255\" "
         "ss:VerticalText=\"1\" ss:Rotate=\"-90\"/>\n" + kSolid + kTail},
        {"no weight, no borders", [](xlsStyle &s) {
             std::strcpy(s.lineStyle, "Dash"); std::strcpy(s.borderColor, "#123456"); },
         kAlign + kSolid + kTail},
        {"left only", [](xlsStyle &s) { s.weightLeft = 1; },
         kAlign + "   <Borders>\n" + b + "Left\" ss:LineStyle=\"Continuous\" ss:Weight=\"1\"/>\n" +
             "   </Borders>\n" + kSolid + kTail},
        {"four sides in order, empty line style", [](xlsStyle &s) {
             s.lineStyle[0] = '\0'; s.weightRight = 4; s.weightLeft = 3; s.weightBottom = 2;
             s.weightTop = 1; std::strcpy(s.borderColor, "#0000FF"); },
         kAlign + "   <Borders>\n" +
             b + "Top\" ss:LineStyle=\"Continuous\" ss:Weight=\"1\" ss:Color=\"#0000FF\"/>\n" +
             b + "Bottom\" ss:LineStyle=\"Continuous\" ss:Weight=\"2\" ss:Color=\"#0000FF\"/>\n" +
             b + "Left\" ss:LineStyle=\"Continuous\" ss:Weight=\"3\" ss:Color=\"#0000FF\"/>\n" +
             b + "Right\" ss:LineStyle=\"Continuous\" ss:Weight=\"4\" ss:Color=\"#0000FF\"/>\n" +
             "   </Borders>\n" + kSolid + kTail},
        {"every font attribute in order", [](xlsStyle &s) {
             std::strcpy(s.fontName, "Arial"); s.bold = '1'; s.italic = '1'; s.fontSize = 255;
             std::strcpy(s.fontColor, "#00FF00"); },
         kAlign + "   <Font ss:FontName=\"Arial\" ss:Bold=\"1\" ss:Italic=\"1\" ss:Size=\"255\" "
                  "ss:Color=\"#00FF00\" />\n" + kSolid + kTail},
        {"italic alone", [](xlsStyle &s) { s.italic = '1'; },
         kAlign + "   <Font ss:Italic=\"1\" />\n" + kSolid + kTail},
        {"bold neither 0 nor 1", [](xlsStyle &s) { s.bold = 'Y'; },
         kAlign + "   <Font />\n" + kSolid + kTail},
        {"font name filling its field", [](xlsStyle &s) { std::memset(s.fontName, 'F', 32); },
         kAlign + "   <Font ss:FontName=\"" + std::string(32, 'F') + "\" />\n" + kSolid + kTail},
        {"colour with the default pattern", [](xlsStyle &s) {
             std::strcpy(s.interiorColor, "#FFFF00"); s.pattern[0] = '\0'; },
         kAlign + "   <Interior ss:Color=\"#FFFF00\"  ss:Pattern=\"Solid\" />\n" + kTail},
        {"no colour, no pattern", [](xlsStyle &s) { s.pattern[0] = '\0'; }, kAlign + kTail},
        {"pattern with its colour", [](xlsStyle &s) {
             std::strcpy(s.pattern, "Gray50"); std::strcpy(s.patternColor, "#808080"); },
         kAlign + "   <Interior ss:Pattern=\"Gray50\"  ss:PatternColor=\"#808080\" />\n" + kTail},
        {"format and protection", [](xlsStyle &s) {
             std::strcpy(s.numberFormat, "0.00%"); s.isProtected = '1'; },
         kAlign + kSolid + "   <NumberFormat ss:Format=\"0.00%\" />\n"
                           "   <Protection ss:Protected=\"1\"/>\n"},
        {"protection flag other than 1", [](xlsStyle &s) { s.isProtected = 'Y'; },
         kAlign + kSolid + kTail},
    };
    for (const Case &c : cases) {
        xlsStyle s = xlsStyleDefault;
        c.change(s);
        EXPECT_TRUE(same_bytes(element("e", c.body), written(s, "e"))) << c.what;
    }
}

TEST_F(Styles, ChecksInOrderRefuseWithTheirMessages) {
    const std::string tooLong = "' troppo lungo (al massimo 15 caratteri) in xlsAddStyle()\n";
    const std::string missing = "Manca l'ID dello stile in xlsAddStyle()\n";
    xlsStyle noId = xlsStyleDefault, fullId = xlsStyleDefault;
    std::memset(fullId.id, 'r', sizeof fullId.id);  // sixteen characters, no terminator
    const std::string huge(300, 'h');
    struct Case {
        bool inSheet;
        const xlsStyle *style;
        std::string id, message;
    } cases[] = {
        {false, &noId, "", missing},
        {true, &noId, "", missing},
        {true, &noId, "s1", "Non si puo' aggiungere uno stile con 'xlsAddStyle()' a questo punto.\n"},
        {false, &noId, "sixteen-chars-id", "ID stile 'sixteen-chars-id" + tooLong},
        {true, &noId, "sixteen-chars-id", "ID stile 'sixteen-chars-id" + tooLong},
        {false, &fullId, "", "ID stile '" + std::string(16, 'r') + tooLong},
        {false, &noId, huge, "ID stile '" + std::string(183, 'h') + "..." + tooLong},
    };
    for (const Case &c : cases) {
        ASSERT_EQ(xlsInit("s.xml", "T"), -1);
        if (c.inSheet) {
            ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
        }
        int result = 1;
        EXPECT_EQ(stderr_of([&] { result = xlsAddStyle(*c.style, c.id.c_str()); }), c.message);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(xlsGetError(), c.message);
        if (!c.inSheet) {
            EXPECT_EQ(client_styles(), "") << c.message;
        }
    }

    // The argument wins over the record; the record's ID serves when the argument is empty.
    xlsStyle a1 = xlsStyleDefault, s5 = xlsStyleDefault;
    std::strcpy(a1.id, "a1");
    std::strcpy(s5.id, "s5");
    ASSERT_EQ(xlsInit("s.xml", "T"), -1);
    EXPECT_EQ(xlsAddStyle(a1, "b1"), -1);
    EXPECT_EQ(xlsAddStyle(s5, nullptr), -1);
    EXPECT_EQ(xlsAddStyle(a1, ""), -1);  // "a1" was not registered by the first call
    EXPECT_EQ(xlsAddStyle(noId, "fifteen-chars-i"), -1);
    EXPECT_EQ(client_styles(), element("b1", kAlign + kSolid + kTail) +
                                   element("s5", kAlign + kSolid + kTail) +
                                   element("a1", kAlign + kSolid + kTail) +
                                   element("fifteen-chars-i", kAlign + kSolid + kTail));

    // With no workbook open a style is still checked and registered, and nothing written.
    const std::string closed = read_file("s.xml");
    EXPECT_EQ(xlsAddStyle(noId, "num"), -1);  // closing emptied the registry
    EXPECT_EQ(stderr_of([&] { EXPECT_EQ(xlsAddStyle(noId, "num"), 0); }),
              "ID stile 'num' duplicato\n");
    EXPECT_EQ(read_file("s.xml"), closed);
}

TEST_F(Styles, DuplicatesAreWholeNames) {
    ASSERT_EQ(xlsInit("s.xml", "T"), -1);
    std::string expected;
    for (const char *id : {"Def", "um", "a", "t,n", "NUM", "s10", "s1", "x1", "x10"}) {
        EXPECT_EQ(xlsAddStyle(xlsStyleDefault, id), -1) << id;
        expected += element(std::string_view(id) == "t,n" ? "t_x002C_n" : id, kAlign + kSolid + kTail);
    }
    for (const char *id : {"Default", "num", "txt", "date", "s1", "s10", "x10", "um", "t_x002C_n"}) {
        const std::string message = std::string("ID stile '") + id + "' duplicato\n";
        int result = 1;
        EXPECT_EQ(stderr_of([&] { result = xlsAddStyle(xlsStyleDefault, id); }), message);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(xlsGetError(), message);
    }
    EXPECT_TRUE(same_bytes(expected, client_styles()));
}

TEST_F(Styles, RegistryFillsUpAndCellsStillFindEveryStyle) {
    ASSERT_EQ(xlsInit("s.xml", "T"), -1);
    constexpr int kClientStyles = 4096 - 4;  // beside Default, num, txt and date
    for (int i = 0; i < kClientStyles; ++i)
        ASSERT_EQ(xlsAddStyle(xlsStyleDefault, std::string("s").append(std::to_string(i)).c_str()), -1) << i;
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsAddStyle(xlsStyleDefault, "x"), 0); }),
              "Troppi stili: non c'e' posto per l'ID stile 'x' in xlsAddStyle()\n");
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsAddStyle(xlsStyleDefault, "s7"), 0); }),
              "ID stile 's7' duplicato\n");

    ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
    for (const char *id : {"s0", "s2047", "s3999", "s4091", "Default", "date"})
        EXPECT_EQ(xlsWriteCell("1", 'N', id), -1) << id;
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsWriteCell("1", 'N', "x"), 0); }),
              "ID stile 'x' errato o mancante in xlsWriteCell().\n");
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_EQ(xml_error("s.xml"), "");
    const std::string text = read_file("s.xml");
    std::size_t count = 0;
    for (std::size_t at = text.find("<Style "); at != std::string::npos; at = text.find("<Style ", at + 1))
        ++count;
    EXPECT_EQ(count, 4u + kClientStyles);
    EXPECT_NE(text.find(element("s4091", kAlign + kSolid + kTail) + " </Styles>\n"), std::string::npos);
}

}  // namespace
