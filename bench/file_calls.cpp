// Counts the calls that open or query a file, for the watchdog tick's
// measurement: the program's own definitions of these C library functions
// come first in symbol lookup (the executable exports them), count the call,
// and hand it on to the C library's. No system header declaring them is
// included here, so the definitions need not match their decorations.

#include <atomic>
#include <cstdarg>
#include <cstdint>

#include <dlfcn.h>

namespace crunchwatch::bench {
extern std::atomic<bool> g_counting;
extern std::atomic<std::int64_t> g_opens;
extern std::atomic<std::int64_t> g_stats;
}  // namespace crunchwatch::bench

namespace {

template <class F>
F next(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

void count(std::atomic<std::int64_t>& counter) {
    if (crunchwatch::bench::g_counting.load(std::memory_order_relaxed)) counter.fetch_add(1, std::memory_order_relaxed);
}

constexpr int createFlags = 0100 | 020000000;  // O_CREAT | O_TMPFILE: the mode argument follows

}  // namespace

// The mode argument follows only when the flags create a file; it is read in
// the variadic function itself, as va_start requires.
#define CW_MODE_ARGUMENT(flags, mode)         \
    unsigned mode = 0;                        \
    if ((flags) & createFlags) {              \
        va_list ap;                           \
        va_start(ap, flags);                  \
        mode = va_arg(ap, unsigned);          \
        va_end(ap);                           \
    }
#define CW_FORWARD_OPEN(NAME)                                                 \
    extern "C" int NAME(const char* path, int flags, ...) {                   \
        count(crunchwatch::bench::g_opens);                                   \
        CW_MODE_ARGUMENT(flags, mode)                                         \
        static const auto real = next<int (*)(const char*, int, ...)>(#NAME); \
        return real(path, flags, mode);                                       \
    }
#define CW_FORWARD_OPENAT(NAME)                                                    \
    extern "C" int NAME(int dir, const char* path, int flags, ...) {               \
        count(crunchwatch::bench::g_opens);                                        \
        CW_MODE_ARGUMENT(flags, mode)                                              \
        static const auto real = next<int (*)(int, const char*, int, ...)>(#NAME); \
        return real(dir, path, flags, mode);                                       \
    }
#define CW_FORWARD_STAT(NAME)                                            \
    extern "C" int NAME(const char* path, void* buf) {                   \
        count(crunchwatch::bench::g_stats);                              \
        static const auto real = next<int (*)(const char*, void*)>(#NAME); \
        return real(path, buf);                                          \
    }

CW_FORWARD_OPEN(open)
CW_FORWARD_OPEN(open64)
CW_FORWARD_OPENAT(openat)
CW_FORWARD_OPENAT(openat64)
CW_FORWARD_STAT(stat)
CW_FORWARD_STAT(stat64)
CW_FORWARD_STAT(lstat)
CW_FORWARD_STAT(lstat64)

extern "C" int fstatat(int dir, const char* path, void* buf, int flags) {
    count(crunchwatch::bench::g_stats);
    static const auto real = next<int (*)(int, const char*, void*, int)>("fstatat");
    return real(dir, path, buf, flags);
}
extern "C" int fstatat64(int dir, const char* path, void* buf, int flags) {
    count(crunchwatch::bench::g_stats);
    static const auto real = next<int (*)(int, const char*, void*, int)>("fstatat64");
    return real(dir, path, buf, flags);
}
extern "C" int statx(int dir, const char* path, int flags, unsigned mask, void* buf) {
    count(crunchwatch::bench::g_stats);
    static const auto real = next<int (*)(int, const char*, int, unsigned, void*)>("statx");
    return real(dir, path, flags, mask, buf);
}
