// Helpers the fuzz targets share: a private working directory, open-descriptor counts,
// the XML check of a written workbook and reference forms of the text services.
#include "fuzz_support.hpp"

#include "gridquill.h"

#include <dirent.h>
#include <signal.h>
#include <expat.h>
#include <unistd.h>

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
};

void on_start(void *user, const XML_Char *name, const XML_Char **) {
    auto *c = static_cast<CellCollector *>(user);
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
