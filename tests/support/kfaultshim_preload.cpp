// Loaded into a test process with LD_PRELOAD: it stands between the process and the C library's
// file calls, so that tests can make the disk fill up or store other bytes than it is given, make
// a file change while it is read, and see in which order files were flushed and renamed, all
// without privileges. The test drives it through the functions at the end (see kfaultshim.h);
// until then every call passes straight on.

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <mutex>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

std::mutex g_mutex;
std::atomic<bool> g_active { false }; // anything configured at all
std::string g_fullFolder; // writes below it fail once the room left is used; empty: none do
long long g_roomLeft = 0; // bytes
bool g_fullFolderOnly = false; // only the files directly in g_fullFolder, not those further below
std::string g_corruptFolder; // writes below it store their first byte changed; empty: none do
std::string g_changePath; // changed at its first read
int g_change = 0;
bool g_logging = false;
std::string g_log;
std::string g_failingFlushFolder; // flushes below it fail with an I/O error; empty: none do
int g_refuseInKernel = 0; // clones and copy_file_range fail with this error; 0: they pass
std::string g_killCall; // the process dies right after the g_killCount-th such call on a path
std::string g_killPathPart; // that contains this
int g_killCount = 0;

template<typename Function> Function next(const char* name)
{
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

#define VK_NEXT(name) static const auto real = next<decltype(&::name)>(#name)

std::string pathOf(int fd)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t length = ::readlink(link, target, sizeof target - 1);
    return length > 0 ? std::string(target, size_t(length)) : std::string();
}

// The full path of `name` in the folder open as `folder`.
std::string pathAt(int folder, const char* name)
{
    if (name[0] == '/' || folder == AT_FDCWD)
        return name;
    return pathOf(folder) + '/' + name;
}

bool isBelow(const std::string& path, const std::string& folder)
{
    return !folder.empty() && path.compare(0, folder.size(), folder) == 0
        && (path.size() == folder.size() || path[folder.size()] == '/' || folder.back() == '/');
}

// How much of a write of `count` bytes to `fd` fits: all of it, part of it (a short write, as
// a disk gives when it fills up during the write), or nothing (-1: no space left).
long long room(int fd, size_t count)
{
    if (!g_active.load() || count == 0)
        return (long long)count;
    const std::string path = pathOf(fd);
    const std::lock_guard<std::mutex> locker(g_mutex);
    if (!isBelow(path, g_fullFolder)
        || (g_fullFolderOnly && path.find('/', g_fullFolder.size() + 1) != std::string::npos)) {
        return (long long)count;
    }
    if (g_roomLeft <= 0)
        return -1;
    const long long fits = g_roomLeft < (long long)count ? g_roomLeft : (long long)count;
    g_roomLeft -= fits;
    return fits;
}

// Whether a write to `fd` is to store other bytes than it is given.
bool corrupts(int fd)
{
    if (!g_active.load())
        return false;
    const std::string path = pathOf(fd);
    const std::lock_guard<std::mutex> locker(g_mutex);
    return isBelow(path, g_corruptFolder);
}

// The bytes a write of `count` bytes from `buffer` to `fd` stores: a copy with its first byte
// changed when writes there are corrupted, as a failing disk or memory would store them.
const void* stored(int fd, const void* buffer, size_t count, std::string* changed)
{
    if (count == 0 || !corrupts(fd))
        return buffer;
    changed->assign(static_cast<const char*>(buffer), count);
    (*changed)[0] = char((*changed)[0] ^ 0x5a);
    return changed->data();
}

void log(const char* call, const std::string& path)
{
    if (!g_active.load())
        return;
    bool die = false;
    {
        const std::lock_guard<std::mutex> locker(g_mutex);
        if (g_logging)
            g_log += std::string(call) + ' ' + path + '\n';
        die = g_killCount > 0 && g_killCall == call && path.find(g_killPathPart) != std::string::npos
            && --g_killCount == 0;
    }
    if (die)
        ::raise(SIGKILL);
}

// Whether a flush of `fd` is to fail, as on a disk that refused a write.
bool flushFails(int fd)
{
    if (!g_active.load())
        return false;
    const std::string path = pathOf(fd);
    const std::lock_guard<std::mutex> locker(g_mutex);
    return isBelow(path, g_failingFlushFolder);
}

// Changes the file before its first read, once.
void beforeRead(int fd)
{
    if (!g_active.load())
        return;
    const std::string path = pathOf(fd);
    int change = 0;
    {
        const std::lock_guard<std::mutex> locker(g_mutex);
        if (g_changePath.empty() || path != g_changePath)
            return;
        change = g_change;
        g_changePath.clear();
    }
    VK_NEXT(write);
    struct stat info;
    if (::stat(path.c_str(), &info) != 0)
        return;
    if (change == 1) {
        ::truncate(path.c_str(), 0);
    } else if (change == 2) {
        const int out = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
        real(out, "appended while it was copied\n", 29);
        ::close(out);
    } else if (change == 3) {
        const int out = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        const std::string same(size_t(info.st_size), 'R');
        real(out, same.data(), same.size());
        ::close(out);
    }
}

// An in-kernel copy (a clone or copy_file_range) into `out`: logged, refused when the test says
// so (-1 with errno set), 0 otherwise.
int beforeInKernelCopy(const char* call, int out)
{
    if (!g_active.load())
        return 0;
    int error = 0;
    {
        const std::lock_guard<std::mutex> locker(g_mutex);
        error = g_refuseInKernel;
    }
    log(call, pathOf(out));
    errno = error;
    return error ? -1 : 0;
}

// A write that crosses the room left fails as on a full disk; what fits is stored, maybe altered.
template<typename Write, typename... Offset>
ssize_t writeWithin(Write real, int fd, const void* buffer, size_t count, Offset... offset)
{
    const long long fits = room(fd, count);
    if (fits < 0) {
        errno = ENOSPC;
        return -1;
    }
    std::string changed;
    return real(fd, stored(fd, buffer, size_t(fits), &changed), size_t(fits), offset...);
}

// Changes the faults under the lock; from then on the wrappers look at their calls.
template<typename Change> void configure(const Change& change)
{
    const std::lock_guard<std::mutex> locker(g_mutex);
    change();
    g_active = true;
}

} // namespace

extern "C" {

ssize_t write(int fd, const void* buffer, size_t count)
{
    VK_NEXT(write);
    return writeWithin(real, fd, buffer, count);
}

ssize_t pwrite(int fd, const void* buffer, size_t count, off_t offset)
{
    VK_NEXT(pwrite);
    return writeWithin(real, fd, buffer, count, offset);
}

ssize_t pwrite64(int fd, const void* buffer, size_t count, off64_t offset)
{
    VK_NEXT(pwrite64);
    return writeWithin(real, fd, buffer, count, offset);
}

ssize_t writev(int fd, const struct iovec* vector, int count)
{
    VK_NEXT(writev);
    size_t total = 0;
    for (int i = 0; i < count; ++i)
        total += vector[i].iov_len;
    if (room(fd, total) < (long long)total) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, vector, count);
}

int fallocate(int fd, int mode, off_t offset, off_t length)
{
    VK_NEXT(fallocate);
    if (room(fd, size_t(length)) < (long long)length) {
        errno = ENOSPC;
        return -1;
    }
    return real(fd, mode, offset, length);
}

ssize_t copy_file_range(int in, off64_t* inOffset, int out, off64_t* outOffset, size_t length, unsigned flags)
{
    VK_NEXT(copy_file_range);
    if (beforeInKernelCopy("copy_file_range", out) != 0)
        return -1;
    beforeRead(in);
    const long long fits = room(out, length);
    if (fits < 0) {
        errno = ENOSPC;
        return -1;
    }
    return real(in, inOffset, out, outOffset, size_t(fits), flags);
}

// A clone reads nothing: the source changes at the read after it (beforeRead()).
int ioctl(int fd, unsigned long request, ...)
{
    VK_NEXT(ioctl);
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (request == FICLONE && beforeInKernelCopy("clone", fd) != 0)
        return -1;
    return real(fd, request, argument);
}

ssize_t read(int fd, void* buffer, size_t count)
{
    VK_NEXT(read);
    beforeRead(fd);
    return real(fd, buffer, count);
}

// Flushes are logged once done, so that a process told to die after one dies with it done.
#define VK_FLUSH(name)                                                                                       \
    int name(int fd)                                                                                         \
    {                                                                                                        \
        VK_NEXT(name);                                                                                       \
        if (flushFails(fd)) {                                                                                \
            errno = EIO;                                                                                     \
            return -1;                                                                                       \
        }                                                                                                    \
        const int result = real(fd);                                                                         \
        log(#name, pathOf(fd));                                                                              \
        return result;                                                                                       \
    }
VK_FLUSH(fsync)
VK_FLUSH(fdatasync)
VK_FLUSH(syncfs)

// Successful renames and removals are logged by the path they name; a link that gives an unnamed
// file its name counts as a rename.
#define VK_LOGGED(type, name, call, parameters, arguments, logged)                                           \
    type name parameters                                                                                     \
    {                                                                                                        \
        VK_NEXT(name);                                                                                       \
        const type result = real arguments;                                                                  \
        if (result == 0 && g_active.load())                                                                  \
            log(call, logged);                                                                               \
        return result;                                                                                       \
    }
VK_LOGGED(int, unlink, "unlink", (const char* path), (path), path)
VK_LOGGED(int, unlinkat, "unlink", (int folder, const char* path, int flags), (folder, path, flags), path)
VK_LOGGED(int, linkat, "rename", (int fromFolder, const char* from, int toFolder, const char* to, int flags),
    (fromFolder, from, toFolder, to, flags), to)
VK_LOGGED(int, rename, "rename", (const char* from, const char* to), (from, to), to)
VK_LOGGED(int, renameat, "rename", (int fromFolder, const char* from, int toFolder, const char* to),
    (fromFolder, from, toFolder, to), pathAt(toFolder, to))
VK_LOGGED(int, renameat2, "rename",
    (int fromFolder, const char* from, int toFolder, const char* to, unsigned flags),
    (fromFolder, from, toFolder, to, flags), pathAt(toFolder, to))

// The test's controls.

__attribute__((visibility("default"))) void vk_shim_set_full_folder(
    const char* folder, long long roomLeft, int folderOnly)
{
    configure([&] {
        g_fullFolder = folder ? folder : "";
        g_roomLeft = roomLeft;
        g_fullFolderOnly = folderOnly != 0;
    });
}

__attribute__((visibility("default"))) void vk_shim_set_corrupt_folder(const char* folder)
{
    configure([&] { g_corruptFolder = folder ? folder : ""; });
}

__attribute__((visibility("default"))) void vk_shim_change_on_first_read(const char* path, int change)
{
    configure([&] {
        g_changePath = path ? path : "";
        g_change = change;
    });
}

__attribute__((visibility("default"))) void vk_shim_refuse_in_kernel_copies(int error)
{
    configure([&] { g_refuseInKernel = error; });
}

__attribute__((visibility("default"))) void vk_shim_set_logging(int on)
{
    configure([&] {
        g_logging = on != 0;
        g_log.clear();
    });
}

__attribute__((visibility("default"))) void vk_shim_fail_flushes_below(const char* folder)
{
    configure([&] { g_failingFlushFolder = folder ? folder : ""; });
}

__attribute__((visibility("default"))) void vk_shim_kill_after(
    const char* call, const char* pathPart, int count)
{
    configure([&] {
        g_killCall = call ? call : "";
        g_killPathPart = pathPart ? pathPart : "";
        g_killCount = count;
    });
}

// The calls logged since logging started, one per line; the caller frees the text.
__attribute__((visibility("default"))) char* vk_shim_take_log()
{
    const std::lock_guard<std::mutex> locker(g_mutex);
    char* text = strdup(g_log.c_str());
    g_log.clear();
    return text;
}

} // extern "C"
