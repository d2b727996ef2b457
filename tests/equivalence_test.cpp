// The one-pass cell path against the text services: every value a cell holds is, byte for
// byte, the services' staged pipeline cut back to well-formed content.
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <memory>
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

// Checks the String cells of out.xml, one per value, against the values' references.
void expect_written_match(const std::vector<std::string> &values) {
    ASSERT_EQ(xml_error("out.xml"), "");
    std::vector<std::string> cells = string_cells(read_file("out.xml"));
    ASSERT_EQ(cells.size(), values.size());
    for (std::size_t i = 0; i < cells.size(); ++i)
        ASSERT_TRUE(same_bytes(reference(values[i]), cells[i]))
            << "value " << i << " of " << values[i].size() << " bytes";
}

// Writes each value as a String cell from a heap block of exactly its size, terminator
// included, so that a read past the terminator is one that valgrind and ASan see; then
// checks each against its reference.
void expect_cells_match(const std::vector<std::string> &values) {
    ASSERT_EQ(xlsInit("out.xml", "T"), -1);
    ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string &v = values[i];
        auto exact = std::make_unique<char[]>(v.size() + 1);
        std::memcpy(exact.get(), v.c_str(), v.size() + 1);
        if (i % 256 == 0) {  // rows of the grid's 256 columns
            ASSERT_EQ(xlsNewLine(), -1);
        }
        ASSERT_EQ(xlsWriteCell(exact.get(), 'S', ""), -1);
    }
    ASSERT_EQ(xlsClose(), -1);
    expect_written_match(values);
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
    expect_cells_match(values);
}

TEST_F(Equivalence, ShortValuesAcrossTheCopyBlocks) {
    // Every byte between two letters; each special at every place of values up to 40
    // bytes long, across the 16-byte blocks and the 8- and 4-byte words the cell path
    // checks at once; and two specials in a row, with plain runs of 0 to 20 bytes after.
    std::vector<std::string> values = {""};
    for (int b = 1; b < 256; ++b) values.push_back({'x', static_cast<char>(b), 'y'});
    for (std::size_t length = 1; length <= 40; ++length)
        for (std::size_t at = 0; at < length; ++at)
            for (char special : {'&', '<', '>', '\xE8', '\n'}) {
                std::string v(length, 'b');
                v[at] = special;
                values.push_back(v);
            }
    for (std::size_t lead = 0; lead <= 17; ++lead)
        for (std::size_t rest = 0; rest <= 20; ++rest)
            values.push_back(std::string(lead, 'c') + "\xE8&" + std::string(rest, 'd'));
    expect_cells_match(values);
}

TEST_F(Equivalence, ValuesAtPageBoundariesAreReadWithinTheirBytes) {
    // A readable page between two that cannot be read: each value is written once ending
    // with its terminator at the page's last byte and once starting at its first byte, so
    // that a read past either end of the value would stop the test.
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    void *map = mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(map, MAP_FAILED);
    char *first = static_cast<char *>(map) + page, *end = first + page;
    ASSERT_EQ(mprotect(map, page, PROT_NONE), 0);
    ASSERT_EQ(mprotect(end, page, PROT_NONE), 0);
    std::vector<std::string> values;
    for (std::size_t length = 0; length <= 48; ++length)
        for (std::size_t at = 0; at <= length; ++at) {  // at == length: no special
            std::string v(length, 'p');
            if (at < length) v[at] = at % 2 == 0 ? '&' : '\xE8';
            values.push_back(v);
            values.push_back(v);
        }
    ASSERT_EQ(xlsInit("out.xml", "T"), -1);
    ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::string &v = values[i];
        char *text = i % 2 == 0 ? end - v.size() - 1 : first;
        std::memcpy(text, v.c_str(), v.size() + 1);
        if (i % 256 == 0) {
            ASSERT_EQ(xlsNewLine(), -1);
        }
        ASSERT_EQ(xlsWriteCell(text, 'S', ""), -1);
    }
    ASSERT_EQ(xlsClose(), -1);
    munmap(map, 3 * page);
    expect_written_match(values);
}

}  // namespace
