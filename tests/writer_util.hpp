// Expected pieces of a written workbook, shared by the writer's test programs: the
// worksheet start and end lines and the body of a file after its prologue.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>

#include "support.hpp"

namespace gqtest {

constexpr std::string_view kAuthor = "Tester";
constexpr std::string_view kStylesEnd = " </Styles>\n";
constexpr std::string_view kRowEnd = "   </Row>\n";

// The two start lines of a worksheet.
inline std::string sheet_start(std::string_view name) {
    return " <Worksheet ss:Name=\"" + std::string(name) +
           "\" >\n  <Table ss:ExpandedColumnCount=\"256\" x:FullColumns=\"1\" x:FullRows=\"1\">\n";
}

// The worksheet end for a setup that keeps the default margins and flags; only the
// workbook's active sheet (the first, unless chosen) is selected.
inline std::string sheet_end(std::string_view name, bool rowOpen, bool selected = true) {
    return std::string(rowOpen ? kRowEnd : "") +
           "  </Table>\n"
           "  <WorksheetOptions xmlns=\"urn:schemas-microsoft-com:office:excel\">\n"
           "   <PageSetup>\n"
           "    <Layout x:Orientation=\"Landscape\"/>\n"
           "    <Header x:Margin=\"0.5\"  x:Data=\"Foglio Excel '" + std::string(name) +
           "' generato automaticamente\"/>\n"
           "    <Footer x:Margin=\"0.5\" x:Data=\"Pagina &amp;P\"/>\n"
           "    <PageMargins x:Bottom=\"1\" x:Left=\"1\" x:Right=\"1\" x:Top=\"1\"/>\n"
           "   </PageSetup>\n"
           "   <Print>\n"
           "    <Gridlines/>\n"
           "   </Print>\n" +
           (selected ? "   <Selected/>\n" : "") +
           "   <ProtectObjects>False</ProtectObjects>\n"
           "   <ProtectScenarios>False</ProtectScenarios>\n"
           "  </WorksheetOptions>\n"
           " </Worksheet>\n";
}

// `s` n times.
inline std::string rep(std::size_t n, std::string_view s = "a") {
    std::string r;
    for (std::size_t i = 0; i < n; ++i) r += s;
    return r;
}

// A cell line without attributes.
inline std::string cell(std::string_view value, std::string_view type = "String") {
    return "    <Cell ><Data ss:Type=\"" + std::string(type) + "\">" + std::string(value) +
           "</Data></Cell>\n";
}

// Opens `path` with kAuthor and starts worksheet "S" with the default setup.
inline void open_with_sheet(const char *path = "out.xml") {
    ASSERT_EQ(xlsInit(path, std::string(kAuthor).c_str()), -1);
    ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
}

// A closed workbook's bytes after its prologue; fails the test when the file is not
// well-formed or does not start with the prologue.
inline std::string body_of(const char *path = "out.xml") {
    EXPECT_EQ(xml_error(path), "");
    std::string text = without_created(read_file(path));
    std::string head = prologue(kAuthor);
    EXPECT_TRUE(same_bytes(head, std::string_view(text).substr(0, head.size())));
    return text.size() < head.size() ? std::string() : text.substr(head.size());
}

// The body of a workbook with one worksheet "S" whose table holds `rows` and a row open.
inline std::string one_sheet(std::string_view rows) {
    return std::string(kStylesEnd) + sheet_start("S") + std::string(rows) + sheet_end("S", true) +
           "</Workbook>\n";
}

// The file-size limit in force for one scope; writes past it fail with EFBIG instead of a signal.
class SizeLimit {
public:
    explicit SizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit r = old_;
        r.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &r);
    }
    ~SizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit old_{};
    void (*previous_)(int) = nullptr;
};

// Runs f and returns what it printed on the standard error stream, without flushing the
// other open streams (the library's output keeps its buffered bytes until it writes them).
template <class F>
std::string own_stderr_of(F &&f) {
    std::fflush(stderr);
    std::FILE *capture = std::tmpfile();
    int saved = dup(2);
    dup2(fileno(capture), 2);
    f();
    std::fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string text;
    std::rewind(capture);
    char buf[256];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, capture)) > 0;) text.append(buf, n);
    std::fclose(capture);
    return text;
}

}  // namespace gqtest
