#include "service/ksavewatcher.h"

#include "core/klogging.h"
#include "platform/kfolderwatch.h"
#include "platform/kplatform.h"
#include "service/kfileservicemanager.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

KSaveWatcher::KSaveWatcher(KFileServiceManager* engine, KPlatform* platform, QObject* parent)
    : QObject(parent)
    , m_engine(engine)
    , m_platform(platform)
    , m_watch(new KFolderWatch(this))
    , m_timer(new QTimer(this))
    , m_folderLimit(std::min(MaxFolders, KFolderWatch::systemLimit()))
{
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &KSaveWatcher::backUpQuietFiles);
    connect(m_watch, &KFolderWatch::fileChanged, this, &KSaveWatcher::onFileChanged);
}

KSaveWatcher::~KSaveWatcher() = default;

void KSaveWatcher::followListedFiles()
{
    setFiles(m_engine->listedFiles());
}

void KSaveWatcher::setFiles(const QStringList& files)
{
    m_files.clear();
    QSet<QString> folders;
    for (const QString& path : files) {
        const QString clean = QDir::cleanPath(path);
        m_files.insert(clean, path);
        folders.insert(QFileInfo(clean).path());
    }
    if (folders == m_folders)
        return;
    m_folders = folders;
    m_watch->clear();
    bool limitReached = folders.size() > m_folderLimit;
    m_watching = m_watch->isValid() && !limitReached;
    for (auto it = folders.cbegin(); m_watching && it != folders.cend(); ++it) {
        // A folder gone meanwhile is the cycle's to notice.
        if (!m_watch->addFolder(*it, &limitReached) && limitReached)
            m_watching = false;
    }
    if (!m_watching) {
        m_watch->clear();
        if (!m_fallbackLogged) {
            m_fallbackLogged = true;
            qCWarning(vkEngine) << "saves are not watched:" << folders.size()
                                << "folders are more than can be watched; the cycles alone back up";
        }
    }
}

void KSaveWatcher::onFileChanged(const QString& path)
{
    const auto listed = m_files.constFind(path);
    if (!m_watching || listed == m_files.cend())
        return;
    m_due.insert(listed.value(), m_platform->currentMSecsSinceEpoch() + QuietMs);
    schedule();
}

void KSaveWatcher::backUpQuietFiles()
{
    const qint64 now = m_platform->currentMSecsSinceEpoch();
    QStringList quiet;
    for (auto it = m_due.begin(); it != m_due.end();) {
        if (it.value() > now) {
            ++it;
            continue;
        }
        quiet << it.key();
        it = m_due.erase(it);
    }
    if (!quiet.isEmpty()) {
        for (const QString& path : m_engine->backUpSavedFiles(quiet))
            emit sigBackedUp(path);
    }
    schedule();
}

void KSaveWatcher::schedule()
{
    if (m_due.isEmpty()) {
        m_timer->stop();
        return;
    }
    const qint64 next = *std::min_element(m_due.cbegin(), m_due.cend());
    m_timer->start(int(std::clamp<qint64>(next - m_platform->currentMSecsSinceEpoch(), 0, QuietMs)));
}
