// Pieces of a line put at a place the output reserved: texts, numbers, and fixed pieces
// padded so that they are copied as whole blocks.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstring>
#include <string_view>

namespace gridquill::detail {

inline char *put(char *o, std::string_view s) noexcept {
    std::memcpy(o, s.data(), s.size());
    return o + s.size();
}

inline char *put_int(char *o, long long v) noexcept { return std::to_chars(o, o + 24, v).ptr; }

// A fixed piece of a line, padded to N bytes; its length is kept in the last byte.
template <std::size_t N>
struct alignas(16) Piece {
    char text[N - 1];
    unsigned char size;
};

template <std::size_t N>
constexpr Piece<N> piece(std::string_view s) noexcept {
    Piece<N> p{};
    for (std::size_t i = 0; i < s.size(); ++i) p.text[i] = s[i];
    p.size = static_cast<unsigned char>(s.size());
    return p;
}

// Puts a piece; the padding lands where the line goes on next.
template <std::size_t N>
inline char *put_piece(char *o, const Piece<N> &p) noexcept {
    std::memcpy(o, &p, N);
    return o + p.size;
}

}  // namespace gridquill::detail
