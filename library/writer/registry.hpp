// Registry of names (style IDs, sheet names, sheets to leave out): exact whole-name
// membership in fixed memory, with a hash index so a lookup costs the same when full.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace gridquill::detail {

template <std::size_t MaxEntries, std::size_t MaxLength>
class Registry {
    // At most a quarter of the slots in use, so that a lookup in a full registry seldom
    // probes a second slot.
    static constexpr std::size_t slots = [] {
        std::size_t s = 1;
        while (s < 4 * MaxEntries) s <<= 1;
        return s;
    }();
    static_assert(MaxEntries < 65535 && MaxLength < 256);

public:
    static constexpr std::size_t max_entries = MaxEntries;
    static constexpr std::size_t max_length = MaxLength;

    enum class Add { added, duplicate, too_long, full };

    void clear() noexcept {
        count_ = 0;
        std::memset(index_, 0, sizeof index_);
    }

    // Bytes readable from a name find returns: the name, then scratch.
    static constexpr std::size_t stored_size = MaxLength + 1;

    bool contains(std::string_view name) const noexcept { return find(name) != nullptr; }

    // The registry's own copy of a registered name (stored_size bytes), or null.
    const char *find(std::string_view name) const noexcept {
        if (name.size() > MaxLength) return nullptr;
        for (std::size_t s = slot(name);; s = (s + 1) & (slots - 1)) {
            std::uint16_t e = index_[s];
            if (e == 0) return nullptr;
            if (equals(e - 1, name)) return names_[e - 1];
        }
    }

    Add add(std::string_view name) noexcept {
        if (name.size() > MaxLength) return Add::too_long;
        std::size_t s = slot(name);
        for (; index_[s] != 0; s = (s + 1) & (slots - 1))
            if (equals(index_[s] - 1, name)) return Add::duplicate;
        if (count_ == MaxEntries) return Add::full;
        std::memcpy(names_[count_], name.data(), name.size());
        lengths_[count_] = static_cast<std::uint8_t>(name.size());
        index_[s] = static_cast<std::uint16_t>(++count_);
        return Add::added;
    }

    std::size_t size() const noexcept { return count_; }
    std::string_view at(std::size_t i) const noexcept { return {names_[i], lengths_[i]}; }

private:
    static constexpr int slot_bits = std::countr_zero(slots);

    static std::uint64_t word(const char *p) noexcept {
        std::uint64_t w;
        std::memcpy(&w, p, sizeof w);
        return w;
    }
    static std::uint64_t half(const char *p) noexcept {
        std::uint32_t w;
        std::memcpy(&w, p, sizeof w);
        return w;
    }
    // Up to 8 bytes as one number that tells them apart: two overlapping halves from 4
    // bytes on, else the first, middle and last byte.
    static std::uint64_t tail(const char *p, std::size_t n) noexcept {
        if (n >= 4) return half(p) | half(p + n - 4) << 32;
        if (n == 0) return 0;
        return static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[n / 2]) << 8 |
               static_cast<unsigned char>(p[n - 1]) << 16;
    }
    // First slot of a name: multiplicative hashing of its 8-byte words, top bits taken.
    static std::size_t slot(std::string_view s) noexcept {
        constexpr std::uint64_t k = 0x9E3779B97F4A7C15u;
        const char *p = s.data();
        std::size_t n = s.size();
        std::uint64_t h = (n + 1) * k;
        for (; n > 8; p += 8, n -= 8) h = (h ^ word(p)) * k;
        h = (h ^ tail(p, n)) * k;
        return static_cast<std::size_t>(h >> (64 - slot_bits));
    }
    bool equals(std::size_t i, std::string_view s) const noexcept {
        if (lengths_[i] != s.size()) return false;
        const char *a = names_[i], *b = s.data();
        std::size_t n = s.size();
        for (; n > 8; a += 8, b += 8, n -= 8)
            if (word(a) != word(b)) return false;
        return tail(a, n) == tail(b, n);
    }

    std::size_t count_ = 0;
    std::uint16_t index_[slots] = {};
    std::uint8_t lengths_[MaxEntries] = {};
    char names_[MaxEntries][stored_size] = {};
};

}  // namespace gridquill::detail
