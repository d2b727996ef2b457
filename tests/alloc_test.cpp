// No heap allocation on the writing path: this program replaces the allocation functions
// and counts every call while a workbook of 100,000 cells is written.
#include <cerrno>
#include <cstdlib>
#include <new>
#include <string>

#include "support.hpp"

#if defined(__SANITIZE_ADDRESS__)
#define GQ_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GQ_SANITIZED 1
#endif
#endif

namespace {
long allocations = 0;  // calls of any allocation function
#ifdef GQ_SANITIZED
constexpr bool kCounting = false;
#else
constexpr bool kCounting = true;
#endif
}  // namespace

#ifndef GQ_SANITIZED
// The sanitizers bring their own allocator; everywhere else these replace glibc's entry
// points for the whole process, the library included, and count.
extern "C" {
void *__libc_malloc(std::size_t);
void *__libc_calloc(std::size_t, std::size_t);
void *__libc_realloc(void *, std::size_t);
void *__libc_memalign(std::size_t, std::size_t);
void __libc_free(void *);

void *malloc(std::size_t n) noexcept {
    ++allocations;
    return __libc_malloc(n);
}
void *calloc(std::size_t k, std::size_t n) noexcept {
    ++allocations;
    return __libc_calloc(k, n);
}
void *realloc(void *p, std::size_t n) noexcept {
    ++allocations;
    return __libc_realloc(p, n);
}
void *aligned_alloc(std::size_t a, std::size_t n) noexcept {
    ++allocations;
    return __libc_memalign(a, n);
}
int posix_memalign(void **p, std::size_t a, std::size_t n) noexcept {
    ++allocations;
    *p = __libc_memalign(a, n);
    return *p != nullptr ? 0 : ENOMEM;
}
void free(void *p) noexcept { __libc_free(p); }
}

void *operator new(std::size_t n) {
    ++allocations;
    if (void *p = __libc_malloc(n != 0 ? n : 1)) return p;
    throw std::bad_alloc();
}
void *operator new[](std::size_t n) { return operator new(n); }
void operator delete(void *p) noexcept { __libc_free(p); }
void operator delete[](void *p) noexcept { __libc_free(p); }
void operator delete(void *p, std::size_t) noexcept { __libc_free(p); }
void operator delete[](void *p, std::size_t) noexcept { __libc_free(p); }
#endif

using namespace gqtest;

namespace {

class Allocations : public TempDirTest {};

// Every kind of call after the open: styles, columns, cells of each type with every
// attribute, values cut at the limits, row breaks with attributes, a second worksheet and
// the close. Returns how many calls failed.
int write_workbook() {
    static char longValue[6000];
    for (std::size_t i = 0; i + 1 < sizeof longValue; ++i) longValue[i] = "a&<>\xE8"[i % 5];
    xlsStyle style = xlsStyleDefault;
    style.bold = '1';
    int failed = 0;
    auto call = [&](int result) { failed += result == 0; };
    call(xlsAddStyle(style, "bold"));
    for (const char *sheet : {"Uno", "Due"}) {
        call(xlsAddSheet(sheet, xlsSheetSetupDefault));
        call(xlsColumn(1, 80, "bold"));
        call(xlsColumn(2, 40, ""));
        for (int row = 0; row < 5000; ++row) {
            call(xlsWriteCell("Caff\xE8 & latte", 'S', ""));
            call(xlsWriteCell("1234.5", 'N', "num"));
            call(xlsWriteCell("2024-01-31T00:00:00", 'D', "date"));
            call(xlsWriteCellEx("0", 'n', "bold", "=SUM(RC[-3]:RC[-1])", 1, 1, 1));
            call(xlsWriteCellEx(row % 100 == 0 ? longValue : "<b>", 's', "txt", "", 0, 0, 0));
            for (int c = 0; c < 5; ++c) call(xlsWriteCell("Articolo", 'S', "txt"));
            call(row % 2 == 0 ? xlsNewLine() : xlsNewLineEx(1, 20, "bold"));
        }
    }
    call(xlsClose());
    return failed;
}

TEST_F(Allocations, NoneWhileAWorkbookOf100000CellsIsWritten) {
    ASSERT_EQ(xlsInit("out.xml", "T"), -1);
    long before = allocations;
    int failed = write_workbook();
    long during = allocations - before;
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(xml_error("out.xml"), "");
    if (!kCounting) GTEST_SKIP() << "the sanitizer's allocator is in place: nothing counted";
    EXPECT_EQ(during, 0);
    // The counting itself works: the workbook read back comes from the heap.
    before = allocations;
    std::string text = read_file("out.xml");
    EXPECT_GT(allocations, before) << text.size();
}

}  // namespace
