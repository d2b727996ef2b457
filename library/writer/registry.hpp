// Registry of names (style IDs, sheet names, sheets to leave out): exact whole-name
// membership in fixed memory, with a hash index so a lookup costs the same when full.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace gridquill::detail {

template <std::size_t MaxEntries, std::size_t MaxLength>
class Registry {
    static constexpr std::size_t slots = [] {
        std::size_t s = 1;
        while (s < 2 * MaxEntries) s <<= 1;
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

    bool contains(std::string_view name) const noexcept {
        if (name.size() > MaxLength) return false;
        for (std::size_t s = hash(name) & (slots - 1);; s = (s + 1) & (slots - 1)) {
            std::uint16_t e = index_[s];
            if (e == 0) return false;
            if (equals(e - 1, name)) return true;
        }
    }

    Add add(std::string_view name) noexcept {
        if (name.size() > MaxLength) return Add::too_long;
        std::size_t s = hash(name) & (slots - 1);
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
    static std::size_t hash(std::string_view s) noexcept {
        std::uint32_t h = 2166136261u;  // FNV-1a
        for (unsigned char c : s) h = (h ^ c) * 16777619u;
        return h;
    }
    bool equals(std::size_t i, std::string_view s) const noexcept {
        return lengths_[i] == s.size() && std::memcmp(names_[i], s.data(), s.size()) == 0;
    }

    std::size_t count_ = 0;
    std::uint16_t index_[slots] = {};
    std::uint8_t lengths_[MaxEntries] = {};
    char names_[MaxEntries][MaxLength] = {};
};

}  // namespace gridquill::detail
