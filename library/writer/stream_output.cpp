// Output through the client's write function: a C stream whose full buffers go to the
// callback, so that every other part of the writer, the cell path included, stays as it is.
#include <cerrno>
#include <cstdio>

#include "extras.hpp"

namespace gridquill::detail {

namespace {

#ifdef __GLIBC__
// Hands a block to the client; after a failed write, or once the workbook was dropped
// (write function gone), no more calls: the first failure stays the stream's.
ssize_t write_to_client(void *cookie, const char *data, std::size_t size) noexcept {
    auto *target = static_cast<StreamTarget *>(cookie);
    if (target->write == nullptr) return static_cast<ssize_t>(size);  // dropped: discarded
    if (target->failed) {
        errno = target->error;
        return 0;
    }
    errno = 0;
    int taken = target->write(target->context, data, size);
    if (taken >= 0 && static_cast<std::size_t>(taken) >= size) return static_cast<ssize_t>(size);
    target->failed = true;
    target->error = errno != 0 ? errno : EIO;
    errno = target->error;
    return taken > 0 ? taken : 0;
}
#endif

}  // namespace

std::FILE *open_client_stream(StreamTarget &target) noexcept {
    target.failed = false;
    target.error = 0;
#ifdef __GLIBC__
    cookie_io_functions_t functions{};
    functions.write = write_to_client;
    return fopencookie(&target, "w", functions);
#else
    errno = ENOSYS;
    return nullptr;
#endif
}

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" int xlsInitStream(xlsWriteFunction write, void *context, const char *author) noexcept {
    if (!attached()) return kNo;
    StreamTarget target{write, context};
    return start_workbook("", author, &target);
}
