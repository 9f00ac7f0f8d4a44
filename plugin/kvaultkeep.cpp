#include "plugin/kvaultkeep.h"

#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/icons/kfileiconprovider.h"
#include "Widgets/main/kmainwidget.h"
#include "Widgets/tips/ktipmsgmanager.h"
#include "core/kconfig.h"
#include "core/kfileservicemanager.h"
#include "discovery/kdiskfilemanager.h"
#include "discovery/kfiletypemanager.h"
#include "discovery/kledgerbase.h"
#include "platform/kplatform.h"
#include "storage/kdiskinfothread.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

// The module's process-wide objects, made in the order in which they depend on each other, so
// that unloading the library destroys them in the reverse order: first the tip windows, then the
// scanner and the disk monitor, whose destructors stop their threads while everything those
// threads use still exists, then the engine, which saves the database once more, and the rest.
void makeModuleObjects()
{
    static const bool made = [] {
        KPlatform::instance();
        AtriumUserDataLogUtils::instance();
        // Reading the backup counter opens the emulated registry, which the threads use to the end.
        KConfig::instance()->totalBackupCount();
        KFileTypeManager::instance();
        KLedgerbase::instance();
        KFileIconProvider::instance();
        KFileServiceManager::instance();
        KDiskInfoThread::instance();
        KDiskFileManager::instance();
        KTipMsgManager::instance();
        return true;
    }();
    Q_UNUSED(made)
}

} // namespace

QWidget* createFrame()
{
    makeModuleObjects();
    KMainWidget* window = KMainWidget::instance();
    // Above its sibling windows, whether or not the host has shown it yet.
    window->winId();
    window->raise();
    return window;
}

void releaseKVaultkeep()
{
    makeModuleObjects();
    KFileServiceManager::instance()->saveDatabase();
    delete KMainWidget::existingInstance();
    // What the window handed to deleteLater() goes now: the host may unload the library before
    // its event loop runs again.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}
