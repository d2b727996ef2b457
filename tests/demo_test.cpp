// The demo program run as a script would run it: its output line, exit status and the
// whole workbook it writes, compared with the expected file.
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <regex>

#include "support.hpp"

using namespace gqtest;

namespace {

class Demo : public TempDirTest {};

// Runs the demo in the current directory with standard input not a terminal.
std::string run_demo([[maybe_unused]] int &status) {
    std::string out;
#ifdef GRIDQUILL_DEMO_PATH
    std::FILE *p = popen("'" GRIDQUILL_DEMO_PATH "' < /dev/null", "r");
    if (p == nullptr) return out;
    char buf[256];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    status = pclose(p);
#endif
    return out;
}

TEST_F(Demo, WritesTheSampleWorkbook) {
#ifndef GRIDQUILL_DEMO_PATH
    GTEST_SKIP() << "gridquill_demo is not built";
#endif
    const std::string golden = read_file(std::filesystem::path(GRIDQUILL_GOLDEN_DIR) / "demo.xml");
    ASSERT_FALSE(golden.empty());
    for (int run = 0; run < 2; ++run) {  // the second run overwrites the file
        int status = -1;
        EXPECT_EQ(run_demo(status), "E' stato generato il file 'Prova1.xml'\n");
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
        std::string text = read_file("Prova1.xml");
        EXPECT_EQ(xml_error("Prova1.xml"), "");
        EXPECT_TRUE(std::regex_search(text, std::regex("\n  <Created>\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ</Created>\n")));
        EXPECT_TRUE(same_bytes(golden, without_created(text)));
    }
}

}  // namespace
