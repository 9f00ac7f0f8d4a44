#include "Widgets/icons/kfileiconprovider.h"

#include "core/kcommon.h"
#include "platform/kfileops.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QThread>

// The hash and the pending lists are guarded by a standard mutex (ThreadSanitizer sees it).
// Worker threads touch no icon at all: they only queue paths, and the GUI thread drains the queue
// after one data-less queued call, so nothing of ours travels through Qt's event queue.

KFileIconProvider::KFileIconProvider(QObject* parent)
    : QObject(parent)
{
    const QCoreApplication* app = QCoreApplication::instance();
    if (app && !parent && thread() != app->thread())
        moveToThread(app->thread());
    m_guiThread = thread();
    m_icons.insert(QStringLiteral("xlsx"), QIcon(QStringLiteral(":/Icons/Icons/excel.png")));
    KFileIconSink::install(this);
}

KFileIconProvider::~KFileIconProvider()
{
    KFileIconSink::uninstall(this);
}

KFileIconProvider* KFileIconProvider::instance()
{
    static KFileIconProvider provider;
    return &provider;
}

QString KFileIconProvider::suffixOf(const QString& path)
{
    return QFileInfo(path).suffix().toLower();
}

void KFileIconProvider::registerFile(const QString& path)
{
    if (path.isEmpty())
        return;
    const QString suffix = suffixOf(path);
    // The scanner reports every recent file on every cycle; a known suffix needs no look at the
    // disk, since nothing would be stored for it either way.
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        if (m_icons.contains(suffix) || m_pendingSuffixes.contains(suffix))
            return;
    }
    if (!KFileOps::status(path).exists)
        return;

    if (QThread::currentThread() == m_guiThread) {
        {
            const std::lock_guard<std::mutex> locker(m_mutex);
            if (m_icons.contains(suffix))
                return;
        }
        learn(path, suffix);
        return;
    }

    bool wakeGuiThread = false;
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        if (m_icons.contains(suffix) || m_pendingSuffixes.contains(suffix))
            return;
        m_pendingSuffixes.insert(suffix);
        wakeGuiThread = m_pendingPaths.isEmpty();
        m_pendingPaths.append(path);
    }
    if (wakeGuiThread)
        QMetaObject::invokeMethod(this, "learnPending", Qt::QueuedConnection);
}

void KFileIconProvider::learnPending()
{
    QStringList paths;
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        paths.swap(m_pendingPaths);
    }
    for (const QString& path : qAsConst(paths)) {
        const QString suffix = suffixOf(path);
        // Gone since it was queued: a later report of the suffix may try again.
        if (KFileOps::status(path).exists)
            learn(path, suffix);
        const std::lock_guard<std::mutex> locker(m_mutex);
        m_pendingSuffixes.remove(suffix);
    }
}

QIcon KFileIconProvider::themeIcon(const QString& fileName)
{
    // By the name only: reading the file to tell its type would be disk work on the GUI thread.
    static const QMimeDatabase types;
    const QMimeType type = types.mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault())
        return QIcon();
    const QIcon own = QIcon::fromTheme(type.iconName());
    return own.isNull() ? QIcon::fromTheme(type.genericIconName()) : own;
}

void KFileIconProvider::learn(const QString& path, const QString& suffix)
{
    // Asked outside the lock: the platform may be slow, and workers must not wait for it.
    QIcon icon = themeIcon(path);
    if (icon.isNull())
        icon = m_platformIcons.icon(QFileInfo(path));
    const std::lock_guard<std::mutex> locker(m_mutex);
    if (!m_icons.contains(suffix))
        m_icons.insert(suffix, icon);
}

QIcon KFileIconProvider::iconForFile(const QString& fileName) const
{
    const QString suffix = suffixOf(fileName);
    {
        const std::lock_guard<std::mutex> locker(m_mutex);
        const auto found = m_icons.constFind(suffix);
        if (found != m_icons.constEnd())
            return found.value();
    }
    auto known = m_themeIcons.find(suffix);
    if (known == m_themeIcons.end())
        known = m_themeIcons.insert(suffix, themeIcon(fileName));
    if (!known.value().isNull())
        return known.value();
    // Made once: every row of a file of an unknown kind asks for it.
    if (m_unknownIcon.isNull())
        m_unknownIcon = QIcon(KCommon::skinImagePath(QStringLiteral("unkownFile.png")));
    return m_unknownIcon;
}

bool KFileIconProvider::hasIcon(const QString& suffix) const
{
    const std::lock_guard<std::mutex> locker(m_mutex);
    return m_icons.contains(suffix);
}
