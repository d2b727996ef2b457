// Input texts to UTF-8: the code pages a CSV file comes in, and UTF-8 made valid.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace gqcsv {

enum class Encoding { utf8, windows1252, latin1 };

// The encoding called `name` (case-insensitive: "utf-8", "utf8", "windows-1252", "cp1252",
// "iso-8859-1", "latin-1", "latin1"); false when there is none of that name.
bool encoding_named(std::string_view name, Encoding &out) noexcept;

// `text` as UTF-8. ASCII and valid UTF-8 come back as they are; otherwise the result is
// built in `scratch`. From UTF-8, each maximal invalid subsequence becomes one U+FFFD and
// is counted in `replaced`; the five bytes Windows-1252 leaves undefined are read as
// Latin-1.
std::string_view to_utf8(std::string_view text, Encoding from, std::string &scratch,
                         std::size_t &replaced);

// Characters (code points) in valid UTF-8.
std::size_t characters(std::string_view utf8) noexcept;

}  // namespace gqcsv
