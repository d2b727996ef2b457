// The file a merge reads, by its descriptor: the merge reads it into buffers of its own.
#pragma once

#include <cstddef>

namespace gridquill::detail {

class Input {
public:
    // Opens `path` for reading; false with errno set.
    bool open(const char *path) noexcept;
    bool is_open() const noexcept { return fd_ >= 0; }
    int fd() const noexcept { return fd_; }

    // Reads up to n bytes, fewer only at the end of the file or on a failed read; the bytes
    // read.
    std::size_t read(char *to, std::size_t n) noexcept;
    // Back to the first byte; false with errno set.
    bool rewind() noexcept;
    // A read failed: its errno, else 0.
    int error() const noexcept { return error_; }

    void close() noexcept;

private:
    int fd_ = -1;
    int error_ = 0;
};

}  // namespace gridquill::detail
