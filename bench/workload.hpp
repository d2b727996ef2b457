// The benchmarks' workloads: the cell values, made before the clock starts, and the plain
// workload written through the library (to a file or a stream, in Latin-1 or UTF-8) or by
// the floor writer.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "floor_writer.hpp"
#include "gridquill.h"

namespace bench {

constexpr int kColumns = 10;
constexpr std::size_t kPool = 1024;  // distinct strings and numbers, cycled through

// The cell values, made before the clock starts: every seventh string holds '&' and 0xE8.
// Row r takes the entries from first(r) on, a string in each even column and a number in
// each odd one.
struct Values {
    std::vector<std::string> latin1, utf8, number;
    std::vector<double> numeric;
    std::vector<const char *> cells;  // latin1 and number interleaved, as a row takes them
    std::vector<const char *> plainUtf8;  // the same texts in UTF-8
    // The encodings' workload: a third of the texts with accented letters, a euro sign and
    // three CJK characters, in UTF-8 and (the same count of characters) in Latin-1.
    std::vector<std::string> textLatin1, textUtf8;
    std::vector<const char *> cellsLatin1, cellsUtf8;

    Values() {
        for (std::size_t k = 0; k < kPool; ++k) {
            std::string n = std::to_string(k);
            bool special = k % 7 == 0;
            latin1.push_back(special ? "Caff\xE8 & latte " + n : "Articolo " + n);
            utf8.push_back(special ? "Caff\xC3\xA8 & latte " + n : "Articolo " + n);
            number.push_back(std::to_string(k * 7919 % 100000) + "." + std::to_string(10 + k % 90));
            numeric.push_back(std::strtod(number.back().c_str(), nullptr));
        }
        for (std::size_t k = 0; k < kPool; ++k) {
            std::string n = std::to_string(k);
            bool special = k % 3 == 0;
            textLatin1.push_back(special ? "Caff\xE8 citt\xE0 \xA4 12 \xC6\xC7\xC8 " + n
                                         : "Articolo " + n);
            textUtf8.push_back(special ? "Caff\xC3\xA8 citt\xC3\xA0 \xE2\x82\xAC 12 "
                                         "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E " +
                                             n
                                       : "Articolo " + n);
        }
        for (std::size_t k = 0; k < kPool; ++k) {
            cells.push_back(latin1[k].c_str());
            cells.push_back(number[k].c_str());
            cellsLatin1.push_back(textLatin1[k].c_str());
            cellsLatin1.push_back(number[k].c_str());
            cellsUtf8.push_back(textUtf8[k].c_str());
            cellsUtf8.push_back(number[k].c_str());
            plainUtf8.push_back(utf8[k].c_str());
            plainUtf8.push_back(number[k].c_str());
        }
    }
    static std::size_t first(long row) {
        return static_cast<std::size_t>(row * (kColumns / 2)) % (kPool - kColumns / 2);
    }
};

// The rows of the plain workload over `cells`: `cell(value, type)` for each of its
// kColumns cells, then `newLine()`; false as soon as one of them fails.
template <class Cell, class NewLine>
bool plain_rows(const std::vector<const char *> &cells, long rows, Cell cell, NewLine newLine) {
    bool ok = true;
    for (long r = 0; r < rows && ok; ++r) {
        const char *const *row = &cells[2 * Values::first(r)];
        for (int c = 0; c < kColumns; c += 2) {
            ok &= cell(row[c], 'S');
            ok &= cell(row[c + 1], 'N');
        }
        ok &= newLine();
    }
    return ok;
}

// How the plain workload is written.
enum class Way { file, utf8, stream, floor };

// Hands the library's output to a file descriptor.
inline int write_to_fd(void *fd, const char *data, size_t size) {
    for (size_t done = 0; done < size;) {
        ssize_t n = ::write(*static_cast<int *>(fd), data + done, size - done);
        if (n <= 0) return -1;
        done += static_cast<size_t>(n);
    }
    return static_cast<int>(size);
}

// The plain workload of `rows` rows to `path` in one of the ways; false on failure. A stream
// and the floor write to the file descriptor `fd` opened on path by the caller.
inline bool write_plain(const Values &v, long rows, Way way, const char *path, int fd) {
    if (way == Way::floor) {
        FloorWriter floor(fd, "Bench", "2026-01-01T00:00:00Z");
        return plain_rows(
                   v.cells, rows,
                   [&](const char *value, char type) {
                       floor.cell(value, type);
                       return true;
                   },
                   [&] {
                       floor.new_line();
                       return true;
                   }) &&
               floor.close();
    }
    bool ok = xlsSetEncoding(way == Way::utf8 ? "UTF-8" : "ISO-8859-1") != 0;
    if (way == Way::stream) ok = ok && xlsInitStream(write_to_fd, &fd, "Bench") != 0;
    else ok = ok && xlsInit(path, "Bench") != 0;
    ok = ok && xlsAddSheet("Dati", xlsSheetSetupDefault) != 0;
    ok = ok && plain_rows(
                   way == Way::utf8 ? v.plainUtf8 : v.cells, rows,
                   [](const char *value, char type) { return xlsWriteCell(value, type, "") != 0; },
                   [] { return xlsNewLine() != 0; });
    return xlsClose() != 0 && ok;
}

}  // namespace bench
