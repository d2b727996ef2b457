// The one-pass cell path against the text services: every value a cell holds is, byte for
// byte, the services' staged pipeline cut back to well-formed content.
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "support.hpp"

using namespace gqtest;

namespace {

class Equivalence : public TempDirTest {};

// The pipeline of a cell value through the exported services, as the writer's steps lay
// it out: '&' escaped, the result in a 4000-character field, '<' and '>' escaped and
// written back into the field, then converted to UTF-8.
std::string staged(const std::string &value) {
    char field[4000] = {};
    std::string escaped = strReplace(value.c_str(), "&", "&amp;");
    std::memcpy(field, escaped.c_str(), escaped.size() + 1);
    strnReplace(field, "<", "&lt;", sizeof field);
    strnReplace(field, ">", "&gt;", sizeof field);
    return AsciiToUtf8(field);
}

// The cut-back: the longest prefix that is well-formed element content, ending before a
// bare '<' or '>' and before an '&' that does not begin "&amp;", "&lt;" or "&gt;".
std::string cut_back(const std::string &s) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '<' || s[i] == '>') return s.substr(0, i);
        if (s[i] != '&') continue;
        std::size_t entity = s.compare(i, 5, "&amp;") == 0                                ? 5
                             : s.compare(i, 4, "&lt;") == 0 || s.compare(i, 4, "&gt;") == 0 ? 4
                                                                                            : 0;
        if (entity == 0) return s.substr(0, i);
        i += entity - 1;
    }
    return s;
}

std::string reference(const std::string &value) { return cut_back(staged(value)); }

// The contents of the String cells of a workbook, in order.
std::vector<std::string> string_cells(const std::string &text) {
    const std::string open = "<Data ss:Type=\"String\">";
    std::vector<std::string> cells;
    for (std::size_t at = text.find(open); at != std::string::npos; at = text.find(open, at)) {
        at += open.size();
        std::size_t end = text.find("</Data>", at);
        if (end == std::string::npos) break;
        cells.push_back(text.substr(at, end - at));
    }
    return cells;
}

// Writes each value as a String cell and checks each against its reference.
void expect_cells_match(const std::vector<const char *> &values) {
    ASSERT_EQ(xlsInit("out.xml", "T"), -1);
    ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
    for (const char *v : values) ASSERT_EQ(xlsWriteCell(v, 'S', ""), -1);
    ASSERT_EQ(xlsClose(), -1);
    ASSERT_EQ(xml_error("out.xml"), "");
    std::vector<std::string> cells = string_cells(read_file("out.xml"));
    ASSERT_EQ(cells.size(), values.size());
    for (std::size_t i = 0; i < cells.size(); ++i)
        ASSERT_TRUE(same_bytes(reference(values[i]), cells[i]))
            << "value " << i << " of " << std::strlen(values[i]) << " bytes";
}

std::vector<const char *> pointers(const std::vector<std::string> &values) {
    std::vector<const char *> p;
    for (const std::string &v : values) p.push_back(v.c_str());
    return p;
}

TEST_F(Equivalence, ValuesAroundEveryCutPoint) {
    // A lead moves the output by 0 to 16 bytes against the input, so that the two last
    // characters, each a letter, a special, a control or a byte above 0x7F, meet every
    // limit: the replacements' 3998, 3999 and 4000 and the conversion's 3996 and 3997.
    const std::string leads[] = {"", "\xE8", "\xE8\xE8", "<", "&", "&\xE8", ">\xE8\xE8", "&&&&"};
    const char edges[] = {'a', '&', '<', '>', '\xE8', '\t'};
    std::vector<std::string> values;
    for (const std::string &lead : leads)
        for (std::size_t length = 3993; length <= 4001; ++length)
            for (char last2 : edges)
                for (char last : edges) {
                    std::string v = lead;
                    v.append(length - lead.size() - 2, 'a').append({last2, last});
                    values.push_back(v);
                }
    values.push_back(std::string(5000, '&'));
    values.push_back(std::string(2500, '\xE8'));
    values.push_back(std::string(1333, '<') + std::string(3000, '>'));
    expect_cells_match(pointers(values));
}

TEST_F(Equivalence, ShortValuesAcrossTheCopyBlocks) {
    // Every byte between two letters; and each special at every place of values up to
    // 40 bytes long, across the 16-byte runs the cell path copies at once.
    std::vector<std::string> values = {""};
    for (int b = 1; b < 256; ++b) values.push_back({'x', static_cast<char>(b), 'y'});
    for (std::size_t length = 1; length <= 40; ++length)
        for (std::size_t at = 0; at < length; ++at)
            for (char special : {'&', '<', '>', '\xE8', '\n'}) {
                std::string v(length, 'b');
                v[at] = special;
                values.push_back(v);
            }
    expect_cells_match(pointers(values));
}

TEST_F(Equivalence, ValuesEndingAtAPageBoundaryAreReadWithinTheirPage) {
    // Each value ends with its terminator at the last byte before a page that cannot be
    // read: a read past it would stop the test.
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void *map = mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    char *end = static_cast<char *>(map) + page;
    ASSERT_EQ(mprotect(end, page, PROT_NONE), 0);
    for (std::size_t length = 0; length <= 40; ++length) {
        std::string v(length, 'p');
        if (length % 3 == 1) v[length / 2] = '&';
        char *text = end - length - 1;
        std::memcpy(text, v.c_str(), length + 1);
        ASSERT_EQ(xlsInit("out.xml", "T"), -1);
        ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
        ASSERT_EQ(xlsWriteCell(text, 'S', ""), -1);
        ASSERT_EQ(xlsClose(), -1);
        ASSERT_EQ(xml_error("out.xml"), "");
        std::vector<std::string> cells = string_cells(read_file("out.xml"));
        ASSERT_EQ(cells.size(), 1u);
        EXPECT_TRUE(same_bytes(reference(v), cells[0])) << length;
    }
    munmap(map, 2 * page);
}

}  // namespace
