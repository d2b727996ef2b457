// The writer's output: the buffer handed to a file descriptor or to the client's write
// function, and the atomic mode's temporary file, moved over its target by a good close.
#include "output.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace gridquill::detail {

namespace {

constexpr std::size_t kNameMax = 255;  // bytes of one name in a path

// The last name of a path, and what comes before it (with its slash).
std::string_view directory_of(std::string_view path) noexcept {
    std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

// `path` with its symbolic links followed, so that the rename replaces the file a link
// leads to and keeps the link. False (errno set) for a loop or an overlong result.
bool follow_links(const char *path, PathText &out) noexcept {
    out.assign(path);
    for (int hop = 0; hop < 40; ++hop) {
        char link[kMaxPath + 1];
        ssize_t n = readlink(out.c_str(), link, sizeof link - 1);
        if (n < 0) return true;  // not a link (or missing): the open says what is wrong
        std::string_view target(link, static_cast<std::size_t>(n));
        if (target.front() == '/') {
            out.assign(target);
        } else {
            out.truncate(directory_of(out.view()).size());
            out.append(target);
        }
        if (out.was_cut()) {
            errno = ENAMETOOLONG;
            return false;
        }
    }
    errno = ELOOP;
    return false;
}

// The temporary name for an attempt: ".<name>.gridquill-<pid>.tmp" beside `target`, "-<n>"
// after the pid from the second attempt on; the name is shortened so that the whole stays
// one name.
bool temporary_name(const PathText &target, int attempt, PathText &out) noexcept {
    std::string_view dir = directory_of(target.view());
    std::string_view name = target.view().substr(dir.size());
    constexpr std::size_t kRoom = kNameMax - sizeof(".gridquill--2147483648-999.tmp");
    if (name.size() > kRoom) {
        std::size_t n = kRoom;
        while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80)
            --n;  // whole characters
        name = name.substr(0, n);
    }
    out.assign(dir).append(".").append(name).append(".gridquill-").append_int(getpid());
    if (attempt > 1) out.append("-").append_int(attempt);
    out.append(".tmp");
    return !out.was_cut();
}

// A new temporary file for `path`, with the mode of the file it replaces; its name in
// `out`, left empty on failure (errno set).
int open_temporary(const char *path, PathText &out) noexcept {
    PathText target;
    out.clear();
    if (!follow_links(path, target)) return -1;
    struct stat old {};
    const bool replacing = stat(target.c_str(), &old) == 0;
    for (int attempt = 1; attempt <= 100; ++attempt) {
        if (!temporary_name(target, attempt, out)) break;
        int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) continue;  // another writer's, or a dead process's
        if (fd < 0) {
            out.clear();
            return -1;
        }
        if (replacing) fchmod(fd, old.st_mode & 07777);
        return fd;
    }
    if (out.was_cut()) errno = ENAMETOOLONG;
    out.clear();
    return -1;
}

// Makes a rename in the directory of `target` durable; a directory that cannot be synced
// is no failure of the workbook, which is in place.
void sync_directory(const PathText &target) noexcept {
    std::string_view dir = directory_of(target.view());
    char path[kMaxPath + 1] = ".";
    if (!dir.empty()) {
        dir.copy(path, dir.size());
        path[dir.size()] = '\0';
    }
    int fd = open(path, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

bool writes_through_temporary(const char *path) noexcept {
    std::string_view p(path);
    if (p.empty() || p.back() == '/') return false;
    struct stat st {};
    if (stat(path, &st) == 0) return S_ISREG(st.st_mode);  // no devices, pipes or folders
    return errno == ENOENT;
}

void Output::start(Sink sink) noexcept {
    sink_ = sink;
    pos_ = buffer_;
    failed_ = false;
    error_ = 0;
}

bool Output::open_file(const char *path, bool atomic) noexcept {
    tempPath_.clear();
    fd_ = atomic && writes_through_temporary(path)
              ? open_temporary(path, tempPath_)
              : open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) return false;
    start(Sink::file);
    return true;
}

void Output::open_stream(xlsWriteFunction write, void *context) noexcept {
    tempPath_.clear();
    client_ = write;
    context_ = context;
    start(Sink::stream);
}

// Hands bytes to the sink. After a failed write nothing more goes out (a stream's
// function is not called again): the first failure is the output's.
void Output::send(const char *data, std::size_t size) noexcept {
    if (failed_ || size == 0) return;
    if (sink_ == Sink::stream) {
        errno = 0;
        int taken = client_(context_, data, size);
        if (taken >= 0 && static_cast<std::size_t>(taken) >= size) return;
        failed_ = true;
        error_ = errno != 0 ? errno : EIO;
        return;
    }
    while (size > 0) {
        ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed_ = true;
            error_ = n < 0 && errno != 0 ? errno : EIO;
            return;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

void Output::drain() noexcept {
    if (sink_ != Sink::none) send(buffer_, static_cast<std::size_t>(pos_ - buffer_));
    pos_ = buffer_;
}

// A text longer than the room left: the buffer goes out first, then a text that fills a
// whole buffer goes straight to the sink.
void Output::write_long(std::string_view text) noexcept {
    drain();
    if (text.size() >= kBufferSize) {
        send(text.data(), text.size());
        return;
    }
    std::memcpy(pos_, text.data(), text.size());
    pos_ += text.size();
}

bool Output::close(bool commit) noexcept {
    if (sink_ == Sink::none) return true;
    const bool temporary = !tempPath_.empty();
    if (!temporary || commit) drain();
    pos_ = buffer_;
    bool ok = !failed_;
    int err = error_;
    if (sink_ == Sink::file) {
        if (temporary && ok && commit && fsync(fd_) != 0) {
            err = errno;
            ok = false;
        }
        if (::close(fd_) != 0) {
            if (ok || err == 0) err = errno;
            ok = false;
        }
        fd_ = -1;
    }
    sink_ = Sink::none;
    client_ = nullptr;
    if (temporary) {
        PathText target;  // the links as they are now
        if (ok && commit &&
            (!follow_links(path.c_str(), target) ||
             std::rename(tempPath_.c_str(), target.c_str()) != 0)) {
            err = errno;
            ok = false;
        }
        if (ok && commit) sync_directory(target);
        else unlink(tempPath_.c_str());
        tempPath_.clear();
    }
    if (!ok) errno = err != 0 ? err : EIO;
    return ok;
}

void Output::drop() noexcept {
    if (sink_ == Sink::stream) {
        sink_ = Sink::none;
        client_ = nullptr;
        pos_ = buffer_;
        return;
    }
    int err = errno;
    close(false);
    errno = err;
}

}  // namespace gridquill::detail
