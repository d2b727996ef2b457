// Fixed-capacity text: appends clamp to the array, the text stays terminated, and a cut
// is remembered. All fragments the library formats are assembled in these.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace gridquill::detail {

template <std::size_t N>
class BoundedText {
    static_assert(N >= 1);

public:
    static constexpr std::size_t capacity = N - 1;  // characters, terminator excluded

    BoundedText() noexcept { data_[0] = '\0'; }

    void clear() noexcept {
        size_ = 0;
        cut_ = false;
        data_[0] = '\0';
    }
    BoundedText &assign(std::string_view s) noexcept {
        clear();
        return append(s);
    }
    BoundedText &append(std::string_view s) noexcept {
        std::size_t room = capacity - size_;
        std::size_t n = s.size();
        if (n > room) {
            n = room;
            cut_ = true;
        }
        if (n != 0) std::memcpy(data_ + size_, s.data(), n);
        size_ += n;
        data_[size_] = '\0';
        return *this;
    }
    BoundedText &append(char c) noexcept { return append(std::string_view(&c, 1)); }
    BoundedText &append_int(long long v) noexcept {
        char digits[24];
        auto r = std::to_chars(digits, digits + sizeof digits, v);
        return append(std::string_view(digits, static_cast<std::size_t>(r.ptr - digits)));
    }
    // Drops everything from position n on.
    void truncate(std::size_t n) noexcept {
        if (n < size_) {
            size_ = n;
            data_[size_] = '\0';
        }
    }

    // Room for a writer that fills the end itself: it writes at most room() bytes at
    // tail(), then commits how many, and whether it left something out.
    char *tail() noexcept { return data_ + size_; }
    std::size_t room() const noexcept { return capacity - size_; }
    void commit(std::size_t n, bool cut) noexcept {
        size_ += n;
        data_[size_] = '\0';
        cut_ = cut_ || cut;
    }

    const char *c_str() const noexcept { return data_; }
    std::string_view view() const noexcept { return {data_, size_}; }
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    bool was_cut() const noexcept { return cut_; }

private:
    char data_[N];
    std::size_t size_ = 0;
    bool cut_ = false;
};

// Length of a text held in a fixed field that may fill the field without a terminator.
template <std::size_t N>
constexpr std::string_view field_view(const char (&field)[N]) noexcept {
    std::size_t n = 0;
    while (n < N && field[n] != '\0') ++n;
    return {field, n};
}

// Copies `s` into a fixed field, at most N-1 characters, zero-filling the rest.
template <std::size_t N>
inline void set_field(char (&field)[N], std::string_view s) noexcept {
    std::size_t n = s.size() < N - 1 ? s.size() : N - 1;
    std::memcpy(field, s.data(), n);
    std::memset(field + n, 0, N - n);
}

// Appends `text` through an encoder that fills the end in place, of the form
// `std::size_t into(char *out, std::size_t room, std::string_view text, bool &whole)`;
// true when all of it fitted.
template <std::size_t N, typename Into>
bool append_through(BoundedText<N> &out, std::string_view text, Into into) noexcept {
    bool whole = true;
    out.commit(into(out.tail(), out.room(), text, whole), !whole);
    return whole;
}

// A C text argument, null taken as "".
inline std::string_view arg(const char *s) noexcept { return s ? std::string_view(s) : std::string_view(); }

}  // namespace gridquill::detail
