// Latin-1 to UTF-8 conversion and bounded substring replacement into a caller's array,
// with the cut points of the exported text services.
#include "textutil.hpp"

#include <algorithm>
#include <cstring>
#include <functional>

#include "bounded_text.hpp"

namespace gridquill::detail {

std::size_t latin1_to_utf8(std::string_view in, char (&out)[kServiceBufferSize]) noexcept {
    std::size_t n = 0;
    for (unsigned char b : in) {
        if (n >= kUtf8StopAt) break;
        if (b < 0x20) {
            out[n++] = ' ';
        } else if (b < 0x80) {
            out[n++] = static_cast<char>(b);
        } else {
            out[n++] = static_cast<char>(0xC0 | (b >> 6));
            out[n++] = static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    out[n] = '\0';
    return n;
}

std::size_t replace_into(std::string_view str, std::string_view search,
                         std::string_view replacement,
                         char (&out)[kServiceBufferSize]) noexcept {
    std::size_t total = 0;
    std::size_t pos = 0;   // scan position
    std::size_t rest;      // where the unreplaced rest begins
    for (;;) {
        std::size_t at = str.find(search, pos);
        if (at == std::string_view::npos) {
            rest = pos;
            break;
        }
        std::size_t d = at - pos;
        if (d > 0) {
            if (total + d >= kReplaceLimit) {
                rest = pos;
                break;
            }
            std::memcpy(out + total, str.data() + pos, d);
            total += d;
        }
        if (!replacement.empty()) {
            if (total + replacement.size() >= kReplaceLimit) {
                rest = at;
                break;
            }
            std::memcpy(out + total, replacement.data(), replacement.size());
            total += replacement.size();
        }
        pos = at + search.size();
    }
    if (total < kReplaceTailLimit) {
        std::size_t n = str.size() - rest;
        if (n > kReplaceTailLimit - total) n = kReplaceTailLimit - total;
        std::memcpy(out + total, str.data() + rest, n);
        total += n;
    }
    out[total] = '\0';
    return total;
}

std::size_t well_formed_prefix(std::string_view s) noexcept {
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '<' || c == '>') return i;
        if (c == '&') {
            std::string_view r = s.substr(i + 1);
            if (r.starts_with("amp;")) i += 4;
            else if (r.starts_with("lt;") || r.starts_with("gt;")) i += 3;
            else return i;
        }
    }
    return s.size();
}

}  // namespace gridquill::detail
