// The writer's output: its own buffer and a sink, a file descriptor or the client's write
// function. Every byte of a workbook goes through here; drain() is the one place it leaves.
#pragma once

#include <climits>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "../gridquill.h"
#include "../textutil/bounded_text.hpp"

namespace gridquill::detail {

#ifdef PATH_MAX
constexpr std::size_t kMaxPath = PATH_MAX - 1;  // longer paths are refused, as the system does
#else
constexpr std::size_t kMaxPath = 4095;
#endif
using PathText = BoundedText<kMaxPath + 1>;

// True when a workbook written in atomic mode to `path` goes through a temporary file: a
// path that names a regular file or nothing yet.
bool writes_through_temporary(const char *path) noexcept;

class Output {
public:
    static constexpr std::size_t kBufferSize = 1 << 17;

    // Opens `path` for writing; in atomic mode through a temporary file beside it when
    // writes_through_temporary says so. False with errno set.
    bool open_file(const char *path, bool atomic) noexcept;
    // Opens the client's write function as the sink.
    void open_stream(xlsWriteFunction write, void *context) noexcept;

    bool is_open() const noexcept { return sink_ != Sink::none; }
    bool to_stream() const noexcept { return sink_ == Sink::stream; }
    bool temporary() const noexcept { return !tempPath_.empty(); }

    // Room for n bytes (at most kBufferSize) at the returned place; commit() says where
    // the bytes written there end. With no sink open the bytes are dropped.
    [[gnu::always_inline]] char *reserve(std::size_t n) noexcept {
        if (pos_ > end() - n) [[unlikely]]
            drain();
        return pos_;
    }
    void commit(char *end) noexcept { pos_ = end; }
    // Whether reserve(n) returns at once, without draining the buffer.
    bool has_room(std::size_t n) noexcept { return pos_ <= end() - n; }

    // Writes `text` when a sink is open.
    void write(std::string_view text) noexcept {
        if (sink_ == Sink::none || text.empty()) return;
        if (static_cast<std::size_t>(end() - pos_) >= text.size()) {
            std::memcpy(pos_, text.data(), text.size());
            pos_ += text.size();
            return;
        }
        write_long(text);
    }

    // Ends the output: false when a write, the sync or the close failed (errno set). A
    // temporary file is moved over its target when `commit` and all went well, else removed.
    bool close(bool commit) noexcept;
    // Ends an unfinished output: a stream's unwritten bytes are dropped without a call, a
    // file is left as far as written, a temporary file removed.
    void drop() noexcept;

    // The path the workbook goes to, as the client named it; empty for a stream.
    PathText path;

private:
    enum class Sink : unsigned char { none, file, stream };

    char *end() noexcept { return buffer_ + kBufferSize; }
    void drain() noexcept;
    void write_long(std::string_view text) noexcept;
    void send(const char *data, std::size_t size) noexcept;
    void start(Sink sink) noexcept;

    char *pos_ = buffer_;
    Sink sink_ = Sink::none;
    int fd_ = -1;
    xlsWriteFunction client_ = nullptr;
    void *context_ = nullptr;
    bool failed_ = false;  // a write failed: nothing more goes to the sink
    int error_ = 0;  // its errno
    PathText tempPath_;  // the temporary file of an atomic write; empty: none
    alignas(64) char buffer_[kBufferSize];
};

}  // namespace gridquill::detail
