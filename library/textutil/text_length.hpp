// The length of a C text, measured inline: a cell's value is short, and a call to the C
// library's strlen costs more than the measuring.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace gridquill::detail {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define GRIDQUILL_WHOLE_BLOCK_READS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define GRIDQUILL_WHOLE_BLOCK_READS 0
#endif
#endif
#if !defined(GRIDQUILL_WHOLE_BLOCK_READS) && defined(__SSE2__)
#define GRIDQUILL_WHOLE_BLOCK_READS 1
#elif !defined(GRIDQUILL_WHOLE_BLOCK_READS)
#define GRIDQUILL_WHOLE_BLOCK_READS 0
#endif

// strlen(s). The aligned 16-byte blocks from the one that holds s up to the terminator are
// read whole, as the C library's strlen reads them: such a block never crosses a page, so
// the bytes around the text that it takes in are readable, and they are masked off. A
// sanitizer would report those bytes, so under one (or without SSE2) strlen is called.
[[gnu::always_inline]] inline std::size_t text_length(const char *s) noexcept {
#if GRIDQUILL_WHOLE_BLOCK_READS
    const auto address = reinterpret_cast<std::uintptr_t>(s);
    const auto *block = reinterpret_cast<const __m128i *>(address & ~std::uintptr_t{15});
    const __m128i zero = _mm_setzero_si128();
    // Bits of the terminators in the first block, from s on.
    unsigned ends =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(block), zero))) >>
        (address & 15);
    if (ends != 0) [[likely]]
        return static_cast<std::size_t>(__builtin_ctz(ends));
    for (;;) {
        ++block;
        ends =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_load_si128(block), zero)));
        if (ends != 0)
            return static_cast<std::size_t>(reinterpret_cast<const char *>(block) +
                                            __builtin_ctz(ends) - s);
    }
#else
    return std::strlen(s);
#endif
}

}  // namespace gridquill::detail
