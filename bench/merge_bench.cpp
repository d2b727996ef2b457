// Merge benchmark: a large workbook in this library's layout and one in LibreOffice's
// one-line layout, each merged (a sheet left out, one continued, one added), beside `cp`
// of the same file and a plain expat pass-through copy (a default handler writing every
// byte back). Each run is a fresh child process: its time and peak memory are its own.
// Usage: gridquill_merge_bench [MEGABYTES] [FOLDER]   (defaults: 500, the current folder)
#include <expat.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "gridquill.h"

extern char **environ;

namespace {

namespace fs = std::filesystem;

// A workbook of about `bytes` in this library's layout: sheets Note, Dati (as many as the
// size takes, a million rows each) and Log.
void library_workbook(const std::string &path, std::uintmax_t bytes) {
    xlsSetEncoding("UTF-8");
    xlsInit(path.c_str(), "bench");
    auto rows = [](long count, const std::function<bool()> &enough) {
        for (long row = 0; row < count; ++row) {
            xlsWriteCell("Articolo & descrizione", 'S', "txt");
            xlsWriteNumber(static_cast<double>(row) * 1.25, "num");
            xlsWriteDateTime(2024, 1 + row % 12, 1 + row % 28, 10, 30, 0, "date");
            xlsWriteFormula("=RC[-2]*2", static_cast<double>(row) * 2.5, "");
            xlsNewLine();
            if (row % 4096 == 0 && enough()) return true;
        }
        return false;
    };
    xlsAddSheet("Note", xlsSheetSetupDefault);
    rows(1000, [] { return false; });
    for (int sheet = 1;; ++sheet) {
        xlsAddSheet(("Dati " + std::to_string(sheet)).c_str(), xlsSheetSetupDefault);
        if (rows(1000000, [&] { return fs::file_size(path) >= bytes; })) break;
    }
    xlsAddSheet("Log", xlsSheetSetupDefault);
    rows(1000, [] { return false; });
    xlsClose();
}

// About `bytes` in LibreOffice's layout: the whole workbook on one line, ss:Worksheet.
void one_line_workbook(const std::string &path, std::uintmax_t bytes) {
    std::FILE *f = std::fopen(path.c_str(), "wb");
    std::fputs("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<?mso-application progid=\"Excel.Sheet\"?>"
               "<Workbook xmlns=\"urn:schemas-microsoft-com:office:spreadsheet\" xmlns:c=\"urn:"
               "schemas-microsoft-com:office:component:spreadsheet\" xmlns:html=\"http://www.w3.org/"
               "TR/REC-html40\" xmlns:o=\"urn:schemas-microsoft-com:office:office\" xmlns:ss=\"urn:"
               "schemas-microsoft-com:office:spreadsheet\" xmlns:x2=\"http://schemas.microsoft.com/"
               "office/excel/2003/xml\" xmlns:x=\"urn:schemas-microsoft-com:office:excel\" xmlns:xsi"
               "=\"http://www.w3.org/2001/XMLSchema-instance\"><OfficeDocumentSettings xmlns=\"urn:"
               "schemas-microsoft-com:office:office\"></OfficeDocumentSettings><ExcelWorkbook xmlns="
               "\"urn:schemas-microsoft-com:office:excel\"><WindowHeight>9000</WindowHeight>"
               "<WindowWidth>13860</WindowWidth><WindowTopX>240</WindowTopX><WindowTopY>75</WindowTopY>"
               "<ProtectStructure>False</ProtectStructure><ProtectWindows>False</ProtectWindows>"
               "</ExcelWorkbook><Styles><Style ss:ID=\"Default\" ss:Name=\"Default\"/><Style ss:ID="
               "\"ce1\"><NumberFormat ss:Format=\"Short Date\"/></Style><Style ss:ID=\"co1\"/><Style "
               "ss:ID=\"ta1\"/></Styles>", f);
    std::uintmax_t written = 0;
    for (const char *sheet : {"Note", "Dati", "Log"}) {
        std::fprintf(f, "<ss:Worksheet ss:Name=\"%s\"><Table ss:StyleID=\"ta1\"><Column ss:Span=\"3\" "
                        "ss:Width=\"64.01\"/>", sheet);
        const std::uintmax_t share = sheet[0] == 'D' ? bytes : bytes / 100;
        for (long row = 0; written < share; ++row) {
            int n = std::fprintf(f, "<Row ss:Height=\"12.81\"><Cell><Data ss:Type=\"String\">Articolo "
                                    "&amp; descrizione</Data></Cell><Cell><Data ss:Type=\"Number\">%g"
                                    "</Data></Cell><Cell ss:StyleID=\"ce1\"><Data ss:Type=\"DateTime\">"
                                    "2024-01-%02ldT00:00:00</Data></Cell><Cell ss:Formula=\"of:=[.B%ld]*2"
                                    "\"><Data ss:Type=\"Number\">%g</Data></Cell></Row>",
                             static_cast<double>(row) * 1.25, 1 + row % 28, row + 1,
                             static_cast<double>(row) * 2.5);
            written += static_cast<std::uintmax_t>(n);
        }
        std::fputs("</Table><x:WorksheetOptions/></ss:Worksheet>", f);
        written = 0;
    }
    std::fputs("</Workbook>\n", f);
    std::fclose(f);
}

int expat_copy(const char *in, const char *out) {
    std::FILE *i = std::fopen(in, "rb"), *o = std::fopen(out, "wb");
    XML_Parser p = XML_ParserCreate(nullptr);
    XML_SetUserData(p, o);
    XML_SetDefaultHandler(p, [](void *user, const XML_Char *s, int len) {
        std::fwrite(s, 1, static_cast<std::size_t>(len), static_cast<std::FILE *>(user));
    });
    for (;;) {
        void *buffer = XML_GetBuffer(p, 1 << 16);
        std::size_t n = std::fread(buffer, 1, 1 << 16, i);
        if (XML_ParseBuffer(p, static_cast<int>(n), n == 0) != XML_STATUS_OK) return 1;
        if (n == 0) break;
    }
    XML_ParserFree(p);
    std::fclose(i);
    return std::fclose(o) == 0 ? 0 : 1;
}

int merge(const char *in, const char *out) {
    if (xlsInitMerge(in, out) != -1 || xlsSheetDelete("Note") != -1 || xlsSheetAppend("Log") != -1)
        return 1;
    xlsAddSheet("Log", xlsSheetSetupDefault);
    xlsWriteCell("nuova riga", 'S', "");
    xlsAddSheet("Nuovo", xlsSheetSetupDefault);
    xlsWriteCell("1", 'N', "");
    return xlsClose() == -1 ? 0 : 1;
}

struct Run {
    double seconds;
    long peakKiB;
};

// One workload in a fresh child: wall time and peak resident memory.
template <typename F>
Run in_child(F &&work) {
    auto start = std::chrono::steady_clock::now();
    pid_t pid = fork();
    if (pid == 0) _exit(work());
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "a run failed\n");
    return {s, usage.ru_maxrss};
}

Run cp(const std::string &in, const std::string &out) {
    return in_child([&] {
        pid_t pid;
        const char *args[] = {"cp", in.c_str(), out.c_str(), nullptr};
        if (posix_spawnp(&pid, "cp", nullptr, nullptr, const_cast<char **>(args), environ) != 0) return 1;
        int status = 0;
        waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    });
}

// The best of three runs of each, side by side.
void measure(const char *layout, const std::string &in, const std::string &out) {
    const double mb = static_cast<double>(fs::file_size(in)) / 1e6;
    Run best[3] = {{1e9, 0}, {1e9, 0}, {1e9, 0}};
    for (int round = 0; round < 3; ++round) {
        Run runs[3] = {cp(in, out), in_child([&] { return expat_copy(in.c_str(), out.c_str()); }),
                       in_child([&] { return merge(in.c_str(), out.c_str()); })};
        for (int k = 0; k < 3; ++k)
            if (runs[k].seconds < best[k].seconds) best[k] = runs[k];
    }
    std::printf("%-22s %8.1f MB  cp %6.0f MB/s  expat copy %6.0f MB/s  merge %6.0f MB/s"
                "  merge/cp %.2fx  merge/expat %.2fx  merge peak %ld KiB\n",
                layout, mb, mb / best[0].seconds, mb / best[1].seconds, mb / best[2].seconds,
                best[0].seconds / best[2].seconds, best[1].seconds / best[2].seconds, best[2].peakKiB);
}

}  // namespace

int main(int argc, char **argv) {
    const std::uintmax_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 500;
    const std::string folder = argc > 2 ? argv[2] : ".";
    for (std::uintmax_t size : {std::uintmax_t{5}, megabytes}) {
        const std::string lib = folder + "/library_layout.xml", lo = folder + "/one_line_layout.xml",
                          out = folder + "/merged.xml";
        library_workbook(lib, size * 1000000);
        one_line_workbook(lo, size * 1000000);
        measure("this library's layout", lib, out);
        measure("one-line layout", lo, out);
        fs::remove(lib);
        fs::remove(lo);
        fs::remove(out);
    }
    return 0;
}
