// Benchmark of the cell path: R rows x 10 columns through Gridquill, each measurement in a
// fresh child process, against the floor (the same bytes in large fwrites) and libxlsxwriter;
// then two workbooks at once, in two threads, two processes or two contexts of one thread.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "gridquill.h"
#include "workload.hpp"
#ifdef GRIDQUILL_BENCH_XLSXWRITER
#include <xlsxwriter.h>
#endif

extern char **environ;

namespace {

namespace fs = std::filesystem;
using bench::kColumns;
using bench::Values;

constexpr std::size_t kFloorChunk = 1 << 20;  // bytes per fwrite of the floor

// What one child reports.
struct Sample {
    double wall = 0, user = 0, sys = 0;
    double start = 0;  // steady clock at the start, comparable between processes
    unsigned long long bytes = 0;
    long peakKib = 0;
};

double now() {
    auto t = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(t).count();
}

double seconds(const timeval &t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
}

// Peak resident set of this process image in KiB (VmHWM; ru_maxrss where that is missing).
long peak_rss_kib() {
    std::FILE *f = std::fopen("/proc/self/status", "r");
    long kib = -1;
    char line[256];
    while (f != nullptr && std::fgets(line, sizeof line, f) != nullptr)
        if (std::strncmp(line, "VmHWM:", 6) == 0) kib = std::strtol(line + 6, nullptr, 10);
    if (f != nullptr) std::fclose(f);
    if (kib < 0) {
        rusage u{};
        getrusage(RUSAGE_SELF, &u);
        kib = u.ru_maxrss;
    }
    return kib;
}

[[noreturn]] void die(const std::string &what) {
    std::fprintf(stderr, "gridquill_bench: %s\n", what.c_str());
    std::exit(1);
}

// Style IDs s0000, s0001 and so on, all of one length.
std::vector<std::string> style_ids(int count) {
    std::vector<std::string> ids;
    for (int i = 0; i < count; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "s%04d", i);
        ids.emplace_back(id);
    }
    return ids;
}

// The workbook through Gridquill: the styles registered, and the cells taking them in turn
// (no style when there are none).
void write_gridquill(const Values &v, long rows, const std::vector<std::string> &ids,
                     const char *path, const std::vector<const char *> *pool = nullptr) {
    const std::vector<const char *> &cells = pool != nullptr ? *pool : v.cells;
    std::vector<const char *> cellStyles;
    for (const std::string &id : ids) cellStyles.push_back(id.c_str());
    if (cellStyles.empty()) cellStyles.push_back("");
    std::size_t s = 0;
    auto nextStyle = [&] {
        const char *id = cellStyles[s];
        if (++s == cellStyles.size()) s = 0;
        return id;
    };

    bool ok = xlsInit(path, "Bench") != 0;
    for (const std::string &id : ids) ok = ok && xlsAddStyle(xlsStyleDefault, id.c_str()) != 0;
    ok = ok && xlsAddSheet("Dati", xlsSheetSetupDefault) != 0;
    for (long r = 0; r < rows && ok; ++r) {
        const char *const *cell = &cells[2 * Values::first(r)];
        for (int c = 0; c < kColumns; ++c)
            ok &= xlsWriteCell(cell[c], c % 2 == 0 ? 'S' : 'N', nextStyle()) != 0;
        ok &= xlsNewLine() != 0;
    }
    if (!ok || xlsClose() == 0) die(std::string("Gridquill failed: ") + xlsGetError());
}

// Two plain workbooks, path.0 and path.1, at once: each in a thread of its own, or in two
// contexts of this thread taking a row in turn.
void write_two(const Values &v, long rows, const std::string &path, bool threads) {
    std::string paths[2] = {path + ".0", path + ".1"};
    if (threads) {
        std::thread other([&] { write_gridquill(v, rows, {}, paths[1].c_str()); });
        write_gridquill(v, rows, {}, paths[0].c_str());
        other.join();
        return;
    }
    xlsContext *context[2] = {xlsNewContext(), xlsNewContext()};
    bool ok = context[0] != nullptr && context[1] != nullptr;
    for (int w = 0; w < 2 && ok; ++w)
        ok = xlsSelectContext(context[w]) != 0 && xlsInit(paths[w].c_str(), "Bench") != 0 &&
             xlsAddSheet("Dati", xlsSheetSetupDefault) != 0;
    for (long r = 0; r < rows && ok; ++r) {
        const char *const *cell = &v.cells[2 * Values::first(r)];
        for (int w = 0; w < 2; ++w) {
            ok &= xlsSelectContext(context[w]) != 0;
            for (int c = 0; c < kColumns; ++c)
                ok &= xlsWriteCell(cell[c], c % 2 == 0 ? 'S' : 'N', "") != 0;
            ok &= xlsNewLine() != 0;
        }
    }
    for (int w = 0; w < 2 && ok; ++w) ok = xlsSelectContext(context[w]) != 0 && xlsClose() != 0;
    if (!ok) die(std::string("Gridquill failed: ") + xlsGetError());
    xlsSelectContext(nullptr);
    xlsFreeContext(context[0]);
    xlsFreeContext(context[1]);
}

// The floor: bytes already in memory, written with large fwrite calls.
void write_floor(const std::vector<char> &bytes, const char *path) {
    std::FILE *f = std::fopen(path, "w");
    if (f == nullptr) die(std::string("cannot create ") + path);
    for (std::size_t at = 0; at < bytes.size(); at += kFloorChunk)
        std::fwrite(bytes.data() + at, 1, std::min(kFloorChunk, bytes.size() - at), f);
    if (std::fclose(f) != 0) die(std::string("cannot write ") + path);
}

// The plain workload in one of its ways (through the library, or by the floor writer).
void write_by_way(const Values &v, long rows, bench::Way way, const char *path) {
    int fd = -1;
    if (way == bench::Way::floor || way == bench::Way::stream) {
        fd = open(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
        if (fd < 0) die(std::string("cannot create ") + path);
    }
    bool ok = bench::write_plain(v, rows, way, path, fd);
    if (fd >= 0 && close(fd) != 0) ok = false;
    if (!ok) die(std::string("plain workload failed: ") + xlsGetError());
}

// The floor writer's bytes are the library's: a workbook of `rows` rows both ways, the
// library's Created time given to the floor's.
void check_floor(const Values &v, long rows, const std::string &dir) {
    std::string mine = dir + "/check-library.xml", floor = dir + "/check-floor.xml";
    write_by_way(v, rows, bench::Way::file, mine.c_str());
    write_by_way(v, rows, bench::Way::floor, floor.c_str());
    auto read = [](const std::string &path) {
        std::string text(static_cast<std::size_t>(fs::file_size(path)), '\0');
        std::FILE *f = std::fopen(path.c_str(), "r");
        if (f == nullptr || std::fread(text.data(), 1, text.size(), f) != text.size())
            die("cannot read " + path);
        std::fclose(f);
        return text;
    };
    std::string a = read(mine), b = read(floor);
    const std::string created = "<Created>";
    std::size_t at = a.find(created);
    if (at != std::string::npos && b.find(created) == at)
        b.replace(at, created.size() + 20, a, at, created.size() + 20);
    fs::remove(mine);
    fs::remove(floor);
    if (a != b) die("the floor writer's bytes differ from the library's");
}

#ifdef GRIDQUILL_BENCH_XLSXWRITER
// The same data through libxlsxwriter in constant_memory mode.
void write_xlsxwriter(const Values &v, long rows, const char *path, const std::string &dir) {
    std::vector<char> tmpdir(dir.begin(), dir.end());
    tmpdir.push_back('\0');
    lxw_workbook_options options = {LXW_TRUE, tmpdir.data(), LXW_TRUE};
    lxw_workbook *book = workbook_new_opt(path, &options);
    if (book == nullptr) die("libxlsxwriter: no workbook");
    lxw_worksheet *sheet = workbook_add_worksheet(book, "Dati");
    for (long r = 0; r < rows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            std::size_t k = Values::first(r) + static_cast<std::size_t>(c / 2);
            auto row = static_cast<lxw_row_t>(r);
            auto col = static_cast<lxw_col_t>(c);
            if (c % 2 == 0) worksheet_write_string(sheet, row, col, v.utf8[k].c_str(), nullptr);
            else worksheet_write_number(sheet, row, col, v.numeric[k], nullptr);
        }
    }
    if (workbook_close(book) != LXW_NO_ERROR) die("libxlsxwriter: close failed");
}
#endif

// The cells of bench/python_bench.py's DataFrame written as a C client would, for the
// Python benchmark's comparison: a bold header, then per row three integers (as text), two
// doubles, two short texts, two dates and a Boolean, in the UTF-8 mode the package uses.
void write_frame(long rows, const char *path) {
    std::vector<std::string> clients, cities = {"Roma", "Milano", "Napoli", "Torino"};
    for (int i = 0; i < 5000; ++i) clients.push_back("cliente " + std::to_string(i));
    const char *titles[kColumns] = {"id", "quantita", "codice", "prezzo", "sconto",
                                    "cliente", "citta", "ordinato", "spedito", "pagato"};
    xlsStyle head = xlsStyleDefault;
    head.bold = '1';
    head.weightBottom = 1;
    bool ok = xlsSetEncoding("UTF-8") != 0 && xlsInit(path, "Bench") != 0 &&
              xlsAddStyle(head, "gqIntestazione") != 0 && xlsAddSheet("Dati", xlsSheetSetupDefault) != 0;
    for (int c = 1; ok && c <= kColumns; ++c) ok = xlsColumn(c, 60, "") != 0;
    ok = ok && xlsFreezePanes(1, 0) != 0 && xlsAutoFilter(1, 1, 0, kColumns) != 0;
    for (const char *title : titles) ok = ok && xlsWriteCell(title, 'S', "gqIntestazione") != 0;
    auto date = [](long day, int &y, int &m, int &d) {  // days after 2020-01-01
        std::chrono::year_month_day ymd{std::chrono::sys_days{std::chrono::year{2020} / 1 / 1} +
                                        std::chrono::days{day}};
        y = static_cast<int>(ymd.year()), m = static_cast<int>(static_cast<unsigned>(ymd.month()));
        d = static_cast<int>(static_cast<unsigned>(ymd.day()));
    };
    for (long r = 0; r < rows && ok; ++r) {
        ok &= xlsNewLine() != 0;
        for (long v : {r, r % 1000, r * 7919 % 100003}) {
            char digits[24];
            *std::to_chars(digits, digits + sizeof digits - 1, v).ptr = '\0';
            ok &= xlsWriteCell(digits, 'N', "") != 0;
        }
        ok &= xlsWriteNumber(static_cast<double>(r) * 0.25 + 0.1, "") != 0;
        ok &= xlsWriteNumber(static_cast<double>(r % 17) / 16.0, "") != 0;
        ok &= xlsWriteCell(clients[static_cast<std::size_t>(r % 5000)].c_str(), 'S', "") != 0;
        ok &= xlsWriteCell(cities[static_cast<std::size_t>(r % 4)].c_str(), 'S', "") != 0;
        int y, m, d;
        date(r % 1500, y, m, d);
        ok &= xlsWriteDateTime(y, m, d, 0, 0, 0, "date") != 0;
        date(r % 1400 + 2, y, m, d);
        ok &= xlsWriteDateTime(y, m, d, 0, 0, 0, "date") != 0;
        ok &= xlsWriteBoolean(r % 3 == 0, "") != 0;
    }
    if (!ok || xlsClose() == 0) die(std::string("Gridquill failed: ") + xlsGetError());
}

// Child: one measurement, printed as "wall user sys bytes peakKiB start". The floor reads
// the file at `path` first and writes its copy beside it.
int child(const std::string &kind, long rows, const std::string &path,
          [[maybe_unused]] const std::string &dir) {
    Values values;
    std::vector<char> source;
    if (kind == "floor") {
        source.resize(static_cast<std::size_t>(fs::file_size(path)));
        std::FILE *f = std::fopen(path.c_str(), "r");
        if (f == nullptr || std::fread(source.data(), 1, source.size(), f) != source.size())
            die("cannot read " + path);
        std::fclose(f);
    }
    std::string out = kind == "floor" ? path + ".floor" : path;
    int styles = kind == "styled4" ? 4 : kind == "styled4000" ? 4000 : 0;
    std::vector<std::string> ids = style_ids(styles);
    rusage u0{}, u1{};
    getrusage(RUSAGE_SELF, &u0);
    double t0 = now();
    if (kind == "plain" || styles > 0) write_gridquill(values, rows, ids, out.c_str());
    else if (kind == "latin1text" && xlsSetEncoding("ISO-8859-1"))
        write_gridquill(values, rows, ids, out.c_str(), &values.cellsLatin1);
    else if (kind == "utf8text" && xlsSetEncoding("UTF-8"))
        write_gridquill(values, rows, ids, out.c_str(), &values.cellsUtf8);
    else if (kind == "threads2" || kind == "contexts2")
        write_two(values, rows, out, kind == "threads2");
    else if (kind == "floor") write_floor(source, out.c_str());
    else if (kind == "frame") write_frame(rows, out.c_str());
    else if (kind == "handmade" || kind == "plainfile" || kind == "plainutf8" ||
             kind == "plainstream")
        write_by_way(values, rows,
                     kind == "handmade"    ? bench::Way::floor
                     : kind == "plainfile" ? bench::Way::file
                     : kind == "plainutf8" ? bench::Way::utf8
                                           : bench::Way::stream,
                     out.c_str());
#ifdef GRIDQUILL_BENCH_XLSXWRITER
    else if (kind == "xlsx") write_xlsxwriter(values, rows, out.c_str(), dir);
#endif
    else die("unknown workload " + kind);
    double wall = now() - t0;
    getrusage(RUSAGE_SELF, &u1);
    std::error_code noSize;  // a device such as /dev/null has none
    unsigned long long bytes = 0;
    for (const std::string &file : {out, out + ".0", out + ".1"}) {
        auto size = static_cast<unsigned long long>(fs::file_size(file, noSize));
        if (!noSize) bytes += size;
    }
    if (kind == "floor") fs::remove(out);
    if (kind.back() == '2') fs::remove(out + ".0"), fs::remove(out + ".1");  // two at once
    std::printf("%.6f %.6f %.6f %llu %ld %.6f\n", wall,
                seconds(u1.ru_utime) - seconds(u0.ru_utime),
                seconds(u1.ru_stime) - seconds(u0.ru_stime), bytes, peak_rss_kib(), t0);
    return 0;
}

// A child process started and not yet waited for.
struct Running {
    pid_t pid;
    int fd;
    std::string what;
};

// Starts one measurement in a fresh child process of `program` (this one, or the same
// benchmark of another build), so that its peak RSS is its own.
Running start(const std::string &kind, long rows, const std::string &path, const std::string &dir,
              const char *program = "/proc/self/exe") {
    std::string rowsText = std::to_string(rows);
    std::vector<const char *> argv = {"gridquill_bench", "--child", kind.c_str(),
                                      rowsText.c_str(),  path.c_str(), dir.c_str(), nullptr};
    int pipefd[2];
    if (pipe(pipefd) != 0) die("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipefd[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipefd[0]);
    pid_t pid;
    int started = posix_spawn(&pid, program, &actions, nullptr,
                              const_cast<char **>(argv.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipefd[1]);
    if (started != 0) die(std::string("cannot start ") + program);
    return {pid, pipefd[0], kind + " " + rowsText};
}

// Waits for a child and reads its measurement (an older build prints no start time).
Sample finish(const Running &child) {
    std::string text;
    char buf[256];
    for (ssize_t n; (n = read(child.fd, buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    close(child.fd);
    int status = 0;
    waitpid(child.pid, &status, 0);
    Sample s;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
        std::sscanf(text.c_str(), "%lf %lf %lf %llu %ld %lf", &s.wall, &s.user, &s.sys,
                    &s.bytes, &s.peakKib, &s.start) < 5)
        die("child " + child.what + " failed");
    return s;
}

Sample spawn(const std::string &kind, long rows, const std::string &path, const std::string &dir) {
    return finish(start(kind, rows, path, dir));
}

// Best (shortest) of several samples. The peak RSS is the smallest seen: runs of the same
// size differ by some tens of KiB that do not come from the writer, and growth with the
// size would show in every run.
struct Best {
    Sample s;
    int n = 0;
    void add(const Sample &x) {
        long peak = n == 0 ? x.peakKib : std::min(s.peakKib, x.peakKib);
        if (n++ == 0 || x.wall < s.wall) s = x;
        s.peakKib = peak;
    }
};

std::string grouped(unsigned long long v) {
    std::string digits = std::to_string(v), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string grouped(long v) { return grouped(static_cast<unsigned long long>(v)); }

double cpu(const Sample &s) { return s.user + s.sys; }

void print_row(const char *name, const Sample &s, long cells, const char *ratioName = nullptr,
               double ratio = 0) {
    std::printf("  %-21s %8.4f %8.4f %8.4f %9.2f %14s %12s", name, s.wall, s.user, s.sys,
                static_cast<double>(cells) / s.wall / 1e6, grouped(s.bytes).c_str(),
                grouped(s.peakKib).c_str());
    if (ratioName != nullptr) std::printf("   %s %.2f", ratioName, ratio);
    std::printf("\n");
}

struct Options {
    std::vector<long> sizes = {10000, 100000, 1000000};
    int repeat = 3;
    std::string dir;
    bool xlsx = true;
    bool single = true, several = true, floor = true;  // the sections to run
    std::string baseline;  // the benchmark program of another build, for its plain workload
};

Options parse(int argc, char **argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        bool more = i + 1 < argc;
        if (a == "--sizes" && more) {
            o.sizes.clear();
            for (char *p = argv[++i]; *p != '\0';) {
                long rows = std::strtol(p, &p, 10);
                if (rows <= 0 || (*p != ',' && *p != '\0')) die("bad --sizes");
                o.sizes.push_back(rows);
                if (*p == ',') ++p;
            }
        } else if (a == "--repeat" && more) {
            o.repeat = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--dir" && more) {
            o.dir = argv[++i];
        } else if (a == "--no-xlsx") {
            o.xlsx = false;
        } else if (a == "--only-single") {
            o.several = o.floor = false;
        } else if (a == "--only-several") {
            o.single = o.floor = false;
        } else if (a == "--only-floor") {
            o.single = o.several = false;
        } else if (a == "--baseline" && more) {
            o.baseline = argv[++i];
        } else {
            die("usage: gridquill_bench [--sizes 10000,100000,1000000] [--repeat 3] "
                "[--dir DIR] [--no-xlsx] [--only-single | --only-several | --only-floor] "
                "[--baseline PROGRAM]");
        }
    }
    return o;
}

// The results of one size.
struct Result {
    long rows = 0;
    Sample plain, floor, styled4, styled4000, xlsx, latin1text, utf8text;
};

Result measure(long rows, const Options &o) {
    const struct {
        const char *kind, *name;
        Sample Result::*slot;
    } workloads[] = {{"plain", "plain", &Result::plain},
                     {"styled4", "styled, 4 styles", &Result::styled4},
                     {"styled4000", "styled, 4000 styles", &Result::styled4000}};
    long cells = rows * kColumns;
    Result r;
    r.rows = rows;
    std::printf("rows %s (%s cells)\n", grouped(rows).c_str(), grouped(cells).c_str());
    for (const auto &w : workloads) {
        std::string path = o.dir + "/" + w.kind + "-" + std::to_string(rows) + ".xml";
        Best gq, floor;
        // Interleaved, so both meet the same machine; each starts without a file to replace.
        for (int i = 0; i < o.repeat; ++i) {
            gq.add(spawn(w.kind, rows, path, o.dir));
            floor.add(spawn("floor", rows, path, o.dir));
            fs::remove(path);
        }
        print_row(w.name, gq.s, cells, "x floor", gq.s.wall / floor.s.wall);
        print_row("  floor", floor.s, cells);
        r.*w.slot = gq.s;
        if (w.slot == &Result::plain) r.floor = floor.s;
    }
    {  // the encodings' workload in the Latin-1 and UTF-8 modes, interleaved
        std::string path = o.dir + "/text-" + std::to_string(rows) + ".xml";
        Best latin, utf8;
        for (int i = 0; i < o.repeat; ++i) {
            latin.add(spawn("latin1text", rows, path, o.dir));
            fs::remove(path);
            utf8.add(spawn("utf8text", rows, path, o.dir));
            fs::remove(path);
        }
        print_row("accents, Latin-1", latin.s, cells);
        print_row("the same in UTF-8", utf8.s, cells, "x Latin-1", utf8.s.wall / latin.s.wall);
        std::printf("  UTF-8 / Latin-1: %.3fx wall, %.3fx CPU\n", utf8.s.wall / latin.s.wall,
                    cpu(utf8.s) / cpu(latin.s));
        r.latin1text = latin.s;
        r.utf8text = utf8.s;
    }
    if (o.xlsx) {
        std::string path = o.dir + "/xlsx-" + std::to_string(rows) + ".xlsx";
        Best x;
        for (int i = 0; i < o.repeat; ++i) {
            x.add(spawn("xlsx", rows, path, o.dir));
            fs::remove(path);
        }
        r.xlsx = x.s;
        print_row("libxlsxwriter", x.s, cells, "x Gridquill", x.s.wall / r.plain.wall);
    }
    std::fflush(stdout);
    return r;
}

// The cell path against the floor writer at `rows` rows to /dev/null (CPU work only),
// interleaved: the library to a file in the Latin-1 and UTF-8 modes and to a stream.
void measure_floor(long rows, const Options &o) {
    const char *null = "/dev/null";
    long cells = rows * kColumns;
    Best floor, plain, utf8, stream;
    for (int i = 0; i < o.repeat; ++i) {
        floor.add(spawn("handmade", rows, null, o.dir));
        plain.add(spawn("plainfile", rows, null, o.dir));
        utf8.add(spawn("plainutf8", rows, null, o.dir));
        stream.add(spawn("plainstream", rows, null, o.dir));
    }
    std::printf("cell path, %s rows to /dev/null, against the floor writer\n",
                grouped(rows).c_str());
    print_row("floor writer", floor.s, cells);
    print_row("file, Latin-1", plain.s, cells, "x floor", plain.s.wall / floor.s.wall);
    print_row("file, UTF-8", utf8.s, cells, "x floor", utf8.s.wall / floor.s.wall);
    print_row("stream, Latin-1", stream.s, cells, "x floor", stream.s.wall / floor.s.wall);
    std::fflush(stdout);
}

// Two workbooks of `rows` rows at once: two threads, two processes, two contexts in one
// thread, against one workbook alone (and alone in the baseline build), all interleaved.
void measure_several(long rows, const Options &o) {
    long cells = rows * kColumns;
    std::string path = o.dir + "/several-" + std::to_string(rows) + ".xml";
    Best plain, base, threads, procs, contexts;
    for (int i = 0; i < o.repeat; ++i) {
        plain.add(spawn("plain", rows, path, o.dir));
        fs::remove(path);
        if (!o.baseline.empty()) {
            base.add(finish(start("plain", rows, path, o.dir, o.baseline.c_str())));
            fs::remove(path);
        }
        threads.add(spawn("threads2", rows, path, o.dir));
        Running two[2] = {start("plain", rows, path + ".0", o.dir),
                          start("plain", rows, path + ".1", o.dir)};
        Sample a = finish(two[0]), b = finish(two[1]), both;
        both.start = std::min(a.start, b.start);
        both.wall = std::max(a.start + a.wall, b.start + b.wall) - both.start;
        both.user = a.user + b.user;
        both.sys = a.sys + b.sys;
        both.bytes = a.bytes + b.bytes;
        both.peakKib = std::max(a.peakKib, b.peakKib);
        procs.add(both);
        fs::remove(path + ".0");
        fs::remove(path + ".1");
        contexts.add(spawn("contexts2", rows, path, o.dir));
    }
    auto rate = [](const Sample &s, long n) { return static_cast<double>(n) / s.wall; };
    std::printf("two workbooks of %s rows at once (Mcells/s of both)\n", grouped(rows).c_str());
    print_row("one alone", plain.s, cells);
    if (!o.baseline.empty())
        print_row("one alone, baseline", base.s, cells, "x this build",
                  rate(base.s, cells) / rate(plain.s, cells));
    print_row("two threads", threads.s, 2 * cells, "x two processes",
              rate(threads.s, 2 * cells) / rate(procs.s, 2 * cells));
    print_row("two processes", procs.s, 2 * cells, "x one alone",
              rate(procs.s, 2 * cells) / rate(plain.s, cells));
    print_row("two contexts, 1 thread", contexts.s, 2 * cells, "x one alone",
              rate(contexts.s, 2 * cells) / rate(plain.s, cells));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 6 && std::strcmp(argv[1], "--child") == 0)
        return child(argv[2], std::atol(argv[3]), argv[4], argv[5]);

    Options o = parse(argc, argv);
    bool ownDir = o.dir.empty();
    if (ownDir) {
        char tmpl[] = "/tmp/gridquill-bench-XXXXXX";
        if (mkdtemp(tmpl) == nullptr) die("cannot make a temporary directory");
        o.dir = tmpl;
    }
#ifndef GRIDQUILL_BENCH_XLSXWRITER
    o.xlsx = false;
#endif
    std::printf("Gridquill benchmark: R rows x %d columns, one worksheet; best of %d runs, each in "
                "a fresh process; files in %s\n",
                kColumns, o.repeat, o.dir.c_str());
    std::printf("  %-21s %8s %8s %8s %9s %14s %12s\n", "workload", "time s", "user s", "sys s",
                "Mcells/s", "bytes", "peak RSS KiB");
    std::vector<Result> results;
    if (o.floor) {
        check_floor(Values(), 1000, o.dir);
        for (long rows : o.sizes) measure_floor(rows, o);
    }
    if (o.single)
        for (long rows : o.sizes) results.push_back(measure(rows, o));
    if (o.several)
        for (long rows : o.sizes) measure_several(rows, o);
    if (ownDir) fs::remove_all(o.dir);
    if (results.empty()) return 0;

    std::printf("summary (plain workload unless named)\n");
    for (const Result &r : results) {
        std::printf("  %9s rows: Gridquill/floor %.2f (CPU time %.2f), %.1f Mcells/s, peak RSS "
                    "%s KiB, styled 4000/4 styles %.2f",
                    grouped(r.rows).c_str(), r.plain.wall / r.floor.wall,
                    cpu(r.plain) / cpu(r.floor),
                    static_cast<double>(r.rows * kColumns) / r.plain.wall / 1e6,
                    grouped(r.plain.peakKib).c_str(), r.styled4000.wall / r.styled4.wall);
        if (o.xlsx) std::printf(", libxlsxwriter/Gridquill %.1f", r.xlsx.wall / r.plain.wall);
        std::printf("\n");
    }
    if (results.size() > 1)
        std::printf("  peak RSS from %s to %s rows: %+ld KiB\n",
                    grouped(results.front().rows).c_str(), grouped(results.back().rows).c_str(),
                    results.back().plain.peakKib - results.front().plain.peakKib);
    return 0;
}
