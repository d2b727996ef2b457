// The error text of each state, its messages on stderr, and the shared refusals.
#include "errors.hpp"

#include <cerrno>
#include <cstdio>

namespace gridquill::detail {

namespace {

void set_error(WriterState &w, std::initializer_list<std::string_view> parts) noexcept {
    w.errorText.clear();
    for (std::string_view p : parts) w.errorText.append(p);
}

}  // namespace

int fail(WriterState &w, std::initializer_list<std::string_view> parts) noexcept {
    set_error(w, parts);
    w.errorErrno = 0;
    std::fputs(w.errorText.c_str(), stderr);
    return kNo;
}

int fail_open(WriterState &w, std::initializer_list<std::string_view> parts) noexcept {
    int err = errno;
    set_error(w, parts);
    w.errorErrno = err;
    errno = err;
    std::perror(w.errorText.c_str());
    return kNo;
}

void clear_error(WriterState &w) noexcept {
    w.errorText.clear();
    w.errorErrno = 0;
}

int refuse_no_sheet(WriterState &w, std::string_view call) noexcept {
    if (!w.out.is_open()) return fail(w, {"Nessuna cartella di lavoro aperta per ", call, "().\n"});
    return fail(w, {"Nessun foglio aperto per ", call, "().\n"});
}

}  // namespace gridquill::detail

using namespace gridquill::detail;

extern "C" const char *xlsGetError(void) noexcept {
    if (!attached()) return kNoState;
    return current().errorText.c_str();
}

extern "C" int xlsGetErrno(void) noexcept {
    if (!attached()) return ENOMEM;
    return current().errorErrno;
}
