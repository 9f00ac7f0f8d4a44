#include "core/kfileiconsink.h"

#include <mutex>
#include <shared_mutex>

// Reports come from the scanner thread while the receiver may be installed or removed on the GUI
// thread. Reports share the lock, so several threads report at once, and removal waits until no
// report is still inside the receiver that is going away.

namespace {

std::shared_mutex g_sinkMutex;
IFileIconSink* g_sink = nullptr;

} // namespace

IFileIconSink::~IFileIconSink() = default;

namespace KFileIconSink {

void install(IFileIconSink* sink)
{
    const std::unique_lock<std::shared_mutex> locker(g_sinkMutex);
    g_sink = sink;
}

void uninstall(IFileIconSink* sink)
{
    const std::unique_lock<std::shared_mutex> locker(g_sinkMutex);
    if (g_sink == sink)
        g_sink = nullptr;
}

IFileIconSink* installed()
{
    const std::shared_lock<std::shared_mutex> locker(g_sinkMutex);
    return g_sink;
}

void registerFile(const QString& path)
{
    const std::shared_lock<std::shared_mutex> locker(g_sinkMutex);
    if (g_sink)
        g_sink->registerFile(path);
}

} // namespace KFileIconSink
