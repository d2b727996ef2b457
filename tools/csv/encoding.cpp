// Conversion of CSV input to UTF-8, with invalid UTF-8 replaced and counted.
#include "encoding.hpp"

#include <cstdint>
#include <cstring>

namespace gqcsv {

namespace {

// Windows-1252's characters for the bytes 0x80 to 0x9F; 0 where it has none.
constexpr char16_t kWindows1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Offset of the first byte from 0x80 up, or the size.
std::size_t ascii_prefix(std::string_view s) noexcept {
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t w;
        std::memcpy(&w, s.data() + i, 8);
        if (w & 0x8080808080808080ull) break;
    }
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
    return i;
}

void put_code_point(std::string &out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Length of the valid UTF-8 sequence at s[i], or 0; `valid` is how many of its bytes
// could start a valid sequence (the maximal subpart, at least 1).
std::size_t sequence(std::string_view s, std::size_t i, std::size_t &valid) noexcept {
    auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte
    if (c >= 0xC2 && c <= 0xDF) n = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else {
        valid = 1;
        return 0;
    }
    valid = 1;
    for (std::size_t k = 1; k < n; ++k) {
        if (i + k >= s.size()) return 0;
        unsigned char t = b(i + k);
        if (k == 1 ? (t < lo || t > hi) : (t < 0x80 || t > 0xBF)) return 0;
        valid = k + 1;
    }
    return n;
}

char lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

bool same_name(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

}  // namespace

bool encoding_named(std::string_view name, Encoding &out) noexcept {
    struct Name {
        std::string_view name;
        Encoding encoding;
    };
    static constexpr Name kNames[] = {
        {"utf-8", Encoding::utf8},         {"utf8", Encoding::utf8},
        {"windows-1252", Encoding::windows1252}, {"cp1252", Encoding::windows1252},
        {"iso-8859-1", Encoding::latin1},  {"latin-1", Encoding::latin1},
        {"latin1", Encoding::latin1}};
    for (const Name &n : kNames) {
        if (same_name(name, n.name)) {
            out = n.encoding;
            return true;
        }
    }
    return false;
}

std::string_view to_utf8(std::string_view text, Encoding from, std::string &scratch,
                         std::size_t &replaced) {
    std::size_t i = ascii_prefix(text);
    if (i == text.size()) return text;
    if (from == Encoding::utf8) {  // valid as it stands?
        std::size_t k = i, valid;
        while (k < text.size()) {
            if (static_cast<unsigned char>(text[k]) < 0x80) ++k;
            else if (std::size_t n = sequence(text, k, valid)) k += n;
            else break;
        }
        if (k == text.size()) return text;
        i = k;
    }
    scratch.assign(text.substr(0, i));
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            scratch += static_cast<char>(c);
            ++i;
        } else if (from != Encoding::utf8) {
            char16_t w = from == Encoding::windows1252 && c < 0xA0 ? kWindows1252[c - 0x80] : 0;
            put_code_point(scratch, w != 0 ? w : c);
            ++i;
        } else {
            std::size_t valid;
            if (std::size_t n = sequence(text, i, valid)) {
                scratch.append(text.substr(i, n));
                i += n;
            } else {
                scratch += kReplacement;
                ++replaced;
                i += valid;
            }
        }
    }
    return scratch;
}

std::size_t characters(std::string_view utf8) noexcept {
    std::size_t n = 0;
    for (unsigned char c : utf8) n += (c & 0xC0) != 0x80;
    return n;
}

}  // namespace gqcsv
