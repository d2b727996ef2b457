// gridquill-csv run as a user runs it: golden conversions, failures with their exit status
// and message, and the schema.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support.hpp"

namespace {

namespace fs = std::filesystem;
using namespace gqtest;

const fs::path kCases = fs::path(GRIDQUILL_SOURCE_DIR) / "tests" / "csv";

struct Outcome {
    int status;
    std::string err;
};

// The program with `args` in the test's folder, which holds copies of the cases.
Outcome run(const std::string &args) {
#ifdef GRIDQUILL_CSV_PATH
    int s = std::system((std::string(GRIDQUILL_CSV_PATH) + " " + args + " 2>err.txt").c_str());
    return {WIFEXITED(s) ? WEXITSTATUS(s) : -1, read_file("err.txt")};
#else
    return {-1, args};
#endif
}

class Csv : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
#ifndef GRIDQUILL_CSV_PATH
        GTEST_SKIP() << "gridquill-csv is not built (libcsv missing)";
#endif
        for (const auto &entry : fs::directory_iterator(kCases)) fs::copy(entry.path(), dir);
    }
};

struct Conversion {
    const char *args, *golden, *warnings;
} const kConversions[] = {
    {"misto.csv >out.xml", "csv_misto.xml",
     "gridquill-csv: misto.csv: 2 righe con un numero di campi diverso dai 5 della prima "
     "(la prima alla riga 5)\ngridquill-csv: 1 sequenza UTF-8 non valida sostituita da U+FFFD\n"},
    {"--decimal-comma --dates dmy -e windows-1252 italiano.csv -o out.xml", "csv_italiano.xml", ""},
};

TEST_F(Csv, GoldenConversions) {
    for (const Conversion &c : kConversions) {
        SCOPED_TRACE(c.args);
        Outcome o = run(c.args);
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.err, c.warnings);
        std::string out = read_file("out.xml");
        EXPECT_EQ(xml_error_text(out), "");
        EXPECT_TRUE(same_bytes(read_file(fs::path(GRIDQUILL_GOLDEN_DIR) / c.golden),
                               without_created(out)));
    }
}

// A sheet replaced in place: the same bytes as the new sheet written alone; then continued.
TEST_F(Csv, AppendToReplacesTheSheetOfTheSameName) {
    ASSERT_EQ(run("-q misto.csv -o libro.xml").status, 0);
    ASSERT_EQ(run("-q -a libro.xml tabulata.tsv --sheet misto").status, 0);
    ASSERT_EQ(run("tabulata.tsv --sheet misto -o solo.xml").status, 0);
    EXPECT_TRUE(same_bytes(without_created(read_file("solo.xml")),
                           without_created(read_file("libro.xml"))));
    // Continued (the name's case aside): its rows and the file's after its header.
    auto rows = [](const std::string &s) {
        std::size_t n = 0;
        for (std::size_t at = s.find("<Row"); at != std::string::npos; at = s.find("<Row", at + 1)) ++n;
        return n;
    };
    const std::size_t before = rows(read_file("libro.xml"));
    ASSERT_EQ(run("-q -a libro.xml --append-rows tabulata.tsv --sheet MISTO").status, 0);
    EXPECT_EQ(xml_error("libro.xml"), "");
    EXPECT_EQ(rows(read_file("libro.xml")), 2 * before - 1);
}

// No row lost: past the grid's last row a sheet "<name> (2)" goes on, its header repeated,
// frozen and filtered, and the run says so.
TEST_F(Csv, RowsPastTheGridGoOnInANewSheet) {
    std::string rows = "n;m\n";
    for (int i = 1; i <= 1048577; ++i) rows.append(std::to_string(i)).append(";x\n");
    write_file("grande.csv", rows);
    Outcome o = run("grande.csv -o out.xml");
    EXPECT_EQ(o.status, 0);
    EXPECT_EQ(o.err, "gridquill-csv: grande.csv: righe oltre la 1048576 di un foglio: dalla riga "
                     "1048577 continuano nei fogli seguenti, fino a 'grande (2)'\n");
    std::string out = read_file("out.xml");
    EXPECT_EQ(xml_error_text(out), "");
    std::size_t second = out.find(" <Worksheet ss:Name=\"grande (2)\" >");
    ASSERT_NE(second, std::string::npos);
    EXPECT_NE(out.rfind("<Data ss:Type=\"Number\">1048575</Data>", second), std::string::npos);
    const std::string head = "<Cell ss:StyleID=\"csvHead\" ><Data ss:Type=\"String\">n</Data></Cell>\n"
                             "    <Cell ss:StyleID=\"csvHead\" ><Data ss:Type=\"String\">m</Data></Cell>\n"
                             "   </Row>\n   <Row>\n    <Cell ><Data ss:Type=\"Number\">1048576</Data>";
    for (const std::string &piece : {head, std::string("<AutoFilter x:Range=\"R1C1:R3C2\""),
                                     std::string("<FreezePanes/>")})
        EXPECT_NE(out.find(piece, second), std::string::npos) << piece;
}

// Names that differ in case alone are one name in every script: the second file's sheet
// gets " (2)", and a merge's sheet named in another case is replaced where it stands.
TEST_F(Csv, NamesThatDifferInCaseAloneAreOneName) {
    const std::string lower = "Citt\xC3\xA0", upper = "CITT\xC3\x80";
    auto sheets = [] {
        std::string out = read_file("out.xml"), names;
        const std::string tag = "<Worksheet ss:Name=\"";
        for (std::size_t at = out.find(tag); at != std::string::npos; at = out.find(tag, at + 1)) {
            std::size_t from = at + tag.size();
            names += out.substr(from, out.find('"', from) - from) + ";";
        }
        return names;
    };
    ASSERT_EQ(run("-q -s " + lower + " misto.csv -s " + upper + " tabulata.tsv -o out.xml").status,
              0);
    EXPECT_EQ(sheets(), lower + ";" + upper + " (2);");
    ASSERT_EQ(run("-q -a out.xml -s " + upper + " tabulata.tsv").status, 0);
    EXPECT_EQ(sheets(), lower + ";" + upper + " (2);");
    EXPECT_EQ(xml_error("out.xml"), "");
}

TEST_F(Csv, WorkbooksValidate) {
    const fs::path validate = fs::path(GRIDQUILL_SCHEMA_DIR) / "validate";
    if (!fs::exists(validate) || std::system("command -v xmllint >/dev/null") != 0)
        GTEST_SKIP() << "schema validator or xmllint missing: " << validate;
    for (const Conversion &c : kConversions) {
        ASSERT_EQ(run(c.args).status, 0);
        EXPECT_EQ(std::system((validate.string() + " out.xml >/dev/null").c_str()), 0) << c.args;
    }
}

TEST_F(Csv, Failures) {
    write_file("vecchia.xml", "old");
    struct Case {
        const char *args;
        int status;
        const char *err;
    } const cases[] = {
        {"misto.csv rotto.csv -o vecchia.xml", 1,
         "gridquill-csv: misto.csv: 2 righe con un numero di campi diverso dai 5 della prima "
         "(la prima alla riga 5)\ngridquill-csv: rotto.csv: virgolette aperte alla riga 2 e mai "
         "chiuse\n"},
        {"manca.csv -o vecchia.xml", 1,
         "gridquill-csv: impossibile aprire 'manca.csv': No such file or directory\n"},
        {"-d", 2, "gridquill-csv: all'opzione '-d' manca il valore\nProvare 'gridquill-csv --help'.\n"},
        {"-e koi8-r", 2, "gridquill-csv: codifica sconosciuta: 'koi8-r'\nProvare 'gridquill-csv --help'.\n"},
        {"-s a -s b x.csv", 2,
         "gridquill-csv: piu' nomi di foglio (--sheet) che file in ingresso\nProvare "
         "'gridquill-csv --help'.\n"},
        {"--dates ymd x.csv", 2,
         "gridquill-csv: ordine delle date sconosciuto: 'ymd'\nProvare 'gridquill-csv --help'.\n"},
        {"--append-rows x.csv", 2,
         "gridquill-csv: --append-rows vale solo con --append-to\nProvare 'gridquill-csv --help'.\n"},
        {"--help >/dev/null", 0, ""},
    };
    for (const Case &c : cases) {
        Outcome o = run(c.args);
        EXPECT_EQ(o.status, c.status) << c.args;
        EXPECT_EQ(o.err, c.err) << c.args;
    }
    EXPECT_EQ(read_file("vecchia.xml"), "old");
    auto files = [](const fs::path &d) {
        return std::distance(fs::directory_iterator(d), fs::directory_iterator());
    };
    EXPECT_EQ(files("."), files(kCases) + 2);  // the cases, vecchia.xml, err.txt: no leftovers
}

}  // namespace

namespace {

// Files whose name marks them as a workbook's temporary file, under `folder`.
int temporaries(const fs::path &folder) {
    int n = 0;
    for (const auto &e : fs::recursive_directory_iterator(folder))
        n += e.path().filename().string().find(".gridquill-") != std::string::npos;
    return n;
}

TEST_F(Csv, AnInterruptedRunLeavesNoTemporaryFile) {
#ifdef GRIDQUILL_CSV_PATH
    fs::create_directory("real");
    write_file("real/target.xml", "old");
    fs::create_symlink("real/target.xml", "link.xml");
    const std::string longName = std::string(240, 'n') + ".xml";
    const struct {
        const char *what;
        std::string output;
    } rows[] = {{"a new file", "out.xml"},
                {"a link to a file in another folder", "link.xml"},
                {"a name the temporary file shortens", longName}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.what);
        int input[2];
        ASSERT_EQ(pipe(input), 0);
        pid_t pid = fork();
        if (pid == 0) {
            dup2(input[0], STDIN_FILENO);
            close(input[1]);
            execl(GRIDQUILL_CSV_PATH, GRIDQUILL_CSV_PATH, "-q", "-", "-o", row.output.c_str(),
                  static_cast<char *>(nullptr));
            _exit(127);
        }
        close(input[0]);
        ASSERT_EQ(write(input[1], "a,b\n1,2\n", 8), 8);
        for (int wait = 0; wait < 500 && temporaries(dir) == 0; ++wait)  // the run has begun
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(temporaries(dir), 1);
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        close(input[1]);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
        EXPECT_EQ(temporaries(dir), 0);
    }
    EXPECT_EQ(read_file("real/target.xml"), "old");
#endif
}

}  // namespace
