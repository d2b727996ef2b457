// Helpers the fuzz targets share: a private working directory, open-descriptor counts,
// the XML check of a written workbook and reference forms of the text services.
#include "fuzz_support.hpp"

#include "gridquill.h"

#include <dirent.h>
#include <signal.h>
#include <expat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace gqfuzz {

namespace {

std::string private_dir;
int report_fd = 2;  // stderr as it was at start-up, before -close_fd_mask silences it

void remove_private_dir() {
    std::error_code ec;
    if (!private_dir.empty()) std::filesystem::remove_all(private_dir, ec);
}

struct CellCollector {
    int depthInCell = 0;
    bool inData = false;
    std::string text;
    std::vector<std::string> *values;
    std::vector<std::string> *names;
};

void on_start(void *user, const XML_Char *name, const XML_Char **attrs) {
    auto *c = static_cast<CellCollector *>(user);
    if (std::strcmp(name, "Worksheet") == 0)
        for (const XML_Char **a = attrs; *a != nullptr; a += 2)
            if (std::strcmp(a[0], "ss:Name") == 0) c->names->push_back(a[1]);
    if (std::strcmp(name, "Cell") == 0) c->depthInCell++;
    else if (std::strcmp(name, "Data") == 0 && c->depthInCell > 0) {
        c->inData = true;
        c->text.clear();
    }
}

void on_end(void *user, const XML_Char *name) {
    auto *c = static_cast<CellCollector *>(user);
    if (std::strcmp(name, "Cell") == 0) c->depthInCell--;
    else if (std::strcmp(name, "Data") == 0 && c->inData) {
        c->inData = false;
        c->values->push_back(c->text);
    }
}

void on_text(void *user, const XML_Char *s, int len) {
    auto *c = static_cast<CellCollector *>(user);
    if (c->inData) c->text.append(s, static_cast<std::size_t>(len));
}

}  // namespace

// Removes the directories of earlier runs whose process is gone (a crash or an interrupt
// ends a run without its exit handlers).
void remove_orphans(const std::string &base, const std::string &prefix) {
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(base, ec)) {
        std::string name = entry.path().filename().string();
        if (name.rfind(prefix + "-", 0) != 0) continue;
        long pid = std::strtol(name.c_str() + prefix.size() + 1, nullptr, 10);
        if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
            std::filesystem::remove_all(entry.path(), ec);
    }
}

std::string make_private_dir(const char *prefix) {
    const char *tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    remove_orphans(base, prefix);
    std::string pattern = base + "/" + prefix + "-" + std::to_string(getpid()) + "-XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (mkdtemp(buf.data()) == nullptr) {
        std::perror("gridquill fuzz: private directory");
        std::abort();
    }
    private_dir = buf.data();
    report_fd = dup(2);
    std::atexit(remove_private_dir);
    return private_dir;
}

void reset_library() {
    xlsInit("/dev/null", "");
    xlsAddSheet("r", xlsSheetSetupDefault);
    xlsWriteCell("", 'S', "");
    xlsClose();
}

int open_fds() {
    DIR *d = opendir("/proc/self/fd");
    if (d == nullptr) return -1;
    int n = 0;
    while (readdir(d) != nullptr) ++n;
    closedir(d);
    return n - 3;  // ".", ".." and the directory's own descriptor
}

void note(const std::string &line) { dprintf(report_fd, "%s\n", line.c_str()); }

void finding(const char *what, std::string_view detail) {
    std::string shown;
    for (unsigned char c : detail.substr(0, 600)) {
        if (c >= 0x20 && c < 0x7F) shown += static_cast<char>(c);
        else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            shown += hex;
        }
    }
    dprintf(report_fd, "\nFINDING: %s\n  %s\n", what, shown.c_str());
    std::abort();  // libFuzzer reports the crash and saves the input
}

Parsed parse_workbook(const std::string &text) {
    Parsed result;
    CellCollector collector;
    collector.values = &result.cellValues;
    collector.names = &result.sheetNames;
    XML_Parser p = XML_ParserCreate(nullptr);
    XML_SetUserData(p, &collector);
    XML_SetElementHandler(p, on_start, on_end);
    XML_SetCharacterDataHandler(p, on_text);
    if (XML_Parse(p, text.data(), static_cast<int>(text.size()), 1) == XML_STATUS_ERROR) {
        result.error = std::string(XML_ErrorString(XML_GetErrorCode(p))) + " at line " +
                       std::to_string(XML_GetCurrentLineNumber(p)) + ", column " +
                       std::to_string(XML_GetCurrentColumnNumber(p));
    }
    XML_ParserFree(p);
    return result;
}

std::string read_file(const char *path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool verbatim_special(unsigned char b) {
    return b == '<' || b == '>' || b == '&' || b == '"' || b >= 0x80 ||
           (b < 0x20 && b != '\t' && b != '\n' && b != '\r');
}

bool has_verbatim_special(std::string_view s) {
    for (unsigned char b : s)
        if (verbatim_special(b)) return true;
    return false;
}

bool has_markup_special(std::string_view s) {
    return s.find_first_of("<&\"") != std::string_view::npos;
}

std::string expected_cell_text(std::string_view value) {
    std::string out;
    for (unsigned char b : value) {
        if (b < 0x20) out += ' ';
        else if (b < 0x80) out += static_cast<char>(b);
        else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

namespace {

void utf8(std::string &out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool allowed(char32_t c) {
    return c == 9 || c == 10 || c == 13 || (c >= 0x20 && c < 0xD800) ||
           (c >= 0xE000 && c < 0xFFFE) || (c >= 0x10000 && c <= 0x10FFFF);
}

// The sequence at `at` decoded the long way: its code point and length, or 0 when it is
// not a well-formed sequence; `bad` gets the length of its maximal ill-formed part.
std::size_t sequence(std::string_view t, std::size_t at, char32_t &cp, std::size_t &bad) {
    auto b = static_cast<unsigned char>(t[at]);
    std::size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    bad = 1;
    if (n == 1 || b > 0xF4) return 0;
    char32_t c = b & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) {
        if (at + i >= t.size()) return 0;
        auto x = static_cast<unsigned char>(t[at + i]);
        if ((x & 0xC0) != 0x80) return 0;
        c = c << 6 | (x & 0x3F);
        // A prefix that no well-formed sequence has ends the part before this byte.
        if (i == 1 && n == 2 && c < 0x80) return 0;
        if (i == 1 && n == 3 && (c < (0x800 >> 6) || (c >= (0xD800 >> 6) && c <= (0xDFFF >> 6))))
            return 0;
        if (i == 1 && n == 4 && (c < (0x10000 >> 12) || c > (0x10FFFF >> 12))) return 0;
        bad = i + 1;
    }
    cp = c;
    return n;
}

constexpr char32_t kCp1252[32] = {0x20AC, 0x81,   0x201A, 0x192,  0x201E, 0x2026, 0x2020, 0x2021,
                                  0x2C6,  0x2030, 0x160,  0x2039, 0x152,  0x8D,   0x17D,  0x8F,
                                  0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x2DC,  0x2122, 0x161,  0x203A, 0x153,  0x9D,   0x17E,  0x178};

// One character of a client text: the bytes it takes, what the reader sees of it (the
// literal tab, line feed and carriage return of a name as 1, 2 and 3, normalised later)
// and its UTF-16 units.
struct Ch {
    std::size_t in = 1;
    std::string seen;
    int units = 1;
};

Ch read_char(std::string_view t, std::size_t at, Enc e, bool cell) {
    Ch ch;
    auto b = static_cast<unsigned char>(t[at]);
    if (b == '&' && !cell) {
        static const char *const kNames[] = {"amp;", "lt;", "gt;", "quot;", "apos;"};
        static const char kChars[] = "&<>\"'";
        for (int i = 0; i < 5; ++i)
            if (t.substr(at + 1).rfind(kNames[i], 0) == 0) {
                ch.in = 1 + std::strlen(kNames[i]);
                ch.seen = kChars[i];
                return ch;
            }
        std::size_t i = at + 1;
        if (i < t.size() && t[i] == '#') {
            bool hex = i + 1 < t.size() && t[i + 1] == 'x';
            std::size_t start = i + (hex ? 2 : 1), j = start;
            unsigned long long v = 0;
            while (j < t.size() && j - start < 20 &&
                   (std::isdigit(static_cast<unsigned char>(t[j])) ||
                    (hex && std::isxdigit(static_cast<unsigned char>(t[j]))))) {
                v = v * (hex ? 16 : 10) + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(t[j]))
                                                                   ? t[j] - '0'
                                                                   : (std::tolower(t[j]) - 'a' + 10));
                if (v > 0x10FFFF) v = 0x110000;
                ++j;
            }
            if (j > start && j < t.size() && t[j] == ';' && j + 1 - at <= 12 && allowed(static_cast<char32_t>(v))) {
                ch.in = j + 1 - at;
                utf8(ch.seen, static_cast<char32_t>(v));
                ch.units = v > 0xFFFF ? 2 : 1;
                return ch;
            }
        }
        ch.seen = "&";
        return ch;
    }
    if (b < 0x20) {
        bool newMode = e != Enc::latin1;
        if (cell && !newMode) ch.seen = " ";
        else if (cell && (b == '\n' || b == '\r')) {
            ch.seen = "\n";
            if (b == '\r' && at + 1 < t.size() && t[at + 1] == '\n') ch.in = 2;
        } else if (cell && b == '\t') ch.seen = "\t";
        else if (b == '\t') ch.seen = "\x01";
        else if (b == '\n') ch.seen = "\x02";
        else if (b == '\r') ch.seen = "\x03";
        else ch.seen = " ";
        return ch;
    }
    if (b < 0x80) {
        ch.seen = static_cast<char>(b);
        return ch;
    }
    if (e == Enc::utf8 || !cell) {
        char32_t cp = 0;
        std::size_t bad = 1, n = sequence(t, at, cp, bad);
        if (n != 0 && allowed(cp)) {
            ch.in = n;
            ch.seen = std::string(t.substr(at, n));
            ch.units = cp > 0xFFFF ? 2 : 1;
            return ch;
        }
        if (e == Enc::utf8) {
            ch.in = n != 0 ? n : bad;
            ch.seen = "\xEF\xBF\xBD";
            return ch;
        }
    }
    char32_t c = b;
    if (e == Enc::cp1252 && b < 0xA0) c = kCp1252[b - 0x80];
    utf8(ch.seen, c);
    return ch;
}

std::string_view body(std::string_view t, Enc e) {
    return e == Enc::utf8 && t.rfind("\xEF\xBB\xBF", 0) == 0 ? t.substr(3) : t;
}

}  // namespace

std::string reference_seen(std::string_view text, Enc e, std::size_t max) {
    std::string seen;
    std::size_t count = 0;
    std::string_view t = body(text, e);
    for (std::size_t i = 0; i < t.size();) {
        Ch ch = read_char(t, i, e, false);
        std::size_t add = e == Enc::latin1 ? ch.in : 1;
        if (max != std::string::npos && count + add > max) break;
        count += add;
        seen += ch.seen;
        i += ch.in;
    }
    // What an XML parser does with literal line ends and white space in an attribute.
    std::string out;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        char c = seen[i];
        if (c == '\x03' && i + 1 < seen.size() && seen[i + 1] == '\x02') continue;
        out += c == '\x01' || c == '\x02' || c == '\x03' ? ' ' : c;
    }
    return out;
}

std::string reference_cell(std::string_view value, Enc e) {
    std::string seen;
    int units = 0;
    std::string_view t = body(value, e);
    for (std::size_t i = 0; i < t.size();) {
        Ch ch = read_char(t, i, e, true);
        if (units + ch.units > 32767) break;
        units += ch.units;
        seen += ch.seen;
        i += ch.in;
    }
    return seen;
}

std::string reference_utf8(std::string_view text) {
    std::string out;
    for (unsigned char b : text) {
        if (out.size() >= 3996) break;
        if (b < 0x20) out += ' ';
        else if (b < 0x80) out += static_cast<char>(b);
        else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

std::string reference_replace(std::string_view str, std::string_view search,
                              std::string_view replacement) {
    std::string out;
    std::size_t pos = 0, rest = 0;
    for (;;) {
        std::size_t at = str.find(search, pos);
        if (at == std::string_view::npos) {
            rest = pos;
            break;
        }
        std::size_t d = at - pos;
        if (d > 0) {
            if (out.size() + d >= 4000) {
                rest = pos;
                break;
            }
            out.append(str.substr(pos, d));
        }
        if (!replacement.empty()) {
            if (out.size() + replacement.size() >= 4000) {
                rest = at;
                break;
            }
            out.append(replacement);
        }
        pos = at + search.size();
    }
    if (out.size() < 3998) out.append(str.substr(rest, 3998 - out.size()));
    return out;
}

}  // namespace gqfuzz
