// Eight threads write 25 workbooks each at once, the odd ones interleaving two contexts
// call by call: every file, result and message equals that of the same workbook alone.
#include <unistd.h>

#include <functional>
#include <thread>
#include <vector>

#include "support.hpp"

using namespace gqtest;

namespace {

using Log = std::string;  // each call's result, and its message when it failed
using Call = std::function<void(Log &)>;

void log(Log &out, int result) {
    out += result == 0 ? std::string("0 ") + xlsGetError() : "-1\n";
}

// The calls of workbook k, written at `path`: a size, styles, merges, refusals, a merge
// of input.xml or a write that fails, all chosen by k.
std::vector<Call> calls(int k, const std::string &path) {
    std::vector<Call> c;
    const int rows = k % 9 == 0 ? 1500 : 3 + k * 37 % 120, styles = k % 4;
    const bool merge = k % 5 == 1, full = k % 7 == 3;
    const std::string out = full ? "/dev/full" : path;
    if (merge)
        c.push_back([=](Log &l) {
            log(l, xlsInitMerge("input.xml", out.c_str())), log(l, xlsSheetDelete("B"));
        });
    else
        c.push_back([=](Log &l) { log(l, xlsInit(out.c_str(), std::to_string(k).c_str())); });
    for (int s = 0; s < styles; ++s)
        c.push_back([=](Log &l) {
            xlsStyle style = xlsStyleDefault;
            style.bold = s % 2 ? '1' : '0';
            style.fontSize = static_cast<unsigned char>(8 + k % 5);
            log(l, xlsAddStyle(style, ("s" + std::to_string(s)).c_str()));
        });
    const std::string sheet = "T" + std::to_string(k);
    Call addSheet = [=](Log &l) { log(l, xlsAddSheet(sheet.c_str(), xlsSheetSetupDefault)); };
    c.push_back(addSheet);
    c.push_back([=](Log &l) { log(l, xlsColumn(1 + k % 3, 40 + k, styles ? "s0" : "")); });
    for (int r = 0; r < rows; ++r)
        c.push_back([=](Log &l) {
            std::string text = "r" + std::to_string(r) + (k % 3 ? " & \xe8" : "");
            log(l, xlsWriteCell(text.c_str(), 'S', r % 2 && styles ? "s0" : ""));
            log(l, xlsWriteCellEx(xlsGetPosition(), 'S', "", "", r % 4, r % 6 == 1, 0));
            std::string sum = "=SUM(" + std::string(xlsGetRectangle(1, 1, r + 1, 1)) + ")";
            log(l, xlsWriteCellEx(std::to_string(r * k).c_str(), 'N', "num", sum.c_str(), 0, 0, 0));
            if (r % 17 == 5) log(l, xlsWriteCell("x", 'S', "nessuno"));  // refused: no such style
            if (r % 29 == 7) log(l, xlsColumn(2, 10, ""));  // refused: after the cells
            l += AsciiToUtf8(text.c_str());
            log(l, xlsNewLineEx(r % 11 == 0, r % 5 == 0 ? 12 + r % 20 : 0, ""));
        });
    if (k % 6 == 2) c.push_back(addSheet);  // refused: a duplicate
    c.push_back([](Log &l) { log(l, xlsClose()); });
    return c;
}

class Stress : public TempDirTest {};

}  // namespace

TEST_F(Stress, WorkbooksWrittenAtOnceEqualEachWrittenAlone) {
    constexpr int kThreads = 8, kEach = 25, kAll = kThreads * kEach;
    ASSERT_EQ(xlsInit("input.xml", "I"), -1);
    for (const char *sheet : {"A", "B", "C"})
        xlsAddSheet(sheet, xlsSheetSetupDefault), xlsWriteCell(sheet, 'S', "");
    ASSERT_EQ(xlsClose(), -1);

    int err = dup(2);  // the refusals' messages stay out of the test's output
    ASSERT_TRUE(std::freopen("/dev/null", "w", stderr));
    std::vector<Log> alone(kAll), together(kAll);
    for (int k = 0; k < kAll; ++k)
        for (const Call &call : calls(k, "alone" + std::to_string(k) + ".xml")) call(alone[k]);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t, &together] {
            xlsContext *context[2] = {xlsNewContext(), xlsNewContext()};
            for (int j = 0; j < kEach; j += 1 + t % 2) {
                int k[2] = {t * kEach + j, t * kEach + j + 1};
                std::vector<Call> steps[2];
                for (int w = 0; w < 1 + t % 2 && k[w] < (t + 1) * kEach; ++w)
                    steps[w] = calls(k[w], "together" + std::to_string(k[w]) + ".xml");
                for (std::size_t i = 0; i < std::max(steps[0].size(), steps[1].size()); ++i)
                    for (int w = 0; w < 2; ++w)
                        if (i < steps[w].size()) {
                            if (t % 2) xlsSelectContext(context[w]);
                            steps[w][i](together[k[w]]);
                        }
            }
            xlsFreeContext(context[0]), xlsFreeContext(context[1]);
        });
    for (std::thread &thread : threads) thread.join();
    std::fflush(stderr);
    dup2(err, 2);

    for (int k = 0; k < kAll; ++k) {
        std::string a = "alone" + std::to_string(k) + ".xml";
        std::string b = "together" + std::to_string(k) + ".xml";
        EXPECT_EQ(alone[k], together[k]) << k;
        EXPECT_TRUE(same_bytes(without_created(read_file(a)), without_created(read_file(b)))) << k;
        EXPECT_EQ(k % 7 == 3 ? "" : xml_error(b), "") << k;  // /dev/full keeps nothing
    }
}
