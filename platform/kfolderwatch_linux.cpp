#include "platform/kfolderwatch.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <climits>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr uint32_t Events = IN_CLOSE_WRITE | IN_MOVED_TO | IN_CREATE | IN_ONLYDIR | IN_DONT_FOLLOW;

} // namespace

KFolderWatch::KFolderWatch(QObject* parent)
    : QObject(parent)
    , m_fd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
{
    if (m_fd < 0)
        return;
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &KFolderWatch::readEvents);
}

KFolderWatch::~KFolderWatch()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

bool KFolderWatch::addFolder(const QString& folder, bool* limitReached)
{
    if (limitReached)
        *limitReached = false;
    if (m_fd < 0)
        return false;
    const int wd = inotify_add_watch(m_fd, QFile::encodeName(folder).constData(), Events);
    if (wd < 0) {
        if (limitReached)
            *limitReached = errno == ENOSPC;
        return false;
    }
    m_folders.insert(wd, folder);
    return true;
}

void KFolderWatch::clear()
{
    for (auto it = m_folders.cbegin(); it != m_folders.cend(); ++it)
        inotify_rm_watch(m_fd, it.key());
    m_folders.clear();
}

int KFolderWatch::systemLimit()
{
    QFile file(QStringLiteral("/proc/sys/fs/inotify/max_user_watches"));
    if (!file.open(QIODevice::ReadOnly))
        return INT_MAX;
    bool ok = false;
    const int limit = file.read(32).trimmed().toInt(&ok);
    return ok && limit > 0 ? limit : INT_MAX;
}

void KFolderWatch::readEvents()
{
    alignas(inotify_event) char buffer[16 * 1024];
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length <= 0)
            return;
        for (const char* p = buffer; p < buffer + length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(p);
            p += sizeof(inotify_event) + event->len;
            if (event->mask & IN_IGNORED)
                m_folders.remove(event->wd);
            if (!event->len || (event->mask & IN_ISDIR))
                continue;
            const QString folder = m_folders.value(event->wd);
            if (!folder.isEmpty())
                emit fileChanged(folder + QLatin1Char('/') + QFile::decodeName(event->name));
        }
    }
}
