// Loaded into a child process with LD_PRELOAD, this makes one folder, VK_FAULTY_FOLDER, behave
// like a faulty disk. Files opened for writing below it take VK_FULL_DISK_BYTES bytes in all (when
// set), then every further write into them fails with ENOSPC, as on a full disk. With
// VK_CORRUPT_WRITES set, every write stores its first byte changed while reporting success, as a
// failing disk or memory would. Nothing else changes.

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int WatchedLimit = 4096;
std::atomic<bool> g_watched[WatchedLimit];
std::atomic<long long> g_left { -1 };

long long left()
{
    long long value = g_left.load();
    if (value < 0) {
        const char* bytes = std::getenv("VK_FULL_DISK_BYTES");
        value = bytes ? std::atoll(bytes) : std::numeric_limits<long long>::max();
        long long unset = -1;
        g_left.compare_exchange_strong(unset, value);
        value = g_left.load();
    }
    return value;
}

bool isBelowFolder(const char* path)
{
    const char* folder = std::getenv("VK_FAULTY_FOLDER");
    return folder && path && std::strncmp(path, folder, std::strlen(folder)) == 0;
}

void watch(int fd, const char* path, int flags)
{
    if (fd >= 0 && fd < WatchedLimit)
        g_watched[fd] = (flags & (O_WRONLY | O_RDWR)) != 0 && isBelowFolder(path);
}

bool watched(int fd)
{
    return fd >= 0 && fd < WatchedLimit && g_watched[fd];
}

// How much of `count` may still be written; 0 sets ENOSPC.
size_t allowance(size_t count)
{
    const long long remaining = left();
    if (remaining <= 0) {
        errno = ENOSPC;
        return 0;
    }
    return count < size_t(remaining) ? count : size_t(remaining);
}

void spend(ssize_t written)
{
    if (written > 0)
        g_left -= written;
}

// The bytes a write stores: with corruption on, a copy with its first byte changed.
const void* stored(const void* data, size_t count, std::vector<char>* changed)
{
    if (!std::getenv("VK_CORRUPT_WRITES") || count == 0)
        return data;
    changed->assign(static_cast<const char*>(data), static_cast<const char*>(data) + count);
    (*changed)[0] = char((*changed)[0] ^ 0x5a);
    return changed->data();
}

template<typename F> F next(const char* name)
{
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

mode_t modeOf(int flags, va_list arguments)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(arguments, int)) : 0;
}

} // namespace

extern "C" {

int open(const char* path, int flags, ...)
{
    va_list arguments;
    va_start(arguments, flags);
    const mode_t mode = modeOf(flags, arguments);
    va_end(arguments);
    static const auto real = next<int (*)(const char*, int, ...)>("open");
    const int fd = real(path, flags, mode);
    watch(fd, path, flags);
    return fd;
}

int close(int fd)
{
    static const auto real = next<int (*)(int)>("close");
    if (fd >= 0 && fd < WatchedLimit)
        g_watched[fd] = false;
    return real(fd);
}

ssize_t write(int fd, const void* data, size_t count)
{
    static const auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    if (!watched(fd) || count == 0)
        return real(fd, data, count);
    const size_t allowed = allowance(count);
    if (allowed == 0)
        return -1;
    std::vector<char> changed;
    const ssize_t written = real(fd, stored(data, allowed, &changed), allowed);
    spend(written);
    return written;
}

} // extern "C"
