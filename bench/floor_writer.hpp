// The floor of the cell path: the bytes of the plain workload built by hand, each piece
// copied with memcpy into a large buffer that goes out with write() when full, each value
// measured inline as the library measures it. What any writer of these bytes does at least,
// against which the library's cell path is measured.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "../library/textutil/text_length.hpp"

namespace bench {

class FloorWriter {
public:
    // Writes to `fd`; `author` and `created` go into the prologue as the library puts them.
    FloorWriter(int fd, std::string_view author, std::string_view created)
        : fd_(fd), buffer_(kBufferSize) {
        pos_ = buffer_.data();
        put("<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\" ?>\n"
            "<?mso-application progid=\"Excel.Sheet\"?>\n"
            "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\" "
            "xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
            "xmlns:x=\"urn:schemas-microsoft-com:office:excel\" "
            "xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\" "
            "xmlns:html=\"http://www.w3.org/TR/REC-html40\">\n"
            " <DocumentProperties xmlns=\"urn:schemas-microsoft-com:office:office\">\n"
            "  <LastAuthor>");
        put(author);
        put("</LastAuthor>\n  <Created>");
        put(created);
        put("</Created>\n"
            "  <Version>11.0000</Version>\n"
            " </DocumentProperties>\n"
            " <ExcelWorkbook xmlns=\"urn:schemas-microsoft-com:office:excel\">\n"
            "  <ProtectStructure>False</ProtectStructure>\n"
            "  <ProtectWindows>False</ProtectWindows>\n"
            " </ExcelWorkbook>\n"
            " <Styles>\n"
            "  <Style ss:ID=\"Default\" ss:Name=\"Normal\">\n"
            "   <Alignment ss:Vertical=\"Bottom\"/>\n"
            "   <Borders/>\n   <Font/>\n   <Interior/>\n   <NumberFormat/>\n   <Protection/>\n"
            "  </Style>\n"
            "  <Style ss:ID=\"txt\">\n"
            "   <Alignment ss:Horizontal=\"Left\" ss:Vertical=\"Bottom\"/>\n"
            "   <NumberFormat/>\n   <Protection ss:Protected=\"0\"/>\n  </Style>\n"
            "  <Style ss:ID=\"num\">\n"
            "   <Alignment ss:Horizontal=\"Right\" ss:Vertical=\"Bottom\"/>\n"
            "   <NumberFormat/>\n   <Protection ss:Protected=\"0\"/>\n  </Style>\n"
            "  <Style ss:ID=\"date\">\n"
            "   <Alignment ss:Horizontal=\"Center\" ss:Vertical=\"Bottom\"/>\n"
            "   <NumberFormat ss:Format=\"Short Date\"/>\n"
            "   <Protection ss:Protected=\"0\"/>\n  </Style>\n"
            " </Styles>\n"
            " <Worksheet ss:Name=\"Dati\" >\n"
            "  <Table ss:ExpandedColumnCount=\"256\" x:FullColumns=\"1\" x:FullRows=\"1\">\n");
    }

    // A cell of the row: a String, or a Number for type 'N'; the value read as Latin-1. Out
    // of line, as the library's calls are, so that instruction counts compare the two.
    [[gnu::noinline]] void cell(const char *value, char type) {
        std::size_t n = gridquill::detail::text_length(value);
        room(128 + 5 * n);
        if (!rowOpen_) {
            pos_ = copy(pos_, "   <Row>\n");
            rowOpen_ = true;
        }
        pos_ = copy(pos_, type == 'N' ? std::string_view("    <Cell ><Data ss:Type=\"Number\">")
                                      : std::string_view("    <Cell ><Data ss:Type=\"String\">"));
        char *o = pos_;
        o = plain_copy(o, value, n) ? o + n : escape(o, value, n);
        pos_ = copy(o, "</Data></Cell>\n");
    }

    [[gnu::noinline]] void new_line() {
        if (!rowOpen_) return;
        room(16);
        pos_ = copy(pos_, "   </Row>\n");
        rowOpen_ = false;
    }

    // The worksheet's end and the workbook's, as the library writes them for this sheet;
    // false when a write failed.
    bool close() {
        new_line();
        put("  </Table>\n"
            "  <WorksheetOptions xmlns=\"urn:schemas-microsoft-com:office:excel\">\n"
            "   <PageSetup>\n"
            "    <Layout x:Orientation=\"Landscape\"/>\n"
            "    <Header x:Margin=\"0.5\"  x:Data=\"Foglio Excel 'Dati' generato "
            "automaticamente\"/>\n"
            "    <Footer x:Margin=\"0.5\" x:Data=\"Pagina &amp;P\"/>\n"
            "    <PageMargins x:Bottom=\"1\" x:Left=\"1\" x:Right=\"1\" x:Top=\"1\"/>\n"
            "   </PageSetup>\n"
            "   <Print>\n    <Gridlines/>\n   </Print>\n"
            "   <Selected/>\n"
            "   <ProtectObjects>False</ProtectObjects>\n"
            "   <ProtectScenarios>False</ProtectScenarios>\n"
            "  </WorksheetOptions>\n"
            " </Worksheet>\n"
            "</Workbook>\n");
        flush();
        return ok_;
    }

private:
    static constexpr std::size_t kBufferSize = 1 << 20;
    static constexpr std::uint64_t kOnes = 0x0101010101010101u, kHighs = 0x8080808080808080u;

    // Whether a word holds a byte that changes: a control character, one from 0x80 up,
    // '&', '<' or '>' ('<' and '>' are the bytes that give '>' with bit 1 set).
    static bool stops(std::uint64_t x) {
        auto zero = [](std::uint64_t y) { return (y - kOnes) & ~y & kHighs; };
        return ((x | ((x - 0x20 * kOnes) & ~x)) & kHighs) | zero(x ^ ('&' * kOnes)) |
               zero((x | 2 * kOnes) ^ ('>' * kOnes));
    }
    // Copies the n bytes at p to o when they all stay as they are, a word at a time (two
    // words that overlap for up to 16 bytes); false, with o's bytes left undefined, else.
    static bool plain_copy(char *o, const char *p, std::size_t n) {
        std::uint64_t head, tail;
        if (n >= 8 && n <= 16) {
            std::memcpy(&head, p, 8);
            std::memcpy(&tail, p + n - 8, 8);
            std::memcpy(o, &head, 8);
            std::memcpy(o + n - 8, &tail, 8);
            return !stops(head) && !stops(tail);
        }
        if (n > 16) {
            for (std::size_t i = 0; i + 8 < n; i += 8) {
                std::memcpy(&head, p + i, 8);
                if (stops(head)) return false;
            }
            std::memcpy(&tail, p + n - 8, 8);
            if (stops(tail)) return false;
            std::memcpy(o, p, n);
            return true;
        }
        if (n >= 4) {
            std::uint32_t first, last;
            std::memcpy(&first, p, 4);
            std::memcpy(&last, p + n - 4, 4);
            std::memcpy(o, &first, 4);
            std::memcpy(o + n - 4, &last, 4);
            return !stops(first | std::uint64_t{last} << 32);
        }
        for (std::size_t i = 0; i < n; ++i) {
            if (stops(static_cast<unsigned char>(p[i]) | 0x4040404040404000u)) return false;
            o[i] = p[i];
        }
        return true;
    }
    // The value a byte at a time: control characters as blanks, the markup characters as
    // references, bytes from 0x80 in UTF-8.
    static char *escape(char *o, const char *p, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            auto b = static_cast<unsigned char>(p[i]);
            if (b >= 0x20 && b < 0x80 && b != '&' && b != '<' && b != '>') {
                *o++ = static_cast<char>(b);
            } else if (b >= 0x80) {
                *o++ = static_cast<char>(0xC0 | (b >> 6));
                *o++ = static_cast<char>(0x80 | (b & 0x3F));
            } else {
                o = copy(o, b == '&'   ? std::string_view("&amp;")
                            : b == '<' ? std::string_view("&lt;")
                            : b == '>' ? std::string_view("&gt;")
                                       : std::string_view(" "));
            }
        }
        return o;
    }

    static char *copy(char *o, std::string_view s) {
        std::memcpy(o, s.data(), s.size());
        return o + s.size();
    }
    void room(std::size_t n) {
        if (static_cast<std::size_t>(buffer_.data() + buffer_.size() - pos_) < n) flush();
    }
    void put(std::string_view s) {
        room(s.size());
        pos_ = copy(pos_, s);
    }
    void flush() {
        for (const char *p = buffer_.data(); p < pos_ && ok_;) {
            ssize_t n = ::write(fd_, p, static_cast<std::size_t>(pos_ - p));
            ok_ = n > 0;
            p += n > 0 ? n : 0;
        }
        pos_ = buffer_.data();
    }

    int fd_;
    std::vector<char> buffer_;
    char *pos_;
    bool rowOpen_ = false;
    bool ok_ = true;
};

}  // namespace bench
