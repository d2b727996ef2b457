// The merge input's file: reads that retry until the bytes asked for or the end.
#include "input.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace gridquill::detail {

bool Input::open(const char *path) noexcept {
    close();
    fd_ = ::open(path, O_RDONLY | O_CLOEXEC);
    return fd_ >= 0;
}

std::size_t Input::read(char *to, std::size_t n) noexcept {
    std::size_t done = 0;
    while (done < n && fd_ >= 0 && error_ == 0) {
        ssize_t got = ::read(fd_, to + done, n - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) error_ = errno;
        if (got <= 0) break;
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool Input::rewind() noexcept {
    error_ = 0;
    return lseek(fd_, 0, SEEK_SET) == 0;
}

void Input::close() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    error_ = 0;
}

}  // namespace gridquill::detail
