#include "kfaultshim.h"

#include <QFile>
#include <QFileInfo>

#include <cstdlib>
#include <dlfcn.h>
#include <unistd.h>

namespace {

template<typename Function> Function control(const char* name)
{
    auto function = reinterpret_cast<Function>(dlsym(RTLD_DEFAULT, name));
    if (!function)
        qFatal("the fault library is not preloaded: %s is missing", name);
    return function;
}

} // namespace

namespace KFaultShim {

bool isLoaded()
{
    return dlsym(RTLD_DEFAULT, "vk_shim_set_full_folder") != nullptr;
}

void preloadInto(char** argv)
{
    if (isLoaded())
        return;
    QByteArray preload = VK_FAULT_SHIM;
    const QByteArray before = qgetenv("LD_PRELOAD");
    if (!before.isEmpty())
        preload += ' ' + before;
    qputenv("LD_PRELOAD", preload);
    // AddressSanitizer wants its own library first; the preloaded one only wraps file calls.
    QByteArray asan = qgetenv("ASAN_OPTIONS");
    qputenv("ASAN_OPTIONS", asan + (asan.isEmpty() ? "" : ":") + "verify_asan_link_order=0");
    ::execv("/proc/self/exe", argv);
    qFatal("cannot start the test again with the fault library preloaded");
}

void setFullFolder(const QString& folder, qint64 roomLeft, bool folderOnly)
{
    control<void (*)(const char*, long long, int)>("vk_shim_set_full_folder")(
        QFile::encodeName(folder).constData(), roomLeft, folderOnly ? 1 : 0);
}

void setCorruptFolder(const QString& folder)
{
    control<void (*)(const char*)>("vk_shim_set_corrupt_folder")(QFile::encodeName(folder).constData());
}

void changeOnFirstRead(const QString& path, Change change)
{
    control<void (*)(const char*, int)>("vk_shim_change_on_first_read")(
        QFile::encodeName(path).constData(), int(change));
}

void failFlushesBelow(const QString& folder)
{
    control<void (*)(const char*)>("vk_shim_fail_flushes_below")(QFile::encodeName(folder).constData());
}

void killAfter(const QString& call, const QString& pathPart, int count)
{
    control<void (*)(const char*, const char*, int)>("vk_shim_kill_after")(
        call.toLatin1().constData(), QFile::encodeName(pathPart).constData(), count);
}

void refuseInKernelCopies(int error)
{
    control<void (*)(int)>("vk_shim_refuse_in_kernel_copies")(error);
}

void startLog()
{
    control<void (*)(int)>("vk_shim_set_logging")(1);
}

QStringList takeLog()
{
    char* text = control<char* (*)()>("vk_shim_take_log")();
    const QStringList lines = QFile::decodeName(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    std::free(text);
    return lines;
}

bool flushedBeforeRename(const QStringList& calls, const QString& path)
{
    const QString folder = QFileInfo(path).absolutePath() + QLatin1Char('/');
    const int renamed = calls.indexOf(QStringLiteral("rename ") + path);
    for (int i = 0; i < renamed; ++i) {
        if (calls.at(i).startsWith(QStringLiteral("fsync ") + folder)
            && !calls.at(i).midRef(6 + folder.size()).contains(QLatin1Char('/')))
            return true;
    }
    return false;
}

} // namespace KFaultShim
