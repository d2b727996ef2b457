// The writer states: each thread's own, taken at its first call, and the contexts a client
// makes, selects and frees.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <new>

#include "errors.hpp"
#include "state.hpp"

// A writer state that a client made, selects and frees (xlsNewContext); each thread's own
// state is one too.
struct xlsContext {
    gridquill::detail::WriterState state;
};

// The README promises a workbook's state under 1 MiB.
static_assert(sizeof(xlsContext) < (1 << 20));

namespace gridquill::detail {

constinit thread_local WriterState *current_state = nullptr;

namespace {

// The calling thread's selected context, null while its own state is in use.
[[gnu::tls_model("initial-exec")]] constinit thread_local xlsContext *selected = nullptr;

// The contexts clients made and have not freed, by address in an open-addressing table of
// atomic words, so that a freed, foreign or stale pointer is told apart without reading
// through it, and without a lock. A word is a live context's address, with bit 0 set while
// a thread has it selected (no other thread may then select or free it); 0 a slot never
// used, kFreed one whose context was freed (a lookup goes on past it).
constexpr std::size_t kMaxContexts = 4096;
constexpr std::uintptr_t kTaken = 1, kFreed = 1;
std::atomic<std::uintptr_t> liveContexts[kMaxContexts];
[[gnu::tls_model("initial-exec")]] constinit thread_local std::size_t selectedSlot = 0;

std::uintptr_t address(const xlsContext *c) noexcept { return reinterpret_cast<std::uintptr_t>(c); }

std::size_t home_slot(const xlsContext *c) noexcept {
    return static_cast<std::size_t>((address(c) >> 6) * 0x9E3779B97F4A7C15u >> 52) % kMaxContexts;
}

// The slot of the live context `c`, or kMaxContexts.
std::size_t find_live(const xlsContext *c) noexcept {
    for (std::size_t i = 0, at = home_slot(c); i < kMaxContexts; ++i, at = (at + 1) % kMaxContexts) {
        std::uintptr_t word = liveContexts[at].load(std::memory_order_acquire);
        if (word == 0) break;
        if (word != kFreed && (word & ~kTaken) == address(c)) return at;
    }
    return kMaxContexts;
}

// Lets the calling thread's selected context go to other threads.
void release_selected() noexcept {
    if (selected != nullptr) liveContexts[selectedSlot].store(address(selected), std::memory_order_release);
}

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
    release_selected();
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
int refuse_context(std::initializer_list<std::string_view> message) noexcept {
    if (!attached()) return kNo;
    return fail(current(), message);
}

// Marks the context in `slot`, known by its address, taken (or freed) for the calling
// thread; 0 done, else the refusal's message for `call`.
int take(std::size_t slot, const xlsContext *c, std::uintptr_t to, std::string_view call) noexcept {
    std::uintptr_t expected = address(c);
    if (slot < kMaxContexts &&
        liveContexts[slot].compare_exchange_strong(expected, to, std::memory_order_acq_rel))
        return kYes;
    if (slot < kMaxContexts && expected == (address(c) | kTaken))
        return refuse_context({"Contesto in uso in un altro thread in ", call, "().\n"});
    return refuse_context({"Contesto non valido in ", call, "().\n"});
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
    for (std::size_t i = 0, at = home_slot(c); i < kMaxContexts; ++i, at = (at + 1) % kMaxContexts) {
        std::uintptr_t word = liveContexts[at].load(std::memory_order_relaxed);
        while ((word == 0 || word == kFreed) &&
               !liveContexts[at].compare_exchange_weak(word, address(c), std::memory_order_release)) {
        }
        if (word == 0 || word == kFreed) return c;
    }
    drop_context(c);
    if (attached()) fail(current(), {"Troppi contesti (al massimo 4096) in xlsNewContext().\n"});
    return nullptr;
}

extern "C" int xlsSelectContext(xlsContext *context) noexcept {
    if (context == selected) return kYes;
    std::size_t slot = selectedSlot;  // the slot of the context selected last, most often this one
    if (context != nullptr) {
        if ((liveContexts[slot].load(std::memory_order_relaxed) & ~kTaken) != address(context))
            slot = find_live(context);
        if (take(slot, context, address(context) | kTaken, "xlsSelectContext") == kNo) return kNo;
    }
    release_selected();
    select(context);
    selectedSlot = slot;
    return kYes;
}

extern "C" xlsContext *xlsGetContext(void) noexcept { return selected; }

extern "C" int xlsFreeContext(xlsContext *context) noexcept {
    if (context == nullptr) return kYes;
    if (context == selected) {  // taken by this thread: no other can free it
        liveContexts[selectedSlot].store(kFreed, std::memory_order_release);
        select(nullptr);
    } else if (take(find_live(context), context, kFreed, "xlsFreeContext") == kNo) {
        return kNo;  // a second free finds it no more
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
