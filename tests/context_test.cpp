// Writer states per thread and per context (the stress test writes through them): a context
// moves between threads but is selected in one at a time, freeing one with a workbook open
// says so, and a state that cannot be allocated makes the calls fail with a message.
#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

#include "support.hpp"
#include "writer_util.hpp"

#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define GQ_OWN_ALLOCATOR 1  // ThreadSanitizer's runtime brings the allocation functions
#endif
#endif

// The library's states are aligned allocations: these replace them, failing on demand.
static std::atomic<bool> refuse_states{false};
#ifndef GQ_OWN_ALLOCATOR
void *operator new(std::size_t n, std::align_val_t a, const std::nothrow_t &) noexcept {
    auto align = static_cast<std::size_t>(a);
    return refuse_states ? nullptr : std::aligned_alloc(align, (n + align - 1) / align * align);
}
void *operator new(std::size_t n, std::align_val_t a) {
    if (void *p = operator new(n, a, std::nothrow)) return p;
    throw std::bad_alloc();
}
void operator delete(void *p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void *p, std::size_t, std::align_val_t) noexcept { std::free(p); }
#endif

using namespace gqtest;

namespace {

class Contexts : public TempDirTest {};

}  // namespace

TEST_F(Contexts, ThreadsAndContextsKeepTheirStateApart) {
    xlsContext *c = xlsNewContext();
    std::string err, mine = xlsGetError();
    std::thread([&] {
        EXPECT_EQ(xlsSelectContext(c), -1);
        err = stderr_of([] { xlsClose(); });
        EXPECT_STREQ(xlsGetError(), err.c_str());
        // A thread ending with its context selected lets it go.
    }).join();
    EXPECT_EQ(err, "Non si puo' chiudere Excel a questo punto.\n");
    EXPECT_EQ(xlsGetError(), mine);
    ASSERT_EQ(xlsSelectContext(c), -1);
    EXPECT_STREQ(xlsGetError(), err.c_str());
    ASSERT_EQ(xlsInit("open.xml", "T"), -1);
    ASSERT_EQ(xlsSelectContext(nullptr), -1);
    struct Case {
        int (*call)(xlsContext *);
        const char *message;
    } refused[] = {
        {xlsSelectContext, "Contesto in uso in un altro thread in xlsSelectContext().\n"},
        {xlsFreeContext, "Contesto in uso in un altro thread in xlsFreeContext().\n"},
    };
    for (const Case &r : refused) {
        std::atomic<int> stage{0};
        std::thread holder([&] {
            xlsSelectContext(c);
            for (stage = 1; stage != 2;) std::this_thread::yield();
            xlsSelectContext(nullptr);
        });
        while (stage != 1) std::this_thread::yield();
        EXPECT_EQ(stderr_of([&] { EXPECT_EQ(r.call(c), 0); }), r.message);
        stage = 2;
        holder.join();
    }
    EXPECT_EQ(xlsFreeContext(nullptr), -1);
    EXPECT_EQ(stderr_of([&] { EXPECT_EQ(xlsFreeContext(c), 0); }),
              "File 'open.xml' incompleto: contesto liberato prima di xlsClose().\n");
    EXPECT_EQ(without_created(read_file("open.xml")), prologue("T"));  // as far as written
    xlsContext *d = xlsNewContext();
    xlsSelectContext(d), xlsSetAtomic(1), xlsInit("atomic.xml", "T"), xlsSelectContext(nullptr);
    EXPECT_EQ(stderr_of([&] { EXPECT_EQ(xlsFreeContext(d), 0); }),
              "File 'atomic.xml' non sostituito: contesto liberato prima di xlsClose().\n");
    EXPECT_FALSE(std::filesystem::exists("atomic.xml"));
}

TEST_F(Contexts, AStateThatCannotBeAllocatedFailsEveryCall) {
#ifdef GQ_OWN_ALLOCATOR
    GTEST_SKIP() << "the sanitizer's allocator is in place: no failure to make";
#endif
    const std::string message = "Memoria insufficiente per lo stato della cartella di lavoro.\n";
    std::thread([&] {
        refuse_states = true;
        EXPECT_EQ(stderr_of([] { EXPECT_EQ(xlsInit("no.xml", "T"), 0); }), message);
        stderr_of([&] {
            EXPECT_STREQ(xlsGetError(), message.c_str());
            EXPECT_EQ(xlsGetPosition(), nullptr);
            EXPECT_STREQ(AsciiToUtf8("x"), "");
            EXPECT_EQ(xlsNewContext(), nullptr);
        });
        refuse_states = false;
        EXPECT_EQ(xlsInit("yes.xml", "T"), -1);
        EXPECT_STREQ(xlsGetError(), "");
    }).join();
    EXPECT_FALSE(std::filesystem::exists("no.xml"));
    EXPECT_EQ(without_created(read_file("yes.xml")), prologue("T"));
}
