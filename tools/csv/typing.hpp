// What a CSV field becomes in the workbook: a Number, a DateTime (a date alone or with its
// time) or a String, and the text the cell is written with.
#pragma once

#include <cstddef>
#include <string_view>

namespace gqcsv {

enum class Kind { text, number, date, datetime };

// How dates are written besides ISO: day first (31/01/2024) or month first (01/31/2024).
enum class DateOrder { iso, dmy, mdy };

// The longest value text a Number or DateTime cell is written with.
constexpr std::size_t kTypedMax = 40;

struct Typed {
    Kind kind = Kind::text;
    char value[kTypedMax + 1] = {};  // the cell's text when kind is not text, terminated
};

// Decides what `field` is. Numbers: an optional '-', digits without a leading zero (a
// lone 0 aside) and an optional fraction after '.', at most 15 significant digits; with
// `decimalComma` the fraction follows ',' and the integer part may be grouped by '.' in
// threes ("1.234,56"). Dates: YYYY-MM-DD from 1900 on, with an optional time
// "THH:MM[:SS[.fff]]" or " HH:MM[:SS[.fff]]". Blanks around a field are ignored for the
// decision. Everything else, "+1", "1e5", "00123" and "0.5." included, stays text. With
// `dates` dmy or mdy, also day, month and a four-digit year joined by '/', '.' or '-' in
// that order ("31/01/2024", "31.01.2024 10:30"), the time as for ISO dates.
Typed classify(std::string_view field, bool decimalComma,
               DateOrder dates = DateOrder::iso) noexcept;

}  // namespace gqcsv
