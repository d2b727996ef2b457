// Merge: workbooks written by the library merged back, hand-made inputs for every
// failure, the marking rules, and the bounds on IDs, names, lines and streams.
#include <cerrno>
#include <cstring>
#include <algorithm>
#include <optional>
#include <vector>

#include "support.hpp"

using namespace gqtest;
namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

// Lines 1 to 3 of the library's prologue and the Styles start tag.
std::string head() {
    std::string p = prologue("A");
    std::size_t line3 = p.find('\n', p.find('\n') + 1);
    return p.substr(0, p.find('\n', line3 + 1) + 1) + " <Styles>\n";
}

std::string style(const std::string &id) { return "  <Style ss:ID=\"" + id + "\">\n  </Style>\n"; }
std::string sheet(const std::string &name) {
    return " <Worksheet ss:Name=\"" + name + "\" >\n  <Table/>\n </Worksheet>\n";
}

// A hand-made input: head, styles, the Styles end line, body, the Workbook end line.
std::string input(const Names &ids, const std::string &body) {
    std::string s = head();
    for (const std::string &id : ids) s += style(id);
    return s + " </Styles>\n" + body + "</Workbook>\n";
}

// The built-in style of that ID as the prologue writes it.
std::string builtin(const std::string &id) {
    std::string p = prologue("A");
    std::size_t at = p.find("  <Style ss:ID=\"" + id + "\">");
    return p.substr(at, p.find("  </Style>\n", at) + 11 - at);
}
const std::string kAllBuiltins = builtin("txt") + builtin("num") + builtin("date");

std::string perror_text(std::string_view message, int err) {
    return std::string(message) + ": " + std::strerror(err) + "\n";
}

// Streams of this process open on `path`.
int open_streams(const fs::path &path) {
    int n = 0;
    fs::path target = fs::weakly_canonical(path);
    for (const auto &fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (fs::read_symlink(fd.path(), ec) == target) ++n;
    }
    return n;
}

// Closes whatever streams a start left open, without creating a file.
void close_streams() { stderr_of([] { xlsInitMerge("", ""); }); }

// The client's own part: style s9 and a sheet Cliente with one cell, then the close.
void client_part() {
    ASSERT_EQ(xlsAddStyle(xlsStyleDefault, "s9"), -1);
    ASSERT_EQ(xlsAddSheet("Cliente", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsWriteCell("x & y", 'S', "s9"), -1);
    ASSERT_EQ(xlsClose(), -1);
}

// Merges in.xml into out.xml with `marks` and the client's part, and checks the seven
// pieces: input up to its Styles end, `builtins`, the client's style, the Styles end,
// `kept`, the client's sheet (not selected: the input's first sheet is), the Workbook end;
// `copyErrors` printed by the copy; `early` refused before the start.
void check_merge(const Names &marks, const std::string &builtins, const std::string &kept,
                 const std::string &copyErrors = "", const Names &early = {}) {
    ASSERT_EQ(xlsInit("ref.xml", "A"), -1);
    client_part();
    EXPECT_EQ(xml_error("ref.xml"), "");
    std::string ref = read_file("ref.xml"), in = read_file("in.xml");
    std::size_t refStyle = ref.find("  <Style ss:ID=\"s9\">");
    std::size_t refEnd = ref.find(" </Styles>\n") + 11;

    for (const std::string &m : early)
        EXPECT_EQ(stderr_of([&] { EXPECT_EQ(xlsSheetDelete(m.c_str()), 0); }),
                  "Nessun file in input aperto: il foglio '" + m + "' non c'e' in xlsSheetDelete().\n");
    ASSERT_EQ(xlsInitMerge("in.xml", "out.xml"), -1);
    for (const std::string &m : marks) EXPECT_EQ(xlsSheetDelete(m.c_str()), -1);
    EXPECT_EQ(stderr_of([] { client_part(); }), copyErrors);
    EXPECT_EQ(xlsGetError(), copyErrors);
    EXPECT_EQ(open_streams("in.xml"), 0);
    std::string expected = in.substr(0, in.find(" </Styles>\n")) + builtins +
                           ref.substr(refStyle, refEnd - refStyle) + kept +
                           without_selected(ref.substr(refEnd));
    EXPECT_TRUE(same_bytes(expected, read_file("out.xml")));
    EXPECT_EQ(xml_error("out.xml"), "");
}

class Merge : public TempDirTest {};

TEST_F(Merge, LibraryWorkbookRoundTripKeepsUnmarkedSheetsByteForByte) {
    ASSERT_EQ(xlsInit("in.xml", "Autore"), -1);
    ASSERT_EQ(xlsAddStyle(xlsStyleDefault, "s1"), -1);
    for (const char *name : {"Foglio", "Foglio1", "Foglio2"}) {
        ASSERT_EQ(xlsAddSheet(name, xlsSheetSetupDefault), -1);
        ASSERT_EQ(xlsWriteCell(name, 'S', "s1"), -1);
        ASSERT_EQ(xlsNewLineEx(2, 20, "txt"), -1);
        ASSERT_EQ(xlsWriteCell("12.5", 'N', "num"), -1);
    }
    ASSERT_EQ(xlsClose(), -1);
    ASSERT_EQ(xml_error("in.xml"), "");
    std::string in = read_file("in.xml");
    std::size_t foglio = in.find(" <Worksheet ss:Name=\"Foglio\""),
                foglio1 = in.find(" <Worksheet ss:Name=\"Foglio1\""),
                foglio2 = in.find(" <Worksheet ss:Name=\"Foglio2\""), end = in.find("</Workbook>");
    // Only the active sheet, the input's first, stays selected.
    std::string kept = in.substr(foglio, foglio1 - foglio) +
                       without_selected(in.substr(foglio2, end - foglio2));
    check_merge({"Foglio1"}, "", kept);
    // The input's styles and the built-in ones are registered as whole names.
    ASSERT_EQ(xlsInitMerge("in.xml", "again.xml"), -1);
    for (const char *id : {"Default", "txt", "num", "date", "s1"})
        EXPECT_EQ(stderr_of([&] { EXPECT_EQ(xlsAddStyle(xlsStyleDefault, id), 0); }),
                  std::string("ID stile '") + id + "' duplicato\n");
    for (const char *id : {"Def", "s", "um"}) EXPECT_EQ(xlsAddStyle(xlsStyleDefault, id), -1);
    ASSERT_EQ(xlsAddSheet("Z", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsWriteCell("1", 'N', "um"), -1);
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_EQ(xml_error("again.xml"), "");
}

TEST_F(Merge, BuiltInStylesAreAddedWhenNoInputStyleHasTheirWholeName) {
    const std::string id31(31, 'i');
    const struct {
        Names ids;
        std::string builtins;
    } rows[] = {
        {{"Default", "s21"}, kAllBuiltins},
        {{"mytxt", "s21date"}, kAllBuiltins},
        {{"num"}, builtin("txt") + builtin("date")},
        {{"numero", "txt", "date"}, builtin("num")},
        {{"date", "num", "txt", "date"}, ""},
        {{id31}, kAllBuiltins},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.ids[0]);
        write_file("in.xml", input(row.ids, sheet("Uno")));
        check_merge({}, row.builtins, sheet("Uno"));
    }
}

TEST_F(Merge, MarksLeaveOutWholeSheetsByName) {
    // The sheets kept of the four, the comment after Foglio1 staying in its place.
    auto body = [](const Names &kept) {
        std::string s = " <!-- prima -->\n";
        for (std::string n : {"Foglio", "Foglio1", "", "A&amp;B"}) {
            if (std::find(kept.begin(), kept.end(), n) != kept.end()) s += sheet(n);
            if (n == "Foglio1") s += "<!-- dopo -->\n";
        }
        return s;
    };
    const struct {
        Names marks, kept;
    } rows[] = {
        {{"Foglio1"}, {"Foglio", "", "A&amp;B"}},
        {{"Foglio"}, {"Foglio1", "", "A&amp;B"}},
        {{"A&B"}, {"Foglio", "Foglio1", ""}},  // the name the writer writes for A&B
        {{"A&amp;B", "A&amp;B"}, {"Foglio", "Foglio1", ""}},
        {{"Foglio", "Foglio1", "A&amp;B"}, {""}},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.marks[0]);
        write_file("in.xml", input({"s1"}, body({"Foglio", "Foglio1", "", "A&amp;B"})));
        check_merge(row.marks, kAllBuiltins, body(row.kept));
    }
    // Marks made before the start are refused.
    check_merge({}, kAllBuiltins, body({"Foglio", "Foglio1", "", "A&amp;B"}), "", {"Foglio"});
}

TEST_F(Merge, LongLinesAreCopiedUnchangedPieceByPiece) {
    std::string cell = "  <Table><Row><Cell><Data ss:Type=\"String\">" + std::string(9000, 'v') +
                       "</Data></Cell></Row></Table>\n";
    std::string body = " <!--" + std::string(3991, 'c') + "-->\n" +  // a piece and its line feed
                       " <Worksheet ss:Name=\"L\" >\n" + cell + " </Worksheet>\n";
    std::string in = input({"s1"}, body);
    in.insert(in.find(" <Styles>"), " <!--" + std::string(7000, 'h') + "-->\n");
    write_file("in.xml", in);
    check_merge({}, kAllBuiltins, body);
    // A Worksheet tag whose Name falls past a piece of the old line reading is found.
    write_file("in.xml", input({"s1"}, sheet("A") + std::string(3980, ' ') + sheet("B").substr(1)));
    check_merge({"A"}, kAllBuiltins, std::string(3980, ' ') + sheet("B").substr(1));
    // So is one whose Name follows a long attribute, the parser's memory grown under it.
    std::string longTag = " <Worksheet ss:Note=\"" + std::string(5000, 'n') +
                          "\" ss:Name=\"C\" >\n  <Table/>\n </Worksheet>\n";
    write_file("in.xml", input({"s1"}, sheet("A") + longTag));
    check_merge({"A"}, kAllBuiltins, longTag);
}

// An input the start refuses opens nothing for writing and is closed again.
TEST_F(Merge, FailedStartsReportTheirMessagesAndLeaveTheStatedStreams) {
    const std::string good = input({"s1"}, sheet("A")), longPath(256, 'o');  // a name over the system's limit
    const std::string noWorkbook = "File in input senza un tag <Workbook> con gli spazi dei nomi di Excel.";
    const std::string truncated = "File in input troncato: manca il tag </Workbook>.";
    const std::string openIn = "Errore in apertura del file in input 'nope.xml'";
    const std::string openOut = "Errore in apertura del file in output 'no/out.xml'";
    const std::string openLong = ("Errore in apertura del file in output '" + longPath + "'").substr(0, 254);
    const std::string same = "File in input e file in output coincidono.";
    const std::string stylesHead = head() + style("s1");
    const struct {
        std::string in, inPath, outPath, printed, error;
        std::optional<std::string> out;  // what out.xml holds afterwards; none: no file
        int inStreams, outStreams;
    } rows[] = {
        {good, "nope.xml", "out.xml", perror_text(openIn, ENOENT), openIn, {}, 0, 0},
        {good, "in.xml", "no/out.xml", perror_text(openOut, ENOENT), openOut, {}, 1, 0},
        {good, "in.xml", longPath, perror_text(openLong, ENAMETOOLONG), openLong, {}, 1, 0},
        {good, "in.xml", "in.xml", same, same, {}, 0, 0},
        {good, "in.xml", "./sub/../in.xml", same, same, {}, 0, 0},
        {good, "in.xml", "link.xml", same, same, {}, 0, 0},
        {"<?xml version=\"1.0\"?>\n<Workbook>\n" + good.substr(good.find(" <Styles>")),
         "in.xml", "out.xml", noWorkbook, noWorkbook, {}, 0, 0},
        {"", "in.xml", "out.xml", truncated, truncated, {}, 0, 0},
        {stylesHead + "  <Style ss:Name=\"x\">\n", "in.xml", "out.xml",
         "File in input con tag <Style> con ID mancante.",
         "File in input con tag <Style> con ID mancante.", {}, 0, 0},
        {stylesHead + "  <Style ss:ID=\"\">\n", "in.xml", "out.xml",
         "File in input con tag <Style> con ID malformato.",
         "File in input con tag <Style> con ID malformato.", {}, 0, 0},
        {stylesHead + "  <Style ss:ID=\"s2>\n", "in.xml", "out.xml", truncated, truncated, {}, 0, 0},
        {stylesHead + style(std::string(32, 'i')), "in.xml", "out.xml",
         "File in input con tag <Style> con ID troppo lungo (al massimo 31 caratteri).",
         "File in input con tag <Style> con ID troppo lungo (al massimo 31 caratteri).",
         {}, 0, 0},
    };
    fs::create_directory("sub");
    fs::create_symlink("in.xml", "link.xml");
    for (const auto &row : rows) {
        SCOPED_TRACE(row.printed);
        write_file("in.xml", row.in);
        fs::remove("out.xml");
        EXPECT_EQ(stderr_of([&] {
                      EXPECT_EQ(xlsInitMerge(row.inPath.c_str(), row.outPath.c_str()), 0);
                  }),
                  row.printed);
        EXPECT_EQ(xlsGetError(), row.error);
        EXPECT_EQ(open_streams("in.xml"), row.inStreams);
        EXPECT_EQ(open_streams("out.xml"), row.outStreams);
        close_streams();
        EXPECT_EQ(read_file("in.xml"), row.in);
        EXPECT_EQ(fs::exists("out.xml"), row.out.has_value());
        if (row.out) {
            EXPECT_TRUE(same_bytes(*row.out, read_file("out.xml")));
        }
    }
}

TEST_F(Merge, StreamsLeftByAnEarlierStartAreClosed) {
    write_file("in.xml", input({"s1"}, sheet("A")));
    ASSERT_EQ(xlsInitMerge("in.xml", "first.xml"), -1);
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsClose(), 0); }),
              "Non si puo' chiudere Excel a questo punto.\n");
    ASSERT_EQ(xlsInitMerge("in.xml", "out.xml"), -1);
    EXPECT_EQ(open_streams("in.xml"), 1);
    EXPECT_EQ(open_streams("first.xml"), 0);
    EXPECT_EQ(read_file("first.xml"), "");  // the head waits for the first call that writes
    close_streams();
    // The copy without one of its streams reports it and still closes the input.
    const std::string missing = perror_text("Errore in apertura dei file in __CopiaSheet().", EBADF);
    for (const auto &paths : {std::pair{"in.xml", "no/out.xml"}, {"nope.xml", "out.xml"}}) {
        stderr_of([&] { xlsInitMerge(paths.first, paths.second); });
        EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsAddSheet("B", xlsSheetSetupDefault), -1); }), missing);
        EXPECT_EQ(open_streams("in.xml"), 0);
    }
}

TEST_F(Merge, MarksAndInputStylesAreBounded) {
    close_streams();
    const std::string before = xlsGetError();
    EXPECT_EQ(stderr_of([] {
                  EXPECT_EQ(xlsSheetDelete(""), 0);
                  EXPECT_EQ(xlsSheetDelete(nullptr), 0);
              }),
              "");
    EXPECT_EQ(xlsGetError(), before);
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsSheetDelete(std::string(200, 'n').c_str()), 0); }),
              "Nome Sheet troppo lungo (al massimo 199 caratteri) in xlsSheetDelete().");
    // An input with more styles than the registry takes is refused.
    Names ids;
    for (int i = 0; i < 4096; ++i) ids.push_back(std::string("s").append(std::to_string(i)));
    for (bool extra : {false, true}) {
        if (extra) ids.push_back("txt");
        write_file("in.xml", input(ids, sheet("A")));
        EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsInitMerge("in.xml", "out.xml"), 0); }),
                  "File in input con troppi tag <Style>.");
    }
    close_streams();
}

}  // namespace
