// What a workbook carries besides its cells: output to a client's function, document
// properties, named ranges with the print area and titles; fragments, refusals, bounds.
#include <cerrno>
#include <cstring>
#include <functional>
#include <sstream>

#include "gridquill.hpp"
#include "writer_util.hpp"

namespace gqtest {
namespace {

class Extras : public TempDirTest {};

struct Sink {
    std::string bytes;
    int calls = 0, failAt = 0, errorCode = 0;  // the failAt-th call takes half, leaving errno
};

int sink_write(void *context, const char *data, size_t size) {
    auto *sink = static_cast<Sink *>(context);
    if (++sink->calls == sink->failAt) return errno = sink->errorCode, static_cast<int>(size / 2);
    sink->bytes.append(data, size);
    return static_cast<int>(size);
}

// A workbook with a style, names and 40,000 cells: several blocks of the stream.
void write_sample() {
    ASSERT_EQ(xlsAddStyle(xlsStyleDefault, "money"), -1);
    ASSERT_EQ(xlsAddName("Tasso", "=Dati!R1C2"), -1);
    ASSERT_EQ(xlsAddSheet("Dati", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsSetPrintArea(1, 1, 4, 2), -1);
    for (int i = 0; i < 20000; ++i) {
        ASSERT_EQ(xlsWriteCell("valore & <testo>", 'S', ""), -1);
        ASSERT_EQ(xlsWriteCell("12.5", 'N', "money"), -1);
        ASSERT_EQ(xlsNewLine(), -1);
    }
}

TEST_F(Extras, AStreamGetsTheFilesBytesAndItsFailuresAreReportedAsAFilesAre) {
    ASSERT_EQ(xlsInit("file.xml", "T"), -1);
    write_sample();
    ASSERT_EQ(xlsClose(), -1);
    Sink sink;
    ASSERT_EQ(xlsInitStream(sink_write, &sink, "T"), -1);
    write_sample();
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_GT(sink.calls, 2);
    EXPECT_TRUE(same_bytes(without_created(read_file("file.xml")), without_created(sink.bytes)));
    GQ_EXPECT_SCHEMA_VALID("file.xml");

    const std::string message = "Errore in scrittura del flusso in output";
    const struct { int failAt, errorCode, reported; } rows[] = {{1, 0, EIO}, {3, EPIPE, EPIPE}};
    for (const auto &row : rows) {
        Sink failing{{}, 0, row.failAt, row.errorCode};
        ASSERT_EQ(xlsInitStream(sink_write, &failing, "T"), -1);
        write_sample();
        int result = 1;
        EXPECT_EQ(own_stderr_of([&] { result = xlsClose(); }),
                  message + ": " + std::strerror(row.reported) + "\n");
        EXPECT_EQ(result, 0);
        EXPECT_EQ(xlsGetError(), message);
        EXPECT_EQ(failing.calls, row.failAt);  // never called after a failure
    }
    Sink dropped;  // an unfinished workbook's bytes are dropped by the next open, unwritten
    ASSERT_EQ(xlsInitStream(sink_write, &dropped, "T"), -1);
    ASSERT_EQ(xlsInit("next.xml", "T"), -1);
    EXPECT_EQ(dropped.calls, 0);
}

TEST_F(Extras, PropertiesGoInTheirPlacesOfTheNextWorkbookOnlyAndReplaceAMergeInputs) {
    const struct { const char *name, *value, *line; } rows[] = {
        {"Title", "Vendite & <costi>", "  <Title>Vendite &amp; &lt;costi></Title>\n"},
        {"subject", "Citt\xe0", "  <Subject>Citt\xc3\xa0</Subject>\n"},
        {"KEYWORDS", "a\x01", "  <Keywords>a </Keywords>\n"},
        {"Description", "\"x\"", "  <Description>\"x\"</Description>\n"},
        {"Category", "Finanza", "  <Category>Finanza</Category>\n"},
        {"Manager", "Capo", "  <Manager>Capo</Manager>\n"},
        {"Company", "R&amp;D", "  <Company>R&amp;D</Company>\n"}};
    std::string head = prologue(kAuthor);
    for (int i = 0; i < 7; ++i) {
        ASSERT_EQ(xlsSetDocumentProperty(rows[i].name, rows[i].value), -1);
        head.insert(head.find(i < 4 ? "  <LastAuthor>" : "  <Version>"), rows[i].line);
    }
    EXPECT_EQ(xlsInit("/nonexistent/x.xml", "T"), 0);  // a failed open keeps them
    for (const char *path : {"out.xml", "second.xml"}) {
        open_with_sheet(path);
        ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);
        ASSERT_EQ(xlsClose(), -1);
    }
    EXPECT_TRUE(same_bytes(head, without_created(read_file("out.xml")).substr(0, head.size())));
    EXPECT_EQ(read_file("second.xml").find("<Title>"), std::string::npos);  // forgotten
    GQ_EXPECT_SCHEMA_VALID("out.xml");

    ASSERT_EQ(xlsSetDocumentProperty("Title", "Nuovo"), -1);
    ASSERT_EQ(xlsInitMerge("out.xml", "merged.xml"), -1);
    ASSERT_EQ(xlsAddSheet("Nuovo", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsWriteCell("y", 'S', ""), -1);
    ASSERT_EQ(xlsClose(), -1);
    head.replace(head.find("  <Title>"), std::strlen(rows[0].line), "  <Title>Nuovo</Title>\n");
    EXPECT_TRUE(same_bytes(head, without_created(read_file("merged.xml")).substr(0, head.size())));
}

TEST_F(Extras, NamesAndPrintRangesAreWrittenWhereTheSchemaWantsThem) {
    ASSERT_EQ(xlsInit("out.xml", std::string(kAuthor).c_str()), -1);
    ASSERT_EQ(xlsAddName("Tasso", "=Dati!R1C2"), -1);
    ASSERT_EQ(xlsAddName("_meta.2", "0.5"), -1);
    ASSERT_EQ(xlsAddName("Testo", "=\"a&b\""), -1);
    ASSERT_EQ(xlsAddSheet("Dati", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsAddSheetName("Locale", "Dati!R3C1"), -1);
    ASSERT_EQ(xlsSetPrintArea(1, 1, 40, 3), -1);
    ASSERT_EQ(xlsSetPrintTitles(1, 2, 0, 0), -1);
    ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);
    const struct { const char *sheet; int rows[4]; const char *titles; } titles[] = {
        {"Il mio foglio", {1, 1, 1, 2}, "='Il mio foglio'!C1:C2,'Il mio foglio'!R1"},
        {"R1C1", {0, 0, 3, 3}, "='R1C1'!C3"}};
    for (const auto &t : titles) {
        ASSERT_EQ(xlsAddSheet(t.sheet, xlsSheetSetupDefault), -1);
        ASSERT_EQ(xlsSetPrintTitles(t.rows[0], t.rows[1], t.rows[2], t.rows[3]), -1);
        ASSERT_EQ(xlsColumn(1, 50, ""), -1);
        ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);
    }
    ASSERT_EQ(xlsClose(), -1);
    std::string body = body_of();
    std::string expected =
        " </Styles>\n <Names>\n"
        "  <NamedRange ss:Name=\"Tasso\" ss:RefersTo=\"=Dati!R1C2\"/>\n"
        "  <NamedRange ss:Name=\"_meta.2\" ss:RefersTo=\"=0.5\"/>\n"
        "  <NamedRange ss:Name=\"Testo\" ss:RefersTo=\"=&quot;a&amp;b&quot;\"/>\n"
        " </Names>\n <Worksheet ss:Name=\"Dati\" >\n  <Names>\n"
        "   <NamedRange ss:Name=\"Locale\" ss:RefersTo=\"=Dati!R3C1\"/>\n"
        "   <NamedRange ss:Name=\"Print_Area\" ss:RefersTo=\"=Dati!R1C1:R40C3\"/>\n"
        "   <NamedRange ss:Name=\"Print_Titles\" ss:RefersTo=\"=Dati!R1:R2\"/>\n"
        "  </Names>\n  <Table ";
    EXPECT_TRUE(same_bytes(expected, body.substr(0, expected.size())));
    for (const auto &t : titles)
        EXPECT_NE(body.find(" <Worksheet ss:Name=\"" + std::string(t.sheet) +
                            "\" >\n  <Names>\n   <NamedRange ss:Name=\"Print_Titles\" "
                            "ss:RefersTo=\"" + t.titles + "\"/>\n  </Names>\n  <Table "),
                  std::string::npos) << t.sheet;
    GQ_EXPECT_SCHEMA_VALID("out.xml");
    // A merge puts its names into the input's Names element.
    ASSERT_EQ(xlsInitMerge("out.xml", "merged.xml"), -1);
    ASSERT_EQ(xlsAddName("Nuovo", "=Dati!R2C2"), -1);
    ASSERT_EQ(xlsAddSheet("Nuovo", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsWriteCell("y", 'S', ""), -1);
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_NE(read_file("merged.xml").find(" <Names>\n  <NamedRange ss:Name=\"Nuovo\" ss:RefersTo="
                                           "\"=Dati!R2C2\"/>\n  <NamedRange ss:Name=\"Tasso\""),
              std::string::npos);
    GQ_EXPECT_SCHEMA_VALID("merged.xml");
}

TEST_F(Extras, RefusalsAndBounds) {
    ASSERT_EQ(xlsInit("out.xml", "T"), -1);
    const std::string long_ref = "=" + std::string(1024, '1');
    const struct { std::function<int()> call; std::string message; } rows[] = {
        {[] { return xlsSetDocumentProperty("Author", "x"); },
         "Proprieta' 'Author' sconosciuta in xlsSetDocumentProperty().\n"},
        {[] { return xlsSetDocumentProperty("Title", std::string(256, 'a').c_str()); },
         "Valore troppo lungo (al massimo 255 byte) per la proprieta' 'Title' in "
         "xlsSetDocumentProperty().\n"},
        {[] { return xlsAddName("1a", "=1"); }, "Nome '1a' non valido in xlsAddName().\n"},
        {[] { return xlsAddName("B12", "=1"); }, "Nome 'B12' non valido in xlsAddName().\n"},
        {[] { return xlsAddName("r2c", "=1"); }, "Nome 'r2c' non valido in xlsAddName().\n"},
        {[] { return xlsAddName("Uno", "="); },
         "Riferimento mancante per il nome 'Uno' in xlsAddName().\n"},
        {[&] { return xlsAddName("L", long_ref.c_str()); },
         "Riferimento troppo lungo (al massimo 1024 byte) per il nome 'L' in xlsAddName().\n"},
        {[] { return xlsAddName("Uno", "=1") + xlsAddName("UNO", "=2"); },
         "Nome 'UNO' duplicato in xlsAddName().\n"},
        {[] { return xlsSetPrintArea(1, 1, 1, 1); },
         "Non si puo' dare un nome del foglio a questo punto in xlsSetPrintArea(): va dato dopo "
         "xlsAddSheet(), prima di colonne e celle.\n"}};
    for (const auto &row : rows) {
        int result = 0;
        EXPECT_EQ(stderr_of([&] { result = row.call(); }), row.message);
        EXPECT_NE(result, -2);  // the duplicate row: one success, one refusal
    }
    EXPECT_EQ(xlsSetDocumentProperty("Title", std::string(255, '"').c_str()), -1);
    // The longest name, and the longest reference: "=" and 1023 characters.
    EXPECT_EQ(xlsAddName(std::string(255, 'n').c_str(), long_ref.substr(2).c_str()), -1);
    EXPECT_EQ(xlsAddName(std::string(256, 'm').c_str(), "=1"), 0);
    for (int i = 2; i < 128; ++i)
        ASSERT_EQ(xlsAddName(("n" + std::to_string(i) + "_").c_str(), "=1"), -1);
    EXPECT_EQ(xlsAddName("Oltre", "=1"), 0);
    ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
    EXPECT_EQ(xlsAddName("Tardi", "=1"), 0);
    for (int i = 0; i < 32; ++i)
        ASSERT_EQ(xlsAddSheetName(("s" + std::to_string(i) + "_").c_str(), "=1"), -1);
    EXPECT_EQ(xlsAddSheetName("Oltre", "=1"), 0);
    const int ranges[][4] = {
        {0, 1, 1, 1}, {2, 1, 1, 1}, {1, 1, 1048577, 1}, {1, 1, 1, 257}, {0, 0, 0, 0}};
    for (const auto &r : ranges) {
        EXPECT_EQ(xlsSetPrintArea(r[0], r[1], r[2], r[3]), 0);
        EXPECT_EQ(xlsSetPrintTitles(r[0], r[2], r[1], r[3]), 0);
    }
    EXPECT_EQ(xlsInitStream(nullptr, nullptr, "T"), 0);
    EXPECT_EQ(xlsGetError(), std::string("Errore in apertura del flusso in output"));
}

TEST_F(Extras, TheCppWorkbookWritesToAnOstreamAsToAFile) {
    auto write = [](gridquill::Workbook wb) {
        wb.name("Tasso", "=Dati!R1C1");
        wb.sheet("Dati").print_area(1, 1, 2, 2).print_titles(1, 1);
        wb.sheet_name("Qui", "=Dati!R2C1");
        wb.cell("x").cell(2.5);
        wb.sheet("Altro").cell("y");
        wb.close();
    };
    auto props = gridquill::Properties().title("Titolo").company("Ditta").active_sheet(1);
    write(gridquill::Workbook("file.xml", "A", props));
    std::ostringstream out;
    write(gridquill::Workbook(out, "A", props));
    EXPECT_TRUE(same_bytes(without_created(read_file("file.xml")), without_created(out.str())));
    EXPECT_NE(out.str().find("<Title>Titolo</Title>"), std::string::npos);
    EXPECT_NE(out.str().find("<ActiveSheet>1</ActiveSheet>"), std::string::npos);
    std::ostream bad(out.rdbuf());
    std::stringbuf readOnly(std::ios::in);
    std::ostream throwing(&readOnly);  // refuses writes, and throws for them
    throwing.exceptions(std::ios::badbit);
    bad.setstate(std::ios::badbit);
    for (std::ostream *stream : {&bad, &throwing}) {
        gridquill::Workbook wb(*stream, "A");
        wb.sheet("S").cell("x");
        EXPECT_THROW(wb.close(), gridquill::Error);
    }
}

}  // namespace
}  // namespace gqtest
