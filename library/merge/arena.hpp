// A fixed block of memory handed out as the parser's heap: first fit over blocks kept in
// address order, neighbours joined when freed. Nothing is taken from the system: a request
// the block cannot hold fails, and the parser reports it as out of memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace gridquill::detail {

template <std::size_t Size>
class Arena {
public:
    void reset() noexcept {
        Header *h = at(0);
        h->size = Size - sizeof(Header);
        h->free = true;
    }

    void *allocate(std::size_t n) noexcept {
        n = round(n);
        for (std::size_t off = 0; off < Size; off += sizeof(Header) + at(off)->size) {
            Header *h = at(off);
            if (!h->free) continue;
            join_following(off);
            if (h->size < n) continue;
            split(off, n);
            h->free = false;
            return h + 1;
        }
        return nullptr;
    }

    void release(void *p) noexcept {
        if (p == nullptr) return;
        Header *h = static_cast<Header *>(p) - 1;
        h->free = true;
        join_following(offset(h));
    }

    void *resize(void *p, std::size_t n) noexcept {
        if (p == nullptr) return allocate(n);
        Header *h = static_cast<Header *>(p) - 1;
        std::size_t off = offset(h), want = round(n);
        // Grown in place over a free neighbour when it has room.
        std::size_t next = off + sizeof(Header) + h->size;
        if (next < Size && at(next)->free) {
            join_following(next);
            std::size_t room = h->size + sizeof(Header) + at(next)->size;
            if (room >= want) {
                h->size = room;
                split(off, want);
                return p;
            }
        }
        if (h->size >= want) return p;
        void *q = allocate(n);
        if (q == nullptr) return nullptr;
        std::memcpy(q, p, h->size);
        release(p);
        return q;
    }

private:
    struct alignas(16) Header {
        std::size_t size;  // bytes after the header
        bool free;
    };
    static std::size_t round(std::size_t n) noexcept { return (n + 15) & ~std::size_t{15}; }
    Header *at(std::size_t off) noexcept { return reinterpret_cast<Header *>(bytes_ + off); }
    std::size_t offset(Header *h) noexcept {
        return static_cast<std::size_t>(reinterpret_cast<unsigned char *>(h) - bytes_);
    }
    void join_following(std::size_t off) noexcept {
        Header *h = at(off);
        for (std::size_t next = off + sizeof(Header) + h->size; next < Size && at(next)->free;
             next = off + sizeof(Header) + h->size)
            h->size += sizeof(Header) + at(next)->size;
    }
    // Leaves `n` bytes in the block at `off`, the rest a free block of its own.
    void split(std::size_t off, std::size_t n) noexcept {
        Header *h = at(off);
        if (h->size < n + sizeof(Header) + 16) return;
        Header *rest = at(off + sizeof(Header) + n);
        rest->size = h->size - n - sizeof(Header);
        rest->free = true;
        h->size = n;
    }

    alignas(16) unsigned char bytes_[Size];
};

}  // namespace gridquill::detail
