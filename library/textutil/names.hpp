// Names as readers compare and accept them: simple case folding of UTF-8 texts (sheet
// names differ by more than case), and the XML-name form of an ID (Office's _xHHHH_).
#pragma once

#include <cstddef>
#include <string_view>

#include "bounded_text.hpp"

namespace gridquill::detail {

// The simple case folding of one code point (U+0041 gives U+0061, U+1E9E gives U+00DF),
// in every script that has case; the code point itself when it has none.
char32_t fold_case(char32_t c) noexcept;

// Folds the UTF-8 text into `out` (at most `room` bytes, whole characters); the bytes
// written. Bytes that are not UTF-8 are copied as they are. `whole` says if all fitted.
std::size_t fold_into(char *out, std::size_t room, std::string_view utf8, bool &whole) noexcept;

template <std::size_t N>
bool append_folded(BoundedText<N> &out, std::string_view utf8) noexcept {
    return append_through(out, utf8, fold_into);
}

// Whether two texts are the same with ASCII letters compared without case, whatever the
// C locale says: for the names of the library's own keywords.
constexpr bool same_ignoring_ascii_case(std::string_view a, std::string_view b) noexcept {
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

// True for an ASCII text that is an XML name without a colon: the quick test of the IDs
// clients use.
constexpr bool plain_name(std::string_view s) noexcept {
    for (std::size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '-' || c == '.'))) return false;
    }
    return !s.empty();
}

// True when the UTF-8 text is an XML name without a colon, as an ss:ID must be.
bool is_xml_name(std::string_view utf8) noexcept;

// The UTF-8 text as an XML name: each character a name cannot hold there as _xHHHH_
// (_xHHHHHHHH_ beyond U+FFFF), an underscore that would read as the start of such a form
// as _x005F_; a text that is a name already is kept whole. Bytes that are not UTF-8 count
// as U+FFFD. `whole` says if all fitted.
std::size_t xml_name_into(char *out, std::size_t room, std::string_view utf8, bool &whole) noexcept;

template <std::size_t N>
bool append_xml_name(BoundedText<N> &out, std::string_view utf8) noexcept {
    return append_through(out, utf8, xml_name_into);
}

}  // namespace gridquill::detail
