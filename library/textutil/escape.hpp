// Client texts made safe for the workbook: entities, control bytes, and the reading of
// bytes from 0x80 up in the client's encoding, without cutting inside a character.
#pragma once

#include <cstddef>
#include <string_view>

#include "bounded_text.hpp"

namespace gridquill::detail {

enum class Place { attribute, content };

// How the client's texts are read.
enum class Encoding : unsigned char { latin1, windows1252, utf8 };

// What a text is, which decides how it is read.
enum class Source : unsigned char {
    markup,  // names, IDs, formulas, author, record fields: entity references kept, and
             // in the code-page modes a valid UTF-8 sequence too
    page,    // header and footer: in the code-page modes every byte from the code page and
             // every control byte a blank, then escaped like markup
    cell,    // a cell value of the new modes: every '&' escaped, line breaks as &#10;
};

// True when a text is its own escaped form in every place and encoding: printable ASCII
// without '&', '<', '>' and '"'.
constexpr bool plain_text(std::string_view s) noexcept {
    for (char c : s) {
        auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x80 || b == '&' || b == '<' || b == '>' || b == '"') return false;
    }
    return true;
}

// Longest escaped form of one character of a client text ("&quot;", a kept reference).
constexpr std::size_t kMaxUnitBytes = 12;

// One character of a client text: the input bytes it takes, its escaped form and its
// length in UTF-16 units (0 for a dropped byte-order mark).
struct Unit {
    unsigned in;
    unsigned char size;
    unsigned char utf16;
    char out[kMaxUnitBytes + 2];
};

// Puts the UTF-8 form of code point `c` at `o`; its length, 1 to 4.
constexpr unsigned put_utf8(char *o, char32_t c) noexcept {
    if (c < 0x80) {
        o[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        o[0] = static_cast<char>(0xC0 | (c >> 6));
        o[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        o[0] = static_cast<char>(0xE0 | (c >> 12));
        o[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        o[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    o[0] = static_cast<char>(0xF0 | (c >> 18));
    o[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    o[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    o[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

// The character a Windows-1252 byte stands for: the code page's own from 0x80 to 0x9F, the
// byte read as Latin-1 elsewhere and for the five bytes the code page leaves unassigned.
constexpr char32_t windows1252_char(unsigned char b) noexcept {
    constexpr char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    return b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : b;
}

// Reads the character at `at` (< text.size()).
Unit next_unit(std::string_view text, std::size_t at, Place place, Source source,
               Encoding encoding) noexcept;

// Escapes as much of `text` as fits `room` bytes at `out`, whole characters only; the
// bytes written. `whole` tells whether all of the text fitted.
std::size_t escape_into(char *out, std::size_t room, std::string_view text, Place place,
                        Source source, Encoding encoding, bool &whole) noexcept;

// Bytes of the longest prefix of `text` with at most `max` characters (the new modes)
// or bytes (Latin-1) that ends between two characters.
std::size_t text_cut(std::string_view text, std::size_t max, Source source,
                     Encoding encoding) noexcept;

// What a reader sees in an escaped attribute text: references replaced by their
// characters, tab, line feed, carriage return (and the two as one line end) by blanks.
// False when it did not fit.
template <std::size_t N>
bool append_decoded(BoundedText<N> &out, std::string_view escaped) noexcept;
std::size_t decode_into(char *out, std::size_t room, std::string_view escaped,
                        bool &whole) noexcept;

template <std::size_t N>
bool append_text(BoundedText<N> &out, std::string_view text, Place place, Source source,
                 Encoding encoding) noexcept {
    bool whole = true;
    out.commit(escape_into(out.tail(), out.room(), text, place, source, encoding, whole), !whole);
    return whole;
}

// Appends `text`, a client text read in `encoding`, made safe for `place`; never cuts
// inside a character or an entity reference; true when all of it fitted.
template <std::size_t N>
bool append_escaped(BoundedText<N> &out, std::string_view text, Place place,
                    Encoding encoding) noexcept {
    return append_text(out, text, place, Source::markup, encoding);
}

// Escapes `text` into `field` whole, or leaves the field empty and says so.
template <std::size_t N>
bool keep_escaped(BoundedText<N> &field, std::string_view text, Place place,
                  Encoding encoding) noexcept {
    field.clear();
    if (append_escaped(field, text, place, encoding)) return true;
    field.clear();
    return false;
}

template <std::size_t N>
bool append_decoded(BoundedText<N> &out, std::string_view escaped) noexcept {
    return append_through(out, escaped, decode_into);
}

}  // namespace gridquill::detail
