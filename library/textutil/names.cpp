// Case folding from a compact table of runs, and IDs made XML names.
#include "names.hpp"

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "escape.hpp"

namespace gridquill::detail {

namespace {

// Code points from `first` on, `count` of them `stride` apart, fold to themselves plus
// `delta`; stride 2 is the alternating upper / lower pairs of Latin, Greek, Cyrillic...
struct FoldRun {
    std::uint32_t first;
    std::uint8_t count;
    std::uint8_t stride;
    std::int32_t delta;
};

constexpr FoldRun kFoldRuns[] = {
    {0x41, 26, 1, 32}, {0xB5, 1, 1, 775}, {0xC0, 23, 1, 32}, {0xD8, 7, 1, 32},
    {0x100, 24, 2, 1}, {0x132, 3, 2, 1}, {0x139, 8, 2, 1}, {0x14A, 23, 2, 1},
    {0x178, 1, 1, -121}, {0x179, 3, 2, 1}, {0x17F, 1, 1, -268}, {0x181, 1, 1, 210},
    {0x182, 2, 2, 1}, {0x186, 1, 1, 206}, {0x187, 1, 1, 1}, {0x189, 2, 1, 205},
    {0x18B, 1, 1, 1}, {0x18E, 1, 1, 79}, {0x18F, 1, 1, 202}, {0x190, 1, 1, 203},
    {0x191, 1, 1, 1}, {0x193, 1, 1, 205}, {0x194, 1, 1, 207}, {0x196, 1, 1, 211},
    {0x197, 1, 1, 209}, {0x198, 1, 1, 1}, {0x19C, 1, 1, 211}, {0x19D, 1, 1, 213},
    {0x19F, 1, 1, 214}, {0x1A0, 3, 2, 1}, {0x1A6, 1, 1, 218}, {0x1A7, 1, 1, 1},
    {0x1A9, 1, 1, 218}, {0x1AC, 1, 1, 1}, {0x1AE, 1, 1, 218}, {0x1AF, 1, 1, 1},
    {0x1B1, 2, 1, 217}, {0x1B3, 2, 2, 1}, {0x1B7, 1, 1, 219}, {0x1B8, 1, 1, 1},
    {0x1BC, 1, 1, 1}, {0x1C4, 1, 1, 2}, {0x1C5, 1, 1, 1}, {0x1C7, 1, 1, 2}, {0x1C8, 1, 1, 1},
    {0x1CA, 1, 1, 2}, {0x1CB, 9, 2, 1}, {0x1DE, 9, 2, 1}, {0x1F1, 1, 1, 2}, {0x1F2, 2, 2, 1},
    {0x1F6, 1, 1, -97}, {0x1F7, 1, 1, -56}, {0x1F8, 20, 2, 1}, {0x220, 1, 1, -130},
    {0x222, 9, 2, 1}, {0x23A, 1, 1, 10795}, {0x23B, 1, 1, 1}, {0x23D, 1, 1, -163},
    {0x23E, 1, 1, 10792}, {0x241, 1, 1, 1}, {0x243, 1, 1, -195}, {0x244, 1, 1, 69},
    {0x245, 1, 1, 71}, {0x246, 5, 2, 1}, {0x345, 1, 1, 116}, {0x370, 2, 2, 1},
    {0x376, 1, 1, 1}, {0x37F, 1, 1, 116}, {0x386, 1, 1, 38}, {0x388, 3, 1, 37},
    {0x38C, 1, 1, 64}, {0x38E, 2, 1, 63}, {0x391, 17, 1, 32}, {0x3A3, 9, 1, 32},
    {0x3C2, 1, 1, 1}, {0x3CF, 1, 1, 8}, {0x3D0, 1, 1, -30}, {0x3D1, 1, 1, -25},
    {0x3D5, 1, 1, -15}, {0x3D6, 1, 1, -22}, {0x3D8, 12, 2, 1}, {0x3F0, 1, 1, -54},
    {0x3F1, 1, 1, -48}, {0x3F4, 1, 1, -60}, {0x3F5, 1, 1, -64}, {0x3F7, 1, 1, 1},
    {0x3F9, 1, 1, -7}, {0x3FA, 1, 1, 1}, {0x3FD, 3, 1, -130}, {0x400, 16, 1, 80},
    {0x410, 32, 1, 32}, {0x460, 17, 2, 1}, {0x48A, 27, 2, 1}, {0x4C0, 1, 1, 15},
    {0x4C1, 7, 2, 1}, {0x4D0, 48, 2, 1}, {0x531, 38, 1, 48}, {0x10A0, 38, 1, 7264},
    {0x10C7, 1, 1, 7264}, {0x10CD, 1, 1, 7264}, {0x13F8, 6, 1, -8}, {0x1C80, 1, 1, -6222},
    {0x1C81, 1, 1, -6221}, {0x1C82, 1, 1, -6212}, {0x1C83, 2, 1, -6210}, {0x1C85, 1, 1, -6211},
    {0x1C86, 1, 1, -6204}, {0x1C87, 1, 1, -6180}, {0x1C88, 1, 1, 35267},
    {0x1C90, 43, 1, -3008}, {0x1CBD, 3, 1, -3008}, {0x1E00, 75, 2, 1}, {0x1E9B, 1, 1, -58},
    {0x1E9E, 1, 1, -7615}, {0x1EA0, 48, 2, 1}, {0x1F08, 8, 1, -8}, {0x1F18, 6, 1, -8},
    {0x1F28, 8, 1, -8}, {0x1F38, 8, 1, -8}, {0x1F48, 6, 1, -8}, {0x1F59, 4, 2, -8},
    {0x1F68, 8, 1, -8}, {0x1F88, 8, 1, -8}, {0x1F98, 8, 1, -8}, {0x1FA8, 8, 1, -8},
    {0x1FB8, 2, 1, -8}, {0x1FBA, 2, 1, -74}, {0x1FBC, 1, 1, -9}, {0x1FBE, 1, 1, -7173},
    {0x1FC8, 4, 1, -86}, {0x1FCC, 1, 1, -9}, {0x1FD8, 2, 1, -8}, {0x1FDA, 2, 1, -100},
    {0x1FE8, 2, 1, -8}, {0x1FEA, 2, 1, -112}, {0x1FEC, 1, 1, -7}, {0x1FF8, 2, 1, -128},
    {0x1FFA, 2, 1, -126}, {0x1FFC, 1, 1, -9}, {0x2126, 1, 1, -7517}, {0x212A, 1, 1, -8383},
    {0x212B, 1, 1, -8262}, {0x2132, 1, 1, 28}, {0x2160, 16, 1, 16}, {0x2183, 1, 1, 1},
    {0x24B6, 26, 1, 26}, {0x2C00, 48, 1, 48}, {0x2C60, 1, 1, 1}, {0x2C62, 1, 1, -10743},
    {0x2C63, 1, 1, -3814}, {0x2C64, 1, 1, -10727}, {0x2C67, 3, 2, 1}, {0x2C6D, 1, 1, -10780},
    {0x2C6E, 1, 1, -10749}, {0x2C6F, 1, 1, -10783}, {0x2C70, 1, 1, -10782}, {0x2C72, 1, 1, 1},
    {0x2C75, 1, 1, 1}, {0x2C7E, 2, 1, -10815}, {0x2C80, 50, 2, 1}, {0x2CEB, 2, 2, 1},
    {0x2CF2, 1, 1, 1}, {0xA640, 23, 2, 1}, {0xA680, 14, 2, 1}, {0xA722, 7, 2, 1},
    {0xA732, 31, 2, 1}, {0xA779, 2, 2, 1}, {0xA77D, 1, 1, -35332}, {0xA77E, 5, 2, 1},
    {0xA78B, 1, 1, 1}, {0xA78D, 1, 1, -42280}, {0xA790, 2, 2, 1}, {0xA796, 10, 2, 1},
    {0xA7AA, 1, 1, -42308}, {0xA7AB, 1, 1, -42319}, {0xA7AC, 1, 1, -42315},
    {0xA7AD, 1, 1, -42305}, {0xA7AE, 1, 1, -42308}, {0xA7B0, 1, 1, -42258},
    {0xA7B1, 1, 1, -42282}, {0xA7B2, 1, 1, -42261}, {0xA7B3, 1, 1, 928}, {0xA7B4, 8, 2, 1},
    {0xA7C4, 1, 1, -48}, {0xA7C5, 1, 1, -42307}, {0xA7C6, 1, 1, -35384}, {0xA7C7, 2, 2, 1},
    {0xA7D0, 1, 1, 1}, {0xA7D6, 2, 2, 1}, {0xA7F5, 1, 1, 1}, {0xAB70, 80, 1, -38864},
    {0xFF21, 26, 1, 32}, {0x10400, 40, 1, 40}, {0x104B0, 36, 1, 40}, {0x10570, 11, 1, 39},
    {0x1057C, 15, 1, 39}, {0x1058C, 7, 1, 39}, {0x10594, 2, 1, 39}, {0x10C80, 51, 1, 64},
    {0x118A0, 32, 1, 32}, {0x16E40, 32, 1, 32}, {0x1E900, 34, 1, 34}};

// One UTF-8 character at `at`: its code point and length; a byte that starts no valid
// sequence is one character of its own, reported as U+FFFD.
struct Decoded {
    char32_t c;
    std::size_t size;
    bool valid;
};

Decoded decode(std::string_view s, std::size_t at) noexcept {
    auto b = static_cast<unsigned char>(s[at]);
    if (b < 0x80) return {b, 1, true};
    std::size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
    if (n == 0 || b > 0xF4 || at + n > s.size()) return {0xFFFD, 1, false};
    char32_t c = b & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) {
        auto t = static_cast<unsigned char>(s[at + i]);
        if ((t & 0xC0) != 0x80) return {0xFFFD, 1, false};
        c = c << 6 | (t & 0x3F);
    }
    constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kLeast[n] || c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) return {0xFFFD, 1, false};
    return {c, n, true};
}

// Puts a character's `size` bytes at out[n] when they fit `room`; false (and `whole`
// false) when they do not.
bool put_unit(char *out, std::size_t room, std::size_t &n, const char *unit, std::size_t size,
              bool &whole) noexcept {
    if (n + size > room) return whole = false;
    std::copy(unit, unit + size, out + n);
    n += size;
    return true;
}

bool name_start(char32_t c) noexcept {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' ||
           (c >= 0xC0 && c <= 0xD6) || (c >= 0xD8 && c <= 0xF6) || (c >= 0xF8 && c <= 0x2FF) ||
           (c >= 0x370 && c <= 0x37D) || (c >= 0x37F && c <= 0x1FFF) || c == 0x200C ||
           c == 0x200D || (c >= 0x2070 && c <= 0x218F) || (c >= 0x2C00 && c <= 0x2FEF) ||
           (c >= 0x3001 && c <= 0xD7FF) || (c >= 0xF900 && c <= 0xFDCF) ||
           (c >= 0xFDF0 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0xEFFFF);
}

bool name_char(char32_t c) noexcept {
    return name_start(c) || c == '-' || c == '.' || (c >= '0' && c <= '9') || c == 0xB7 ||
           (c >= 0x300 && c <= 0x36F) || c == 0x203F || c == 0x2040;
}

// "_x" and four or eight hexadecimal digits and "_" at `at`: what reads as an encoded character.
bool encoded_form_at(std::string_view s, std::size_t at) noexcept {
    if (s.substr(at, 2) != "_x") return false;
    std::size_t digits = 0;
    while (at + 2 + digits < s.size() && std::isxdigit(static_cast<unsigned char>(s[at + 2 + digits])))
        ++digits;
    return (digits == 4 || digits == 8) && s.substr(at + 2 + digits, 1) == "_";
}

}  // namespace

char32_t fold_case(char32_t c) noexcept {
    auto after = std::upper_bound(std::begin(kFoldRuns), std::end(kFoldRuns), c,
                                  [](char32_t v, const FoldRun &r) { return v < r.first; });
    if (after == std::begin(kFoldRuns)) return c;
    const FoldRun &r = *(after - 1);
    char32_t offset = c - r.first;
    if (offset % r.stride != 0 || offset / r.stride >= r.count) return c;
    return static_cast<char32_t>(static_cast<std::int32_t>(c) + r.delta);
}

std::size_t fold_into(char *out, std::size_t room, std::string_view utf8, bool &whole) noexcept {
    std::size_t n = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        Decoded d = decode(utf8, i);
        char unit[4];
        std::size_t size = 1;
        if (d.valid) size = put_utf8(unit, fold_case(d.c));
        else unit[0] = utf8[i];
        if (!put_unit(out, room, n, unit, size, whole)) return n;
        i += d.size;
    }
    return n;
}

bool is_xml_name(std::string_view utf8) noexcept {
    for (std::size_t i = 0; i < utf8.size();) {
        Decoded d = decode(utf8, i);
        if (!d.valid || !(i == 0 ? name_start(d.c) : name_char(d.c))) return false;
        i += d.size;
    }
    return !utf8.empty();
}

std::size_t xml_name_into(char *out, std::size_t room, std::string_view utf8, bool &whole) noexcept {
    if (is_xml_name(utf8)) {
        std::size_t n = std::min(room, utf8.size());
        whole = n == utf8.size();
        std::copy(utf8.data(), utf8.data() + n, out);
        return n;
    }
    std::size_t n = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        Decoded d = decode(utf8, i);
        char unit[12];
        std::size_t size;
        bool kept = d.valid && (i == 0 ? name_start(d.c) : name_char(d.c)) &&
                    !(d.c == '_' && encoded_form_at(utf8, i));
        if (kept) {
            size = put_utf8(unit, d.c);
        } else {
            const int digits = d.c > 0xFFFF ? 8 : 4;
            unit[0] = '_';
            unit[1] = 'x';
            for (int k = 0; k < digits; ++k)
                unit[2 + k] = "0123456789ABCDEF"[(d.c >> (4 * (digits - 1 - k))) & 0xF];
            unit[2 + digits] = '_';
            size = static_cast<std::size_t>(digits) + 3;
        }
        if (!put_unit(out, room, n, unit, size, whole)) return n;
        i += d.size;
    }
    return n;
}

}  // namespace gridquill::detail
