// Typing of CSV fields: numbers a spreadsheet keeps exactly, ISO dates and date-times.
#include "typing.hpp"

#include <cstring>

namespace gqcsv {

namespace {

// The most significant digits a spreadsheet keeps of a number.
constexpr int kSignificantMax = 15;

bool digit(char c) noexcept { return c >= '0' && c <= '9'; }

std::string_view trimmed(std::string_view s) noexcept {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// A number as the cell's text: '-', the integer digits, '.' and the fraction.
bool number(std::string_view s, bool decimalComma, Typed &out) noexcept {
    const char point = decimalComma ? ',' : '.';
    std::size_t i = 0, o = 0;
    auto put = [&](char c) {
        if (o < kTypedMax) out.value[o] = c;
        ++o;
    };
    if (i < s.size() && s[i] == '-') put(s[i++]);
    // Integer part, in groups of three after the first where they are separated.
    std::size_t start = i, groupDigits = 0;
    bool grouped = false;
    int significant = 0;
    for (; i < s.size() && s[i] != point; ++i) {
        char c = s[i];
        if (decimalComma && c == '.') {
            if (i == start || (grouped && groupDigits != 3) || (!grouped && groupDigits > 3))
                return false;
            grouped = true;
            groupDigits = 0;
            continue;
        }
        if (!digit(c)) return false;
        if (significant > 0 || c != '0') ++significant;
        ++groupDigits;
        put(c);
    }
    std::size_t integerDigits = o - (s[0] == '-' ? 1 : 0);
    if (integerDigits == 0 || (grouped && groupDigits != 3)) return false;
    if (integerDigits > 1 && s[start] == '0') return false;  // a leading zero: a code
    if (i < s.size()) {  // the fraction
        put('.');
        if (++i == s.size()) return false;
        for (; i < s.size(); ++i) {
            if (!digit(s[i])) return false;
            if (significant > 0 || s[i] != '0') ++significant;
            put(s[i]);
        }
    }
    if (significant > kSignificantMax || o > kTypedMax) return false;
    out.value[o] = '\0';
    out.kind = Kind::number;
    return true;
}

// n digits at s[at] as a number, or -1.
int digits(std::string_view s, std::size_t at, std::size_t n) noexcept {
    if (at + n > s.size()) return -1;
    int v = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (!digit(s[i])) return -1;
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

bool date(std::string_view s, Typed &out) noexcept {
    if (s.size() < 10 || s[4] != '-' || s[7] != '-') return false;
    int year = digits(s, 0, 4), month = digits(s, 5, 2), day = digits(s, 8, 2);
    if (year < 1900 || month < 1 || month > 12 || day < 1) return false;
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0)) return false;
    // YYYY-MM-DDTHH:MM:SS.fff, with the parts the field lacks as zeros.
    char *o = out.value;
    std::memcpy(o, s.data(), 10);
    std::memcpy(o + 10, "T00:00:00", 10);
    if (s.size() == 10) {
        out.kind = Kind::date;
        return true;
    }
    if ((s[10] != 'T' && s[10] != ' ') || s.size() < 16 || s[13] != ':') return false;
    int hour = digits(s, 11, 2), minute = digits(s, 14, 2), second = 0;
    std::size_t i = 16;
    if (i < s.size()) {
        if (s[i] != ':' || (second = digits(s, i + 1, 2)) < 0) return false;
        std::memcpy(o + 17, s.data() + i + 1, 2);
        i += 3;
    }
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second > 59) return false;
    std::memcpy(o + 11, s.data() + 11, 5);
    std::size_t end = 19;
    if (i < s.size()) {  // a fraction of a second, kept to the millisecond
        if (s[i] != '.' || i + 1 == s.size() || s.size() - i - 1 > 9) return false;
        o[end++] = '.';
        for (std::size_t k = i + 1; k < s.size(); ++k) {
            if (!digit(s[k])) return false;
            if (k - i <= 3) o[end++] = s[k];
        }
    }
    o[end] = '\0';
    out.kind = Kind::datetime;
    return true;
}

// A day-first or month-first date, with its time, rewritten in ISO form into `iso`
// (at most kTypedMax bytes); false when the field is not one.
bool ordered_date(std::string_view s, DateOrder order, char (&iso)[kTypedMax + 1],
                  std::size_t &size) noexcept {
    std::size_t i = 0;
    int parts[2] = {0, 0};
    char separator = 0;
    for (int &part : parts) {
        std::size_t from = i;
        while (i < s.size() && i - from < 2 && digit(s[i])) part = part * 10 + (s[i++] - '0');
        if (i == from || i == s.size() || (separator != 0 && s[i] != separator)) return false;
        separator = s[i++];
        if (separator != '/' && separator != '.' && separator != '-') return false;
    }
    int year = digits(s, i, 4);
    if (year < 0 || (i + 4 < s.size() && digit(s[i + 4]))) return false;
    int day = order == DateOrder::dmy ? parts[0] : parts[1];
    int month = order == DateOrder::dmy ? parts[1] : parts[0];
    std::string_view rest = s.substr(i + 4);
    if (rest.size() > kTypedMax - 10) return false;
    iso[0] = static_cast<char>('0' + year / 1000);
    iso[1] = static_cast<char>('0' + year / 100 % 10);
    iso[2] = static_cast<char>('0' + year / 10 % 10);
    iso[3] = static_cast<char>('0' + year % 10);
    iso[4] = iso[7] = '-';
    iso[5] = static_cast<char>('0' + month / 10);
    iso[6] = static_cast<char>('0' + month % 10);
    iso[8] = static_cast<char>('0' + day / 10);
    iso[9] = static_cast<char>('0' + day % 10);
    std::memcpy(iso + 10, rest.data(), rest.size());
    size = 10 + rest.size();
    return true;
}

}  // namespace

Typed classify(std::string_view field, bool decimalComma, DateOrder dates) noexcept {
    Typed t;
    std::string_view s = trimmed(field);
    if (s.empty()) return t;
    char iso[kTypedMax + 1];
    std::size_t isoSize = 0;
    if (dates != DateOrder::iso && digit(s[0]) && ordered_date(s, dates, iso, isoSize)) {
        if (!date({iso, isoSize}, t)) t.kind = Kind::text;
        return t;
    }
    if (digit(s[0]) && s.size() >= 10 && s[4] == '-') {
        if (!date(s, t)) t.kind = Kind::text;
        return t;
    }
    if (!number(s, decimalComma, t)) t.kind = Kind::text;
    return t;
}

}  // namespace gqcsv
