// Atomic mode: the old file stays until the new workbook is closed whole; a child killed
// at random points leaves the old file or the complete new one, never a part.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <random>
#include <thread>

#include "support.hpp"
#include "writer_util.hpp"

using namespace gqtest;
namespace fs = std::filesystem;

namespace {

class Atomic : public TempDirTest {
protected:
    void TearDown() override {
        xlsSetAtomic(0);
        TempDirTest::TearDown();
    }
};

const std::string kTemporary = ".out.xml.gridquill-" + std::to_string(getpid()) + ".tmp";

// The names in the working directory, sorted, joined by blanks.
std::string listing() {
    std::vector<std::string> names;
    for (const auto &e : fs::directory_iterator(".")) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string s;
    for (const auto &n : names) s += (s.empty() ? "" : " ") + n;
    return s;
}

TEST_F(Atomic, TheOldFileStaysUntilAWholeClose) {
    const std::string fresh = one_sheet("   <Row>\n" + cell("new"));
    const struct {
        const char *what;
        std::function<int()> finish;  // after a sheet with one cell "new" in out.xml
        int result;
        bool replaced;
    } cases[] = {
        {"closed whole", [] { return xlsClose(); }, -1, true},
        {"abandoned", [] { return xlsAbandon(), xlsClose(); }, 0, false},
        {"left for another", [] { return xlsInitMerge("nope.xml", "x.xml"); }, 0, false},
        {"a failed write", [] { SizeLimit cap(1000); return xlsClose(); }, 0, false},
    };
    for (const auto &c : cases) {
        write_file("out.xml", "old");
        ASSERT_EQ(xlsSetAtomic(7), -1);
        open_with_sheet();
        ASSERT_EQ(xlsWriteCell("new", 'S', ""), -1);
        EXPECT_EQ(listing(), kTemporary + " out.xml") << c.what;
        EXPECT_EQ(read_file("out.xml"), "old");
        int result = 1;
        stderr_of([&] { result = c.finish(); });
        EXPECT_EQ(result, c.result) << c.what;
        EXPECT_EQ(listing(), "out.xml") << c.what;
        if (c.replaced) EXPECT_TRUE(same_bytes(fresh, body_of())) << c.what;
        else EXPECT_EQ(read_file("out.xml"), "old") << c.what;
    }
}

TEST_F(Atomic, LinksModesSameFileMergesAndDevices) {
    ASSERT_EQ(xlsSetAtomic(1), -1);
    fs::create_directory("d");
    write_file("d/real.xml", "old");
    chmod("d/real.xml", 0640);
    fs::create_symlink("d/real.xml", "out.xml");
    open_with_sheet("out.xml");
    ASSERT_EQ(xlsWriteCell("new", 'S', ""), -1);
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_TRUE(fs::is_symlink("out.xml"));  // the file it leads to was replaced
    EXPECT_EQ(fs::status("d/real.xml").permissions(), fs::perms(0640));
    EXPECT_TRUE(same_bytes(one_sheet("   <Row>\n" + cell("new")), body_of()));
    // The same file as input and output: its sheet S copied, T added.
    ASSERT_EQ(xlsInitMerge("out.xml", "d/real.xml"), -1);
    ASSERT_EQ(xlsAddSheet("T", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsWriteCell("more", 'S', ""), -1);
    ASSERT_EQ(xlsClose(), -1);
    const std::string merged = read_file("out.xml");
    EXPECT_EQ(xml_error("out.xml"), "");
    EXPECT_NE(merged.find(sheet_start("S") + "   <Row>\n" + cell("new")), std::string::npos);
    EXPECT_NE(merged.find(sheet_start("T") + "   <Row>\n" + cell("more")), std::string::npos);
    EXPECT_EQ(listing(), "d out.xml");
    // A device is written directly.
    open_with_sheet("/dev/null");
    ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST_F(Atomic, LinksAndLongNamesAreFollowedToTheFileTheyName) {
    ASSERT_EQ(xlsSetAtomic(1), -1);
    fs::create_directory("d");
    const std::string here = fs::current_path().string(), longName(250, 'n');
    fs::create_symlink(here + "/d/abs.xml", "abs.xml");  // absolute, to a file not there yet
    fs::create_symlink("loop2.xml", "loop1.xml");
    fs::create_symlink("loop1.xml", "loop2.xml");
    const struct {
        std::string path, replaced, message;  // replaced: the file the workbook lands in
    } rows[] = {
        {"abs.xml", "d/abs.xml", ""},
        {longName, longName, ""},  // its temporary file's name is shortened
        {"loop1.xml", "",
         "Errore in apertura del file 'loop1.xml': " + std::string(std::strerror(ELOOP)) + "\n"},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.path);
        int opened = 0;
        EXPECT_EQ(
            stderr_of([&] { opened = xlsInit(row.path.c_str(), std::string(kAuthor).c_str()); }),
            row.message);
        if (!opened) continue;
        ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
        ASSERT_EQ(xlsWriteCell("new", 'S', ""), -1);
        ASSERT_EQ(xlsClose(), -1);
        EXPECT_TRUE(
            same_bytes(one_sheet("   <Row>\n" + cell("new")), body_of(row.replaced.c_str())));
    }
    EXPECT_EQ(listing(), "abs.xml d loop1.xml loop2.xml " + longName);
}

// Writes a workbook of about 4 MB to out.xml in atomic mode; the child's whole life.
[[noreturn]] void child_writes() {
    xlsSetAtomic(1);
    xlsInit("out.xml", "Child");
    xlsAddSheet("S", xlsSheetSetupDefault);
    for (int i = 0; i < 40000; ++i) {
        xlsWriteCell("0123456789012345678901234567890123456789012345678901234567890123456789", 'S', "");
        if (i % 10 == 9) xlsNewLine();
    }
    _exit(xlsClose() == -1 ? 0 : 1);
}

TEST_F(Atomic, AKilledWriterLeavesTheOldFileOrTheWholeNewOne) {
    auto run = [](std::chrono::microseconds kill_after) {
        pid_t child = fork();
        if (child == 0) child_writes();
        if (kill_after.count() >= 0) {
            std::this_thread::sleep_for(kill_after);
            kill(child, SIGKILL);
        }
        int status = 0;
        waitpid(child, &status, 0);
    };
    auto start = std::chrono::steady_clock::now();
    run(std::chrono::microseconds(-1));  // the new workbook, whole
    auto whole = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - start);
    const std::string fresh = without_created(read_file("out.xml"));
    ASSERT_EQ(xml_error("out.xml"), "");
    ASSERT_GT(fresh.size(), 3000000u);

    std::mt19937 random(std::random_device{}());
    int kills = 0, old = 0, replaced = 0, left = 0;
    for (; kills < 60; ++kills) {
        write_file("out.xml", "old");
        run(std::chrono::microseconds(random() % (whole.count() + 1)));
        std::string text = read_file("out.xml");
        if (text == "old") ++old;
        else if (without_created(text) == fresh) ++replaced;
        else ADD_FAILURE() << "a part of " << text.size() << " bytes under the target's name";
        for (const auto &e : fs::directory_iterator(".")) {
            if (e.path().filename() == "out.xml") continue;
            EXPECT_EQ(e.path().filename().string().rfind(".out.xml.gridquill-", 0), 0u) << e.path();
            fs::remove(e.path());
            ++left;
        }
    }
    std::printf("%d kills within %lld us: old file %d, new file %d, temporary files left %d\n",
                kills, static_cast<long long>(whole.count()), old, replaced, left);
}

}  // namespace
