#include "plugin/kvaultkeep.h"

#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/icons/kfileiconprovider.h"
#include "Widgets/main/kmainwidget.h"
#include "compare/kcomparetasks.h"
#include "core/kconfig.h"
#include "core/kfiletypemanager.h"
#include "core/klogging.h"
#include "core/kuilanguage.h"
#include "discovery/kdiskfilemanager.h"
#include "discovery/kledgerbase.h"
#include "platform/kplatform.h"
#include "platform/kviewcopies.h"
#include "service/kfileservicemanager.h"
#include "service/koffsiteservice.h"
#include "storage/kdiskinfothread.h"

#include <QCoreApplication>
#include <QEvent>

#include <atomic>

namespace {

// Whether the module's process-wide objects exist: from their making until their destruction.
std::atomic<bool> g_objectsAlive { false };

// Made as the library loads, before the process-wide objects, and so destroyed after them.
struct KObjectsGone
{
    ~KObjectsGone() { g_objectsAlive = false; }
} const g_objectsGone;

// The module's process-wide objects, made in the order in which they depend on each other, so
// that their destruction runs in the reverse order: the engine (which saves the database once
// more) after the threads that feed it, the platform's users before it.
void makeModuleObjects()
{
    static const bool made = [] {
        KPlatform::instance();
        AtriumUserDataLogUtils::instance();
        KConfig::instance();
        KFileTypeManager::instance();
        KLedgerbase::instance();
        KFileIconProvider::instance();
        KFileServiceManager::instance();
        KOffsiteService::instance();
        KDiskInfoThread::instance();
        KDiskFileManager::instance();
        g_objectsAlive = true;
        return true;
    }();
    Q_UNUSED(made)
}

// What the window handed to deleteLater() goes now: the host may unload the library before its
// event loop runs again.
void deleteDeferred()
{
    if (QCoreApplication::instance())
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The scanner and the disk monitor emit to the window's pages: they stop before the window goes,
// since Qt 5.15 can lose the slot object of a connection whose receiver is destroyed while
// another thread emits to it. Both leave their waits at once, and a backup cycle between two
// files. A window made again starts them anew.
void stopThreads()
{
    KDiskFileManager* scanner = KDiskFileManager::instance();
    KDiskInfoThread* monitor = KDiskInfoThread::instance();
    scanner->requestStop();
    monitor->requestStop();
    scanner->stopThread();
    monitor->stopThread();
}

// Comparisons and private copies run the module's code on their threads: they stop first. The
// read-only copies opened for the user go with the plug-in.
void endComparisons()
{
    KCompareTasks::shutDown();
    KViewCopies::removeAll();
}

} // namespace

QWidget* createFrame()
{
    // The host's setting, read again: the plug-in holds its own copy of the language, and a host
    // that is not ours installs no translations.
    KUiLanguage::applyChosen(KPlatform::instance()->configHomeFolder());
    makeModuleObjects();
    // A host that ends without unloading the library destroys the application before the
    // library's objects: the windows and threads then go while it still exists.
    qRemovePostRoutine(&KVaultkeepModule::shutDown);
    qAddPostRoutine(&KVaultkeepModule::shutDown);
    KMainWidget* window = KMainWidget::instance();
    // Above its sibling windows, whether or not the host has shown it yet.
    window->winId();
    window->raise();
    return window;
}

void releaseKVaultkeep()
{
    makeModuleObjects();
    // Saved once the scanner has stopped, so that it holds what a cycle ended midway recorded. A
    // database that cannot be written now is written again when the module is unloaded.
    stopThreads();
    KFileServiceManager* engine = KFileServiceManager::instance();
    if (engine->isDatabaseLoaded() && !engine->saveDatabase())
        qCWarning(vkEngine) << "the database could not be saved at release";
    endComparisons();
    delete KMainWidget::existingInstance();
    deleteDeferred();
    // restic's runs stop with the plug-in; what they left waits for the next start.
    KOffsiteService::instance()->shutdown();
}

namespace KVaultkeepModule {

void shutDown()
{
    if (!g_objectsAlive)
        return;
    qRemovePostRoutine(&KVaultkeepModule::shutDown);
    stopThreads();
    endComparisons();
    // The tips and notifications go with the window.
    delete KMainWidget::existingInstance();
    deleteDeferred();
    KOffsiteService::instance()->shutdown();
}

} // namespace KVaultkeepModule
