// Helpers shared by the test programs.
#include "support.hpp"

#include <expat.h>
#include <sys/wait.h>

#include <cstdio>

#include <fstream>
#include <random>
#include <sstream>

namespace gqtest {

std::string read_file(const std::filesystem::path &path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void write_file(const std::filesystem::path &path, std::string_view content) {
    std::ofstream out(path, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

std::string xml_error_text(std::string_view text) {
    XML_Parser p = XML_ParserCreate(nullptr);
    std::string error;
    if (XML_Parse(p, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_ERROR) {
        error = std::string(XML_ErrorString(XML_GetErrorCode(p))) + " at line " +
                std::to_string(XML_GetCurrentLineNumber(p)) + ", column " +
                std::to_string(XML_GetCurrentColumnNumber(p));
    }
    XML_ParserFree(p);
    return error;
}

std::string xml_error(const std::filesystem::path &path) {
    if (!std::filesystem::exists(path)) return "no file " + path.string();
    return xml_error_text(read_file(path));
}

static std::string printable(std::string_view s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\n') out += "\\n";
        else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else out += static_cast<char>(c);
    }
    return out;
}

::testing::AssertionResult same_bytes(std::string_view expected, std::string_view actual) {
    if (expected == actual) return ::testing::AssertionSuccess();
    std::size_t i = 0;
    while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) ++i;
    std::size_t from = i < 40 ? 0 : i - 40;
    return ::testing::AssertionFailure()
           << "first difference at offset " << i << " (sizes " << expected.size() << " / "
           << actual.size() << ")\n  expected: ..." << printable(expected.substr(from, 100))
           << "\n  actual:   ..." << printable(actual.substr(from, 100));
}

std::string without_created(std::string text) {
    std::size_t at = text.find("  <Created>");
    if (at == std::string::npos) return text;
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) return text;
    return text.replace(at, end + 1 - at, kFixedCreated);
}

std::string without_selected(std::string text) {
    constexpr std::string_view kLine = "   <Selected/>\n";
    for (std::size_t at; (at = text.find(kLine)) != std::string::npos;) text.erase(at, kLine.size());
    return text;
}

std::string prologue(std::string_view author) {
    std::string s =
        "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\" ?>\n"
        "<?mso-application progid=\"Excel.Sheet\"?>\n"
        "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\" "
        "xmlns:o=\"urn:schemas-microsoft-com:office:office\" "
        "xmlns:x=\"urn:schemas-microsoft-com:office:excel\" "
        "xmlns:ss=\"urn:schemas-microsoft-com:office:spreadsheet\" "
        "xmlns:html=\"http://www.w3.org/TR/REC-html40\">\n"
        " <DocumentProperties xmlns=\"urn:schemas-microsoft-com:office:office\">\n"
        "  <LastAuthor>";
    s += author;
    s += "</LastAuthor>\n";
    s += kFixedCreated;
    s += "  <Version>11.0000</Version>\n"
         " </DocumentProperties>\n"
         " <ExcelWorkbook xmlns=\"urn:schemas-microsoft-com:office:excel\">\n"
         "  <ProtectStructure>False</ProtectStructure>\n"
         "  <ProtectWindows>False</ProtectWindows>\n"
         " </ExcelWorkbook>\n"
         " <Styles>\n"
         "  <Style ss:ID=\"Default\" ss:Name=\"Normal\">\n"
         "   <Alignment ss:Vertical=\"Bottom\"/>\n"
         "   <Borders/>\n"
         "   <Font/>\n"
         "   <Interior/>\n"
         "   <NumberFormat/>\n"
         "   <Protection/>\n"
         "  </Style>\n"
         "  <Style ss:ID=\"txt\">\n"
         "   <Alignment ss:Horizontal=\"Left\" ss:Vertical=\"Bottom\"/>\n"
         "   <NumberFormat/>\n"
         "   <Protection ss:Protected=\"0\"/>\n"
         "  </Style>\n"
         "  <Style ss:ID=\"num\">\n"
         "   <Alignment ss:Horizontal=\"Right\" ss:Vertical=\"Bottom\"/>\n"
         "   <NumberFormat/>\n"
         "   <Protection ss:Protected=\"0\"/>\n"
         "  </Style>\n"
         "  <Style ss:ID=\"date\">\n"
         "   <Alignment ss:Horizontal=\"Center\" ss:Vertical=\"Bottom\"/>\n"
         "   <NumberFormat ss:Format=\"Short Date\"/>\n"
         "   <Protection ss:Protected=\"0\"/>\n"
         "  </Style>\n";
    return s;
}

std::optional<std::string> schema_errors(const std::filesystem::path &path) {
    std::string validator = GRIDQUILL_SCHEMA_VALIDATE;
    if (validator.empty() || !std::filesystem::exists(validator)) return std::nullopt;
    std::string command = "'" + validator + "' '" + std::filesystem::absolute(path).string() + "' 2>&1";
    std::FILE *p = popen(command.c_str(), "r");
    if (p == nullptr) return std::nullopt;
    std::string out;
    char buf[512];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    int status = pclose(p);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return std::string();
    if (out.find("xmllint not found") != std::string::npos) return std::nullopt;
    return out.empty() ? std::string("validator failed") : out;
}

void TempDirTest::SetUp() {
    std::random_device rd;
    dir = std::filesystem::temp_directory_path() /
          ("gridquill-test-" + std::to_string(rd()) + "-" + std::to_string(rd()));
    std::filesystem::create_directories(dir);
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir);
}

void TempDirTest::TearDown() {
    std::filesystem::current_path(previous_);
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace gqtest
