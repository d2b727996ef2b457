// The writer states (one per thread, and the contexts a client makes), and the output and
// error helpers shared by all operations.
#include "state.hpp"

#include "../merge/merge.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <new>

// A writer state that a client made, selects and frees (xlsNewContext); each thread's own
// state is one too.
struct xlsContext {
    gridquill::detail::WriterState state;
    // Selected in some thread: no other thread may select or free it meanwhile.
    std::atomic<bool> taken{false};
    // The live contexts a client made, linked under kLiveLock.
    xlsContext *previous = nullptr, *next = nullptr;
};

// The README promises a workbook's state under 1 MiB.
static_assert(sizeof(xlsContext) < (1 << 20));

constinit thread_local gridquill::detail::WriterState *gridquill_state = nullptr;

namespace gridquill::detail {

Encoding text_encoding() noexcept { return g.encoding; }

namespace {

constexpr std::string_view kBuiltInStyleIds[] = {"Default", "num", "txt", "date"};

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
    for (std::string_view id : kBuiltInStyleIds) c->state.styleIds.add(id);
    return c;
}

// Closes what a workbook left open in `c`, as far as it was written, and frees it.
void drop_context(xlsContext *c) noexcept {
    WriterState *current = gridquill_state;
    gridquill_state = &c->state;
    drop_open_streams();
    gridquill_state = current;
    free_merge_input(c->state.mergeInput);
    delete c;
}

OwnState::~OwnState() {
    if (selected != nullptr) selected->taken.store(false, std::memory_order_release);
    selected = nullptr;
    gridquill_state = nullptr;
    if (context != nullptr) drop_context(context);
    context = nullptr;
}

void set_error(std::initializer_list<std::string_view> parts) noexcept {
    g.errorText.clear();
    for (std::string_view p : parts) g.errorText.append(p);
}

}  // namespace

void seed_style_ids() noexcept {
    for (std::string_view id : kBuiltInStyleIds) g.styleIds.add(id);
}

bool attach_thread() noexcept {
    if (selected != nullptr) {
        gridquill_state = &selected->state;
        return true;
    }
    if (own.context == nullptr) own.context = new_context();
    if (own.context == nullptr) {
        std::fputs(kNoState, stderr);
        return false;
    }
    gridquill_state = &own.context->state;
    return true;
}

void emit(std::string_view text) noexcept {
    if (g.outFile == nullptr || text.empty()) return;
#ifdef __GLIBC__
    std::size_t n = fwrite_unlocked(text.data(), 1, text.size(), g.outFile);
#else
    std::size_t n = std::fwrite(text.data(), 1, text.size(), g.outFile);
#endif
    if (n != text.size() && !g.writeFailed) {
        g.writeFailed = true;
        g.writeErrno = errno;
    }
}

namespace {

constexpr std::size_t kNameMax = 255;  // bytes of one name in a path

// The last name of a path, and what comes before it (with its slash).
std::string_view directory_of(std::string_view path) noexcept {
    std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash + 1);
}

using PathText = BoundedText<kMaxPath + 1>;

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

// tempPath for an attempt: ".<name>.gridquill-<pid>.tmp" beside `target`, "-<n>" after the
// pid from the second attempt on; the name is shortened so that the whole stays one name.
bool temporary_name(const PathText &target, int attempt) noexcept {
    std::string_view dir = directory_of(target.view());
    std::string_view name = target.view().substr(dir.size());
    constexpr std::size_t kRoom = kNameMax - sizeof(".gridquill--2147483648-999.tmp");
    if (name.size() > kRoom) {
        std::size_t n = kRoom;
        while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;  // whole characters
        name = name.substr(0, n);
    }
    g.tempPath.assign(dir).append(".").append(name).append(".gridquill-").append_int(getpid());
    if (attempt > 1) g.tempPath.append("-").append_int(attempt);
    g.tempPath.append(".tmp");
    return !g.tempPath.was_cut();
}

// A new temporary file for `path`, with the mode of the file it replaces.
std::FILE *open_temporary(const char *path) noexcept {
    PathText target;
    if (!follow_links(path, target)) return nullptr;
    struct stat old {};
    const bool replacing = stat(target.c_str(), &old) == 0;
    for (int attempt = 1; attempt <= 100; ++attempt) {
        if (!temporary_name(target, attempt)) break;
        int fd = open(g.tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST) continue;  // another writer's, or a dead process's
        if (fd < 0) {
            g.tempPath.clear();
            return nullptr;
        }
        if (replacing) fchmod(fd, old.st_mode & 07777);
        std::FILE *f = fdopen(fd, "w");
        if (f == nullptr) {
            int err = errno;
            close(fd);
            unlink(g.tempPath.c_str());
            g.tempPath.clear();
            errno = err;
        }
        return f;
    }
    if (g.tempPath.was_cut()) errno = ENAMETOOLONG;
    g.tempPath.clear();
    return nullptr;
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
    if (!g.atomic || g.stream.write != nullptr) return false;
    std::string_view p(path);
    if (p.empty() || p.back() == '/') return false;
    struct stat st {};
    if (stat(path, &st) == 0) return S_ISREG(st.st_mode);  // no devices, pipes or folders
    return errno == ENOENT;
}

std::FILE *open_output(const char *path) noexcept {
    g.tempPath.clear();
    std::FILE *f = g.stream.write != nullptr      ? open_client_stream(g.stream)
                   : writes_through_temporary(path) ? open_temporary(path)
                                                    : std::fopen(path, "w");
    if (f != nullptr) std::setvbuf(f, g.outBuffer, _IOFBF, sizeof g.outBuffer);
    g.writeFailed = false;
    g.writeErrno = 0;
    return f;
}

bool close_output(bool commit) noexcept {
    if (g.outFile == nullptr) return true;
    bool ok = !g.writeFailed && !std::ferror(g.outFile);
    int err = g.writeErrno;
    // A flush made outside the library (a client's fflush(NULL)) may have failed without
    // leaving its reason: the final flush meets the same cause again.
    std::clearerr(g.outFile);
    const bool temporary = !g.tempPath.empty();
    if (temporary && ok && commit &&
        (std::fflush(g.outFile) != 0 || fsync(fileno(g.outFile)) != 0)) {
        err = errno;
        ok = false;
    }
    if (std::fclose(g.outFile) != 0) {
        if (ok || err == 0) err = errno;
        ok = false;
    }
    g.outFile = nullptr;
    g.writeFailed = false;
    if (temporary) {
        PathText target;  // the links as they are now
        if (ok && commit && (!follow_links(g.outputPath.c_str(), target) ||
                             std::rename(g.tempPath.c_str(), target.c_str()) != 0)) {
            err = errno;
            ok = false;
        }
        if (ok && commit) sync_directory(target);
        else unlink(g.tempPath.c_str());
        g.tempPath.clear();
    }
    if (!ok) errno = err != 0 ? err : EIO;
    return ok;
}

int fail(std::initializer_list<std::string_view> parts) noexcept {
    set_error(parts);
    g.errorErrno = 0;
    std::fputs(g.errorText.c_str(), stderr);
    return kNo;
}

int fail_open(std::initializer_list<std::string_view> parts) noexcept {
    int err = errno;
    set_error(parts);
    g.errorErrno = err;
    errno = err;
    std::perror(g.errorText.c_str());
    return kNo;
}

void clear_error() noexcept {
    g.errorText.clear();
    g.errorErrno = 0;
}

void close_input() noexcept {
    if (g.inFile == nullptr) return;
    std::fclose(g.inFile);
    g.inFile = nullptr;
}

}  // namespace gridquill::detail

using namespace gridquill::detail;

namespace {

// A refusal of the context calls, in the calling thread's current state.
int refuse_context(std::string_view message) noexcept {
    if (!attached()) return kNo;
    return fail({message});
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
    gridquill_state = c != nullptr ? &c->state : mine != nullptr ? &mine->state : nullptr;
}

}  // namespace

extern "C" const char *xlsGetError(void) noexcept {
    if (!attached()) return kNoState;
    return g.errorText.c_str();
}

extern "C" int xlsGetErrno(void) noexcept {
    if (!attached()) return ENOMEM;
    return g.errorErrno;
}

extern "C" xlsContext *xlsNewContext(void) noexcept {
    xlsContext *c = new_context();
    if (c == nullptr) {
        if (attached()) fail({kNoState});
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
    const WriterState &s = context->state;
    const bool unfinished = s.outFile != nullptr, stream = s.stream.write != nullptr;
    const std::string_view what = s.tempPath.empty() ? "' incompleto" : "' non sostituito";
    BoundedText<kMaxPath + 1> path;
    path.assign(s.outputPath.view());
    drop_context(context);
    if (!unfinished || !attached()) return unfinished ? kNo : kYes;
    constexpr std::string_view kWhy = ": contesto liberato prima di xlsClose().\n";
    if (stream) return fail({"Flusso in output incompleto", kWhy});
    return fail({"File '", path.view(), what, kWhy});
}

// Selects how the texts of later calls are read, by one of the names of each encoding.
extern "C" int xlsSetEncoding(const char *name) noexcept {
    if (!attached()) return kNo;
    constexpr struct {
        std::string_view name;
        Encoding encoding;
    } kNames[] = {{"ISO-8859-1", Encoding::latin1},         {"Latin-1", Encoding::latin1},
                  {"Windows-1252", Encoding::windows1252}, {"CP1252", Encoding::windows1252},
                  {"UTF-8", Encoding::utf8}};
    std::string_view wanted = arg(name);
    for (const auto &known : kNames) {
        if (known.name.size() != wanted.size()) continue;
        std::size_t i = 0;
        while (i < wanted.size() && std::toupper(static_cast<unsigned char>(wanted[i])) ==
                                        std::toupper(static_cast<unsigned char>(known.name[i])))
            ++i;
        if (i == wanted.size()) {
            g.encoding = known.encoding;
            return kYes;
        }
    }
    // The name is shown cut between characters, so that the message ends whole.
    return fail({"Codifica '", wanted.substr(0, text_cut(wanted, 60, Source::markup, g.encoding)),
                 "' sconosciuta in xlsSetEncoding(): usare ISO-8859-1, Windows-1252 o UTF-8.\n"});
}
