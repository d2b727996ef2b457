// Text services used inside the library: Latin-1 to UTF-8 conversion and bounded
// replacement with the cut points of the exported services, into caller arrays.
#pragma once

#include <cstddef>
#include <string_view>

namespace gridquill::detail {

constexpr std::size_t kServiceBufferSize = 4000;  // result arrays, terminator included
constexpr std::size_t kUtf8StopAt = 3996;         // no input byte is taken from here on
constexpr std::size_t kReplaceLimit = 4000;       // a piece is taken only below this total
constexpr std::size_t kReplaceTailLimit = 3998;   // the unreplaced rest stops here
constexpr std::size_t kMaxPatternLength = 99;     // longer search/replacement: no-op

// Converts `in` into `out` (kServiceBufferSize bytes), terminated; returns the length.
std::size_t latin1_to_utf8(std::string_view in, char (&out)[kServiceBufferSize]) noexcept;

// Replaces `search` (not empty) by `replacement` in `str` into `out`, terminated, with
// the cut points of strnReplace; returns the length.
std::size_t replace_into(std::string_view str, std::string_view search,
                         std::string_view replacement,
                         char (&out)[kServiceBufferSize]) noexcept;

// Length of the longest prefix of an escaped value that is well-formed element content:
// it stops before a bare '<' or '>' and before an '&' that does not begin &amp; &lt; or
// &gt; (what a cut at the length limit can leave behind).
std::size_t well_formed_prefix(std::string_view escaped) noexcept;

}  // namespace gridquill::detail
