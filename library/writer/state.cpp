// The writer state and the output and error helpers shared by all operations.
#include "state.hpp"

#include <cctype>
#include <cerrno>

namespace gridquill::detail {

WriterState g;

Encoding text_encoding() noexcept { return g.encoding; }

void seed_style_ids() noexcept {
    for (std::string_view id : {"Default", "num", "txt", "date"}) g.styleIds.add(id);
}

namespace {

// The built-in style IDs are known from the moment the library is loaded.
[[maybe_unused]] const bool seeded_at_load = (seed_style_ids(), true);

void set_error(std::initializer_list<std::string_view> parts) noexcept {
    g.errorText.clear();
    for (std::string_view p : parts) g.errorText.append(p);
}

}  // namespace

void emit(std::string_view text) noexcept {
    if (g.outFile == nullptr || text.empty()) return;
#ifdef __GLIBC__
    std::size_t n = fwrite_unlocked(text.data(), 1, text.size(), g.outFile);
#else
    std::size_t n = std::fwrite(text.data(), 1, text.size(), g.outFile);
#endif
    if (n != text.size() && !g.writeFailed) {
        g.writeFailed = true;
        g.writeErrno = errno;
    }
}

std::FILE *open_output(const char *path) noexcept {
    std::FILE *f = std::fopen(path, "w");
    if (f != nullptr) std::setvbuf(f, g.outBuffer, _IOFBF, sizeof g.outBuffer);
    g.writeFailed = false;
    g.writeErrno = 0;
    return f;
}

bool close_output() noexcept {
    if (g.outFile == nullptr) return true;
    bool ok = !g.writeFailed && !std::ferror(g.outFile);
    int err = g.writeErrno;
    // A flush made outside the library (a client's fflush(NULL)) may have failed without
    // leaving its reason: the final flush meets the same cause again.
    std::clearerr(g.outFile);
    if (std::fclose(g.outFile) != 0) {
        if (ok || err == 0) err = errno;
        ok = false;
    }
    g.outFile = nullptr;
    g.writeFailed = false;
    if (!ok) errno = err != 0 ? err : EIO;
    return ok;
}

int fail(std::initializer_list<std::string_view> parts) noexcept {
    set_error(parts);
    std::fputs(g.errorText.c_str(), stderr);
    return kNo;
}

int fail_open(std::initializer_list<std::string_view> parts) noexcept {
    int err = errno;
    set_error(parts);
    errno = err;
    std::perror(g.errorText.c_str());
    return kNo;
}

void close_input() noexcept {
    if (g.inFile == nullptr) return;
    std::fclose(g.inFile);
    g.inFile = nullptr;
}

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" const char *xlsGetError(void) noexcept { return g.errorText.c_str(); }

