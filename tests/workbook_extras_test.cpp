// What a workbook carries besides its cells: the output to a client's stream, document
// properties and named ranges with the print area and titles; fragments, refusals, bounds.
#include <cerrno>
#include <cstring>
#include <string>

#include "writer_util.hpp"

namespace gqtest {
namespace {

class Extras : public TempDirTest {};

// A workbook with a style, a name, two sheets (the second with a print area) and cells
// enough to fill several stream buffers.
void write_sample(bool named) {
    xlsStyle money = xlsStyleDefault;
    ASSERT_EQ(xlsAddStyle(money, "money"), -1);
    if (named) {
        ASSERT_EQ(xlsAddName("Tasso", "=Dati!R1C2"), -1);
    }
    ASSERT_EQ(xlsAddSheet("Dati", xlsSheetSetupDefault), -1);
    if (named) {
        ASSERT_EQ(xlsSetPrintArea(1, 1, 4, 2), -1);
    }
    for (int i = 0; i < 20000; ++i) {
        ASSERT_EQ(xlsWriteCell("valore & <testo>", 'S', ""), -1);
        ASSERT_EQ(xlsWriteCell("12.5", 'N', "money"), -1);
        ASSERT_EQ(xlsNewLine(), -1);
    }
    ASSERT_EQ(xlsAddSheet("Altro", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);
}

struct Sink {
    std::string bytes;
    int calls = 0;
    int failAt = 0;       // 1-based call that takes fewer bytes; 0: none
    int errorCode = 0;    // errno the failing call leaves
};

int sink_write(void *context, const char *data, size_t size) {
    auto *sink = static_cast<Sink *>(context);
    if (++sink->calls == sink->failAt) {
        errno = sink->errorCode;
        return static_cast<int>(size / 2);
    }
    sink->bytes.append(data, size);
    return static_cast<int>(size);
}

TEST_F(Extras, AStreamGetsTheBytesOfTheSameWorkbookWrittenToAFile) {
    for (bool named : {false, true}) {
        ASSERT_EQ(xlsInit("file.xml", "Tester"), -1);
        write_sample(named);
        ASSERT_EQ(xlsClose(), -1);
        Sink sink;
        ASSERT_EQ(xlsInitStream(sink_write, &sink, "Tester"), -1);
        write_sample(named);
        ASSERT_EQ(xlsClose(), -1);
        EXPECT_GT(sink.calls, 2);
        EXPECT_TRUE(same_bytes(without_created(read_file("file.xml")), without_created(sink.bytes)));
        EXPECT_EQ(xml_error("file.xml"), "");
    }
    GQ_EXPECT_SCHEMA_VALID("file.xml");
}

TEST_F(Extras, AFailedStreamWriteIsReportedAsAFilesIs) {
    const std::string message = "Errore in scrittura del flusso in output";
    const struct {
        int failAt, errorCode, reported;
    } rows[] = {{1, 0, EIO}, {2, ENOSPC, ENOSPC}, {5, EPIPE, EPIPE}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.failAt);
        Sink sink{{}, 0, row.failAt, row.errorCode};
        ASSERT_EQ(xlsInitStream(sink_write, &sink, "T"), -1);
        write_sample(false);
        int result = 1;
        std::string printed = own_stderr_of([&] { result = xlsClose(); });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(xlsGetError(), message);
        EXPECT_EQ(printed, message + ": " + std::strerror(row.reported) + "\n");
        EXPECT_EQ(sink.calls, row.failAt);  // no call after the failed one
    }
    // A null function opens nothing; a workbook left unfinished is dropped without a call.
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsInitStream(nullptr, nullptr, "T"), 0); }),
              "Errore in apertura del flusso in output: " + std::string(std::strerror(EINVAL)) + "\n");
    Sink dropped;
    ASSERT_EQ(xlsInitStream(sink_write, &dropped, "T"), -1);
    ASSERT_EQ(xlsInit("next.xml", "T"), -1);
    EXPECT_EQ(dropped.calls, 0);
}

TEST_F(Extras, DocumentPropertiesGoInTheirPlacesOfTheNextWorkbookOnly) {
    const struct {
        const char *name, *value, *line;
    } rows[] = {
        {"Title", "Vendite & <costi>", "  <Title>Vendite &amp; &lt;costi></Title>\n"},
        {"subject", "Citt\xe0", "  <Subject>Citt\xc3\xa0</Subject>\n"},
        {"KEYWORDS", "a, b", "  <Keywords>a, b</Keywords>\n"},
        {"Description", "\"x\"\x01", "  <Description>\"x\" </Description>\n"},
        {"Category", "Finanza", "  <Category>Finanza</Category>\n"},
        {"Manager", "Capo", "  <Manager>Capo</Manager>\n"},
        {"Company", "R&amp;D", "  <Company>R&amp;D</Company>\n"},
    };
    std::string before, after;
    for (const auto &row : rows) {
        ASSERT_EQ(xlsSetDocumentProperty(row.name, row.value), -1);
        (std::strchr("TtSsKkDd", row.name[0]) ? before : after) += row.line;
    }
    EXPECT_EQ(xlsInit("/nonexistent/x.xml", "T"), 0);  // a failed open keeps them
    open_with_sheet();
    ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);
    ASSERT_EQ(xlsClose(), -1);
    std::string text = without_created(read_file("out.xml"));
    std::string head = prologue(kAuthor);
    head.insert(head.find("  <LastAuthor>"), before);
    head.insert(head.find("  <Version>"), after);
    EXPECT_TRUE(same_bytes(head, text.substr(0, head.size())));
    GQ_EXPECT_SCHEMA_VALID("out.xml");
    open_with_sheet("second.xml");  // forgotten by the open that wrote them
    ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_TRUE(same_bytes(prologue(kAuthor), without_created(read_file("second.xml")).substr(0, prologue(kAuthor).size())));

    // A merge replaces the input's values in place and adds the others in order.
    ASSERT_EQ(xlsSetDocumentProperty("Title", "Nuovo"), -1);
    ASSERT_EQ(xlsSetDocumentProperty("Company", "Altra"), -1);
    ASSERT_EQ(xlsInitMerge("out.xml", "merged.xml"), -1);
    ASSERT_EQ(xlsAddSheet("Nuovo", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsWriteCell("y", 'S', ""), -1);
    ASSERT_EQ(xlsClose(), -1);
    std::string merged = read_file("merged.xml");
    std::string expected = head;
    expected.replace(expected.find("  <Title>"), std::strlen(rows[0].line), "  <Title>Nuovo</Title>\n");
    expected.replace(expected.find("  <Company>"), std::strlen(rows[6].line), "  <Company>Altra</Company>\n");
    EXPECT_TRUE(same_bytes(expected, without_created(merged).substr(0, expected.size())));
    GQ_EXPECT_SCHEMA_VALID("merged.xml");
}

TEST_F(Extras, DocumentPropertiesRefused) {
    const struct {
        const char *name;
        std::string value, message;
    } rows[] = {
        {"Author", "x", "Proprieta' 'Author' sconosciuta in xlsSetDocumentProperty().\n"},
        {nullptr, "x", "Proprieta' '' sconosciuta in xlsSetDocumentProperty().\n"},
        {"Title", std::string(256, 'a'),
         "Valore troppo lungo (al massimo 255 byte) per la proprieta' 'Title' in "
         "xlsSetDocumentProperty().\n"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(stderr_of([&] { EXPECT_EQ(xlsSetDocumentProperty(row.name, row.value.c_str()), 0); }),
                  row.message);
    EXPECT_EQ(xlsSetDocumentProperty("Title", std::string(255, '"').c_str()), -1);  // 1530 bytes
    EXPECT_EQ(xlsSetDocumentProperty("Title", nullptr), -1);  // removed again
}

TEST_F(Extras, NamesAndPrintRangesAreWrittenWhereTheSchemaWantsThem) {
    ASSERT_EQ(xlsInit("out.xml", std::string(kAuthor).c_str()), -1);
    const struct {
        const char *name, *refersTo;
    } book[] = {{"Tasso", "=Dati!R1C2"}, {"_meta.2", "0.5"}, {"Testo", "=\"a&b\""}};
    for (const auto &n : book) ASSERT_EQ(xlsAddName(n.name, n.refersTo), -1);
    ASSERT_EQ(xlsAddSheet("Dati", xlsSheetSetupDefault), -1);
    ASSERT_EQ(xlsAddSheetName("Locale", "Dati!R3C1"), -1);
    ASSERT_EQ(xlsSetPrintArea(1, 1, 40, 3), -1);
    ASSERT_EQ(xlsSetPrintTitles(1, 2, 0, 0), -1);
    ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);
    const struct {
        const char *sheet;
        int rows[4];
        const char *titles;
    } titles[] = {{"Il mio foglio", {1, 1, 1, 2}, "='Il mio foglio'!C1:C2,'Il mio foglio'!R1"},
                  {"R1C1", {0, 0, 3, 3}, "='R1C1'!C3"},
                  {"Nuovo_2", {2, 5, 0, 0}, "=Nuovo_2!R2:R5"}};
    for (const auto &t : titles) {
        ASSERT_EQ(xlsAddSheet(t.sheet, xlsSheetSetupDefault), -1);
        ASSERT_EQ(xlsSetPrintTitles(t.rows[0], t.rows[1], t.rows[2], t.rows[3]), -1);
        ASSERT_EQ(xlsColumn(1, 50, ""), -1);
        ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);
    }
    ASSERT_EQ(xlsClose(), -1);
    std::string body = body_of();
    auto title_sheet = [](const char *sheet, const char *refersTo) {
        return " <Worksheet ss:Name=\"" + std::string(sheet) + "\" >\n  <Names>\n"
               "   <NamedRange ss:Name=\"Print_Titles\" ss:RefersTo=\"" + refersTo +
               "\"/>\n  </Names>\n";
    };
    std::string expected =
        " </Styles>\n <Names>\n"
        "  <NamedRange ss:Name=\"Tasso\" ss:RefersTo=\"=Dati!R1C2\"/>\n"
        "  <NamedRange ss:Name=\"_meta.2\" ss:RefersTo=\"=0.5\"/>\n"
        "  <NamedRange ss:Name=\"Testo\" ss:RefersTo=\"=&quot;a&amp;b&quot;\"/>\n"
        " </Names>\n"
        " <Worksheet ss:Name=\"Dati\" >\n  <Names>\n"
        "   <NamedRange ss:Name=\"Locale\" ss:RefersTo=\"=Dati!R3C1\"/>\n"
        "   <NamedRange ss:Name=\"Print_Area\" ss:RefersTo=\"=Dati!R1C1:R40C3\"/>\n"
        "   <NamedRange ss:Name=\"Print_Titles\" ss:RefersTo=\"=Dati!R1:R2\"/>\n"
        "  </Names>\n";
    EXPECT_TRUE(same_bytes(expected, body.substr(0, expected.size())));
    for (const auto &t : titles) {
        std::string fragment = title_sheet(t.sheet, t.titles);
        EXPECT_NE(body.find(fragment), std::string::npos) << fragment;
    }
    GQ_EXPECT_SCHEMA_VALID("out.xml");
}

TEST_F(Extras, NamesRefused) {
    ASSERT_EQ(xlsInit("out.xml", "T"), -1);
    const struct {
        const char *name, *refersTo, *message;
    } rows[] = {
        {"", "=1", "Nome '' non valido in xlsAddName().\n"},
        {"1a", "=1", "Nome '1a' non valido in xlsAddName().\n"},
        {"a b", "=1", "Nome 'a b' non valido in xlsAddName().\n"},
        {"B12", "=1", "Nome 'B12' non valido in xlsAddName().\n"},
        {"r2c3", "=1", "Nome 'r2c3' non valido in xlsAddName().\n"},
        {"C", "=1", "Nome 'C' non valido in xlsAddName().\n"},
        {"Uno", "", "Riferimento mancante per il nome 'Uno' in xlsAddName().\n"},
        {"Uno", "=", "Riferimento mancante per il nome 'Uno' in xlsAddName().\n"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(stderr_of([&] { EXPECT_EQ(xlsAddName(row.name, row.refersTo), 0); }), row.message);
    ASSERT_EQ(xlsAddName("Uno", "=1"), -1);
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsAddName("UNO", "=2"), 0); }),
              "Nome 'UNO' duplicato in xlsAddName().\n");
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsAddName("Lungo", ("=" + std::string(1024, '1')).c_str()), 0); }),
              "Riferimento troppo lungo (al massimo 1024 byte) per il nome 'Lungo' in xlsAddName().\n");
    EXPECT_EQ(xlsAddName("Lungo", ("=" + std::string(1023, '1')).c_str()), -1);
    EXPECT_EQ(xlsAddName(std::string(255, 'n').c_str(), "=1"), -1);
    EXPECT_EQ(xlsAddName(std::string(256, 'm').c_str(), "=1"), 0);
    // Bounds: 128 workbook names, 32 per sheet.
    for (int i = 3; i < 128; ++i) ASSERT_EQ(xlsAddName(("n" + std::to_string(i) + "_").c_str(), "=1"), -1);
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsAddName("Oltre", "=1"), 0); }),
              "Troppi nomi: non c'e' posto per il nome 'Oltre' in xlsAddName().\n");
    ASSERT_EQ(xlsAddSheet("S", xlsSheetSetupDefault), -1);
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsAddName("Tardi", "=1"), 0); }),
              "Non si puo' aggiungere un nome della cartella a questo punto in xlsAddName(): va "
              "dato prima del primo foglio.\n");
    for (int i = 0; i < 32; ++i) ASSERT_EQ(xlsAddSheetName(("s" + std::to_string(i) + "_").c_str(), "=1"), -1);
    EXPECT_EQ(xlsAddSheetName("Oltre", "=1"), 0);
    const struct {
        int a, b, c, d;
    } areas[] = {{0, 1, 1, 1}, {2, 1, 1, 1}, {1, 1, 1048577, 1}, {1, 2, 1, 1}, {1, 1, 1, 257}};
    for (const auto &r : areas) EXPECT_EQ(xlsSetPrintArea(r.a, r.b, r.c, r.d), 0);
    for (const auto &r : areas) EXPECT_EQ(xlsSetPrintTitles(r.a, r.c, r.b, r.d), 0);
    EXPECT_EQ(xlsSetPrintTitles(0, 0, 0, 0), 0);
    ASSERT_EQ(xlsWriteCell("x", 'S', ""), -1);
    const std::string late =
        "Non si puo' dare un nome del foglio a questo punto in xlsSetPrintArea(): va dato dopo "
        "xlsAddSheet(), prima di colonne e celle.\n";
    EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsSetPrintArea(1, 1, 1, 1), 0); }), late);
    ASSERT_EQ(xlsClose(), -1);
    EXPECT_EQ(xml_error("out.xml"), "");
    GQ_EXPECT_SCHEMA_VALID("out.xml");
}

}  // namespace
}  // namespace gqtest

#include <sstream>

#include "gridquill.hpp"

namespace gqtest {
namespace {

// The C++ layer: the same workbook to a file and to a std::ostream, properties and names.
TEST_F(Extras, TheCppWorkbookWritesToAnOstreamAsToAFile) {
    auto write = [](gridquill::Workbook wb) {
        wb.name("Tasso", "=Dati!R1C1");
        wb.sheet("Dati").print_area(1, 1, 2, 2).print_titles(1, 1).sheet_name("Qui", "=Dati!R2C1");
        wb.cell("x").cell(2.5);
        wb.close();
    };
    auto props = gridquill::Properties().title("Titolo").company("Ditta");
    write(gridquill::Workbook("file.xml", "A", props));
    std::ostringstream out;
    write(gridquill::Workbook(out, "A", props));
    EXPECT_TRUE(same_bytes(without_created(read_file("file.xml")), without_created(out.str())));
    EXPECT_NE(out.str().find("<Title>Titolo</Title>"), std::string::npos);
    std::ostringstream bad;
    bad.setstate(std::ios::badbit);
    gridquill::Workbook wb(bad, "A");
    wb.sheet("S").cell("x");
    EXPECT_THROW(wb.close(), gridquill::Error);
}

}  // namespace
}  // namespace gqtest
