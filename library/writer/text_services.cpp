// The exported text services: how client texts are read (xlsSetEncoding), Latin-1 to
// UTF-8 conversion and bounded replacement into the state's result arrays.
#include <algorithm>
#include <cstring>
#include <functional>

#include "../textutil/names.hpp"
#include "errors.hpp"
#include "state.hpp"

using namespace gridquill::detail;

namespace {

const char kEmpty[] = "";

bool inside(const char *p, const char (&buffer)[kServiceBufferSize]) noexcept {
    std::less_equal<const char *> le;
    return le(buffer, p) && std::less<const char *>()(p, buffer + kServiceBufferSize);
}

}  // namespace

extern "C" const char *AsciiToUtf8(const char *text) noexcept {
    if (!attached()) return kEmpty;
    char(&utf8Buffer)[kServiceBufferSize] = current().utf8Buffer;
    std::string_view in = arg(text);
    if (in.empty()) return kEmpty;
    if (inside(text, utf8Buffer)) {  // a result passed straight back in
        char copy[kServiceBufferSize];
        std::memcpy(copy, in.data(), in.size());
        latin1_to_utf8(std::string_view(copy, in.size()), utf8Buffer);
    } else {
        latin1_to_utf8(in, utf8Buffer);
    }
    return utf8Buffer;
}

extern "C" const char *strnReplace(char *str, const char *search, const char *replacement,
                                   int len) noexcept {
    if (!attached()) return kEmpty;
    char(&replaceBuffer)[kServiceBufferSize] = current().replaceBuffer;
    std::string_view s = arg(str), what = arg(search), with = arg(replacement);
    if (s.empty()) return kEmpty;
    if (what.empty() || what.size() > kMaxPatternLength || with.size() > kMaxPatternLength)
        return str;
    std::size_t n;
    if (inside(str, replaceBuffer) || inside(search, replaceBuffer) ||
        inside(replacement, replaceBuffer)) {
        char result[kServiceBufferSize];
        n = replace_into(s, what, with, result);
        std::memcpy(replaceBuffer, result, n + 1);
    } else {
        n = replace_into(s, what, with, replaceBuffer);
    }
    if (len > 0) {
        std::size_t want = static_cast<std::size_t>(len);
        if (inside(str, replaceBuffer))  // never past our own array
            want = std::min<std::size_t>(want, replaceBuffer + kServiceBufferSize - str);
        std::size_t copy = n < want ? n : want;
        std::memmove(str, replaceBuffer, copy);
        std::memset(str + copy, 0, want - copy);
    }
    return replaceBuffer;
}

extern "C" const char *strReplace(const char *str, const char *search,
                                  const char *replacement) noexcept {
    if (!attached()) return kEmpty;
    // With len 0 the source is only read.
    return strnReplace(const_cast<char *>(str), search, replacement, 0);
}

// Selects how the texts of later calls are read, by one of the names of each encoding.
extern "C" int xlsSetEncoding(const char *name) noexcept {
    if (!attached()) return kNo;
    constexpr struct {
        std::string_view name;
        Encoding encoding;
    } kNames[] = {{"ISO-8859-1", Encoding::latin1},
                  {"Latin-1", Encoding::latin1},
                  {"Windows-1252", Encoding::windows1252},
                  {"CP1252", Encoding::windows1252},
                  {"UTF-8", Encoding::utf8}};
    std::string_view wanted = arg(name);
    for (const auto &known : kNames) {
        if (same_ignoring_ascii_case(known.name, wanted)) {
            current().settings.encoding = known.encoding;
            return kYes;
        }
    }
    // The name is shown cut between characters, so that the message ends whole.
    WriterState &w = current();
    return fail(
        w,
        {"Codifica '", wanted.substr(0, text_cut(wanted, 60, Source::markup, w.settings.encoding)),
         "' sconosciuta in xlsSetEncoding(): usare ISO-8859-1, Windows-1252 o UTF-8.\n"});
}
