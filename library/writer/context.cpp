// The writer states: each thread's own, taken at its first call, and the contexts a client
// makes, selects and frees.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <new>

#include "errors.hpp"
#include "state.hpp"

// A writer state that a client made, selects and frees (xlsNewContext); each thread's own
// state is one too.
struct xlsContext {
    gridquill::detail::WriterState state;
    // Selected in some thread: no other thread may select or free it meanwhile.
    std::atomic<bool> taken{false};
    // The live contexts a client made, linked under liveLock.
    xlsContext *previous = nullptr, *next = nullptr;
};

// The README promises a workbook's state under 1 MiB.
static_assert(sizeof(xlsContext) < (1 << 20));

namespace gridquill::detail {

constinit thread_local WriterState *current_state = nullptr;

namespace {

// The calling thread's selected context, null while its own state is in use.
[[gnu::tls_model("initial-exec")]] constinit thread_local xlsContext *selected = nullptr;

// The calling thread's own state, given back when the thread ends. A client's thread-local
// destructor that calls the library after this one has run gets a new state, never given back.
struct OwnState {
    xlsContext *context = nullptr;
    ~OwnState();
};
[[gnu::tls_model("initial-exec")]] thread_local OwnState own;

// A new state with the built-in style IDs known, as at load; null when memory is short.
xlsContext *new_context() noexcept {
    auto *c = new (std::nothrow) xlsContext;
    if (c == nullptr) return nullptr;
    c->state.book.seed_style_ids();
    return c;
}

// Closes what a workbook left open in `c`, as far as it was written, and frees it.
void drop_context(xlsContext *c) noexcept {
    c->state.reset_workbook();
    if (c->state.freeMergeInput != nullptr) c->state.freeMergeInput(c->state.mergeInput);
    delete c;
}

OwnState::~OwnState() {
    if (selected != nullptr) selected->taken.store(false, std::memory_order_release);
    selected = nullptr;
    current_state = nullptr;
    if (context != nullptr) drop_context(context);
    context = nullptr;
}

}  // namespace

bool attach_thread() noexcept {
    if (selected != nullptr) {
        current_state = &selected->state;
        return true;
    }
    if (own.context == nullptr) own.context = new_context();
    if (own.context == nullptr) {
        std::fputs(kNoState, stderr);
        return false;
    }
    current_state = &own.context->state;
    return true;
}

}  // namespace gridquill::detail

using namespace gridquill::detail;

namespace {

// A refusal of the context calls, in the calling thread's current state.
int refuse_context(std::string_view message) noexcept {
    if (!attached()) return kNo;
    return fail(current(), {message});
}

// The contexts clients made and have not freed: a pointer is one of them only when it is
// found here, compared by its value, so that a freed, foreign or stale pointer is never read.
std::mutex liveLock;
xlsContext *liveContexts = nullptr;

bool live(const xlsContext *c) noexcept {
    for (const xlsContext *l = liveContexts; l != nullptr; l = l->next)
        if (l == c) return true;
    return false;
}

void forget_live(xlsContext *c) noexcept {
    (c->previous != nullptr ? c->previous->next : liveContexts) = c->next;
    if (c->next != nullptr) c->next->previous = c->previous;
}

// Makes `c` (null: the thread's own state) the calling thread's current state.
void select(xlsContext *c) noexcept {
    xlsContext *mine = own.context;  // first use: the thread's end will let c go
    selected = c;
    current_state = c != nullptr ? &c->state : mine != nullptr ? &mine->state : nullptr;
}

}  // namespace

extern "C" xlsContext *xlsNewContext(void) noexcept {
    xlsContext *c = new_context();
    if (c == nullptr) {
        if (attached()) fail(current(), {kNoState});
        return nullptr;
    }
    std::lock_guard<std::mutex> hold(liveLock);
    c->next = liveContexts;
    if (liveContexts != nullptr) liveContexts->previous = c;
    liveContexts = c;
    return c;
}

extern "C" int xlsSelectContext(xlsContext *context) noexcept {
    if (context == selected) return kYes;
    if (context != nullptr) {
        std::unique_lock<std::mutex> hold(liveLock);
        if (!live(context)) {
            hold.unlock();
            return refuse_context("Contesto non valido in xlsSelectContext().\n");
        }
        bool free = false;
        if (!context->taken.compare_exchange_strong(free, true, std::memory_order_acquire)) {
            hold.unlock();
            return refuse_context("Contesto in uso in un altro thread in xlsSelectContext().\n");
        }
    }
    if (selected != nullptr) selected->taken.store(false, std::memory_order_release);
    select(context);
    return kYes;
}

extern "C" xlsContext *xlsGetContext(void) noexcept { return selected; }

extern "C" int xlsFreeContext(xlsContext *context) noexcept {
    if (context == nullptr) return kYes;
    {
        std::unique_lock<std::mutex> hold(liveLock);
        if (!live(context)) {
            hold.unlock();
            return refuse_context("Contesto non valido in xlsFreeContext().\n");
        }
        if (context == selected) {
            select(nullptr);  // still taken: freed below
        } else {
            bool free = false;
            if (!context->taken.compare_exchange_strong(free, true, std::memory_order_acquire)) {
                hold.unlock();
                return refuse_context("Contesto in uso in un altro thread in xlsFreeContext().\n");
            }
        }
        forget_live(context);  // a second free finds it no more
    }
    // A workbook still open: a stream or a file left as far as written, or in atomic mode
    // an old file left in place.
    const Output &out = context->state.out;
    const bool unfinished = out.is_open(), stream = out.to_stream();
    const std::string_view what = out.temporary() ? "' non sostituito" : "' incompleto";
    PathText path;
    path.assign(out.path.view());
    drop_context(context);
    if (!unfinished || !attached()) return unfinished ? kNo : kYes;
    constexpr std::string_view kWhy = ": contesto liberato prima di xlsClose().\n";
    if (stream) return fail(current(), {"Flusso in output incompleto", kWhy});
    return fail(current(), {"File '", path.view(), what, kWhy});
}
