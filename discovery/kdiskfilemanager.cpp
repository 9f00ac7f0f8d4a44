#include "discovery/kdiskfilemanager.h"

#include "core/kfileiconsink.h"
#include "discovery/kdiscoverylog.h"
#include "discovery/kproductinfo.h"
#include "platform/kbackgroundpriority.h"
#include "platform/kplatform.h"

#include <QCoreApplication>
#include <QSet>

namespace {

constexpr int FullCycleCounter = 300;
constexpr int CounterStep = 10;

// Appends to the list of kind 4 the files no list names yet, so that no file is protected twice.
void appendUnlisted(const QStringList& files, std::array<QStringList, 5>* lists)
{
    if (files.isEmpty())
        return;
    QSet<QString> unlisted(files.cbegin(), files.cend());
    for (const QStringList& list : qAsConst(*lists)) {
        for (const QString& path : list)
            unlisted.remove(path);
    }
    for (const QString& path : files) {
        if (unlisted.contains(path))
            (*lists)[4].append(path);
    }
}

} // namespace

KDiskFileManager::KDiskFileManager(QObject* parent)
    : AtriumThread(parent)
{
    if (!parent && QCoreApplication::instance())
        moveToThread(QCoreApplication::instance()->thread());
}

KDiskFileManager::~KDiskFileManager()
{
    stopThread();
}

KDiskFileManager* KDiskFileManager::instance()
{
    static KDiskFileManager scanner;
    return &scanner;
}

bool KDiskFileManager::loadProductCatalog(const QString& path)
{
    return m_catalog.load(path);
}

void KDiskFileManager::startScan()
{
    m_stopRequested = false;
    startLoop();
}

void KDiskFileManager::stopScan()
{
    m_stopRequested = true;
}

void KDiskFileManager::backUpNow()
{
    m_backupNowRequested = true;
    {
        const std::lock_guard<std::mutex> locker(m_loopMutex);
        if (m_looping && isRunning()) {
            wakeUp();
            return;
        }
        // Not scanning on its own: the thread runs for this one cycle.
        m_stopRequested = true;
    }
    startLoop();
}

void KDiskFileManager::startLoop()
{
    {
        const std::lock_guard<std::mutex> locker(m_loopMutex);
        // (A thread ended by force never said so.)
        if (m_looping && isRunning())
            return;
        m_looping = true;
    }
    // A thread that has just decided to end is past all of its work.
    if (isRunning())
        wait();
    start();
}

bool KDiskFileManager::keepRunning()
{
    const std::lock_guard<std::mutex> locker(m_loopMutex);
    if (!isStopRequested() && (!m_stopRequested || m_backupNowRequested))
        return true;
    m_looping = false;
    return false;
}

qint64 KDiskFileManager::nextBackupAt() const
{
    const int cycles = (FullCycleCounter - m_cycleCounter) / CounterStep + 1;
    return KPlatform::instance()->currentMSecsSinceEpoch() + qint64(cycles) * m_cycleIntervalMs;
}

void KDiskFileManager::requestAutoClean()
{
    m_autoCleanRequested = true;
}

QStringList KDiskFileManager::foundFiles(int kind) const
{
    const std::lock_guard<std::mutex> locker(m_listsMutex);
    return kind >= 0 && kind < int(m_lists.size()) ? m_lists[size_t(kind)] : QStringList();
}

void KDiskFileManager::doWork()
{
    KBackgroundPriority::lowerCallingThread();
    if (!loadProductCatalog(KProductCatalog::builtInPath()))
        qCWarning(lcDiscovery) << "the built-in product catalog cannot be read";
    if (!notifyScannerStart())
        qCInfo(lcDiscovery) << "no database yet; protection starts anew";
    // A stop of the scan is seen once the wait has run out, unless a backup is asked for; a stop
    // of the thread (the module going away) ends the wait at once.
    while (keepRunning()) {
        runCycle(m_backupNowRequested.exchange(false) ? CycleKind::Requested : CycleKind::Counted);
        if (!keepRunning())
            break;
        emit sigNextBackupAt(nextBackupAt());
        sleepInterruptibly(m_cycleIntervalMs);
    }
    {
        const std::lock_guard<std::mutex> locker(m_loopMutex);
        m_looping = false;
    }
    emit sigNextBackupAt(-1);
}

void KDiskFileManager::runCycle(CycleKind kind)
{
    scan();
    registerIcons();
    // A thread told to stop while it scanned leaves the rest of the cycle to its next start.
    if (isStopRequested())
        return;
    if (m_autoCleanRequested.exchange(false))
        notifyCleanUpRequested();
    // A forced full pass leaves the counter's rhythm alone; one the user asked for starts it anew.
    bool full = kind != CycleKind::Counted;
    if (kind == CycleKind::Counted) {
        full = m_cycleCounter >= FullCycleCounter;
        m_cycleCounter = full ? 0 : m_cycleCounter + CounterStep;
    } else if (kind == CycleKind::Requested) {
        m_cycleCounter = 0;
    }
    notifyCycle(full);
}

void KDiskFileManager::scanOnce()
{
    scan();
    registerIcons();
    notifyCycle(false);
}

void KDiskFileManager::notifyCycle(bool backupAllowed)
{
    // The observers run on this thread and are handed the lists themselves; only the scan on
    // this same thread writes them.
    notifyScanBegin();
    for (int kind = 0; kind < int(m_lists.size()); ++kind)
        notifyFilesFound(&m_lists[size_t(kind)], kind, backupAllowed);
    notifyScanFinished();
}

void KDiskFileManager::scan()
{
    std::array<QStringList, 5> lists;
    const auto& products = m_catalog.products();
    for (auto it = products.cbegin(); it != products.cend(); ++it) {
        const KProductInfo* product = it.value();
        const QString code = product->code();
        if (code == QLatin1String("Office")) {
            m_recentFiles.readOfficeDocuments(&lists[4]);
        } else if (code == QLatin1String("CAD")) {
            m_recentFiles.readCadDrawings(&lists[4]);
        } else if (code.contains(QLatin1String("CVA"))) {
            m_recentFiles.readCivilModels(product->recentFile(), &lists[1]);
        } else if (code.contains(QLatin1String("PRA4"))) {
            KRecentFileScan::readProductList(product->recentFile(), &lists[0]);
        } else if (code.contains(QLatin1String("RBA"))) {
            KRecentFileScan::readProductList(product->recentFile(), &lists[2]);
        } else if (code.contains(QLatin1String("INA"))) {
            KRecentFileScan::readProductList(product->recentFile(), &lists[3]);
        }
    }
    appendUnlisted(m_desktopRecentFiles.documents(), &lists);
    {
        const std::lock_guard<std::mutex> locker(m_listsMutex);
        m_lists = lists;
    }
    emit sigScanFinished();
}

void KDiskFileManager::registerIcons()
{
    for (const QStringList& list : m_lists) {
        for (const QString& path : list)
            KFileIconSink::registerFile(path);
    }
}
