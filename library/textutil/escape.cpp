// Client texts made safe for the workbook: each character read in the client's encoding
// and written in its escaped UTF-8 form; and the reverse, what a reader sees.
#include "escape.hpp"

#include <cstring>

namespace gridquill::detail {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool xml_char(char32_t c) noexcept {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
           (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}


// A UTF-8 sequence from a lead byte at `at`: true with its code point and length when
// well-formed; else false with the length of its maximal ill-formed part (at least 1).
bool read_utf8(std::string_view t, std::size_t at, char32_t &cp, unsigned &taken) noexcept {
    auto b = static_cast<unsigned char>(t[at]);
    unsigned need;
    char32_t c;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        need = 1;
        c = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        need = 2;
        c = b & 0x0F;
        if (b == 0xE0) lo = 0xA0;
        if (b == 0xED) hi = 0x9F;  // no surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        need = 3;
        c = b & 0x07;
        if (b == 0xF0) lo = 0x90;
        if (b == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
    } else {
        taken = 1;
        return false;
    }
    for (unsigned i = 1; i <= need; ++i) {
        if (at + i >= t.size()) {
            taken = i;
            return false;
        }
        auto n = static_cast<unsigned char>(t[at + i]);
        if (n < lo || n > hi) {
            taken = i;
            return false;
        }
        lo = 0x80;
        hi = 0xBF;
        c = (c << 6) | (n & 0x3F);
    }
    taken = need + 1;
    cp = c;
    return true;
}

int digit(char c, bool hex) noexcept {
    if (c >= '0' && c <= '9') return c - '0';
    if (!hex) return -1;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Length of the reference that starts at the '&' at `at`, when it is one of the five
// predefined entities or a character reference to a character XML allows; else 0.
unsigned reference(std::string_view t, std::size_t at, char32_t &cp) noexcept {
    std::string_view r = t.substr(at + 1, kMaxUnitBytes - 1);
    constexpr struct {
        std::string_view name;
        char32_t c;
    } kEntities[] = {{"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};
    for (const auto &e : kEntities)
        if (r.starts_with(e.name)) {
            cp = e.c;
            return static_cast<unsigned>(1 + e.name.size());
        }
    if (r.size() < 3 || r[0] != '#') return 0;
    bool hex = r[1] == 'x';
    std::size_t i = hex ? 2 : 1, digits = 0;
    char32_t v = 0;
    for (int d; i < r.size() && (d = digit(r[i], hex)) >= 0; ++i, ++digits) {
        v = v * (hex ? 16 : 10) + static_cast<char32_t>(d);
        if (v > 0x10FFFF) return 0;
    }
    if (digits == 0 || i >= r.size() || r[i] != ';' || !xml_char(v)) return 0;
    cp = v;
    return static_cast<unsigned>(i + 2);
}

void set(Unit &u, std::string_view s) noexcept {
    std::memcpy(u.out, s.data(), s.size());
    u.size = static_cast<unsigned char>(s.size());
}

std::string_view without_bom(std::string_view t, Encoding e) noexcept {
    return e == Encoding::utf8 && t.starts_with(kByteOrderMark) ? t.substr(kByteOrderMark.size()) : t;
}

}  // namespace

Unit next_unit(std::string_view t, std::size_t at, Place place, Source source,
               Encoding encoding) noexcept {
    Unit u{};
    u.in = 1;
    u.utf16 = 1;
    auto b = static_cast<unsigned char>(t[at]);
    if (b < 0x80) {
        switch (b) {
        case '&':
            if (source != Source::cell) {
                char32_t cp = 0;
                if (unsigned n = reference(t, at, cp); n != 0) {
                    set(u, t.substr(at, n));
                    u.in = n;
                    u.utf16 = cp > 0xFFFF ? 2 : 1;
                    return u;
                }
            }
            set(u, "&amp;");
            return u;
        case '<': set(u, "&lt;"); return u;
        case '>':
            set(u, source == Source::cell || (place == Place::content && at >= 2 &&
                                              t[at - 1] == ']' && t[at - 2] == ']')
                       ? "&gt;"
                       : ">");
            return u;
        case '"': set(u, place == Place::attribute ? "&quot;" : "\""); return u;
        default: break;
        }
        if (b >= 0x20) {
            u.out[0] = static_cast<char>(b);
            u.size = 1;
            return u;
        }
        if (source == Source::page && encoding != Encoding::utf8) {
            set(u, " ");
        } else if (source == Source::cell && (b == '\n' || b == '\r')) {
            set(u, "&#10;");  // a line break the reader shows
            if (b == '\r' && at + 1 < t.size() && t[at + 1] == '\n') u.in = 2;
        } else {
            u.out[0] = b == '\t' || b == '\n' || b == '\r' ? static_cast<char>(b) : ' ';
            u.size = 1;
        }
        return u;
    }
    if (encoding == Encoding::utf8 || source == Source::markup) {
        char32_t cp = 0;
        unsigned taken = 1;
        if (read_utf8(t, at, cp, taken) && cp != 0xFFFE && cp != 0xFFFF) {
            set(u, t.substr(at, taken));
            u.in = taken;
            u.utf16 = cp > 0xFFFF ? 2 : 1;
            return u;
        }
        if (encoding == Encoding::utf8) {
            set(u, kReplacement);
            u.in = taken;
            return u;
        }
    }
    char32_t c = encoding == Encoding::windows1252 ? windows1252_char(b) : b;
    u.size = static_cast<unsigned char>(put_utf8(u.out, c));
    return u;
}

std::size_t escape_into(char *out, std::size_t room, std::string_view text, Place place,
                        Source source, Encoding encoding, bool &whole) noexcept {
    text = without_bom(text, encoding);
    std::size_t n = 0;
    for (std::size_t i = 0; i < text.size();) {
        Unit u = next_unit(text, i, place, source, encoding);
        if (u.size > room - n) {
            whole = false;
            break;
        }
        std::memcpy(out + n, u.out, u.size);
        n += u.size;
        i += u.in;
    }
    return n;
}

std::size_t text_cut(std::string_view text, std::size_t max, Source source,
                     Encoding encoding) noexcept {
    std::string_view body = without_bom(text, encoding);
    std::size_t i = text.size() - body.size(), count = 0;
    bool byChars = encoding != Encoding::latin1;
    while (i < text.size()) {
        Unit u = next_unit(text, i, Place::attribute, source, encoding);
        std::size_t add = byChars ? 1 : u.in;
        if (count + add > max) break;
        count += add;
        i += u.in;
    }
    return i;
}

std::size_t decode_into(char *out, std::size_t room, std::string_view e, bool &whole) noexcept {
    std::size_t n = 0;
    for (std::size_t i = 0; i < e.size();) {
        char buf[4];
        unsigned size = 1, in = 1;
        char c = e[i];
        char32_t cp = 0;
        unsigned ref = c == '&' ? reference(e, i, cp) : 0;
        if (ref != 0) {
            size = put_utf8(buf, cp);
            in = ref;
        } else {
            buf[0] = c == '\t' || c == '\n' || c == '\r' ? ' ' : c;
            if (c == '\r' && i + 1 < e.size() && e[i + 1] == '\n') in = 2;  // one line end
        }
        if (size > room - n) {
            whole = false;
            break;
        }
        std::memcpy(out + n, buf, size);
        n += size;
        i += in;
    }
    return n;
}

}  // namespace gridquill::detail
