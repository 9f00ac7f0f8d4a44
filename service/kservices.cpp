#include "service/kservices.h"

#include "core/kconfig.h"
#include "discovery/kdiskfilemanager.h"
#include "platform/kplatform.h"
#include "service/kfileservicemanager.h"
#include "service/koffsiteservice.h"
#include "storage/kdiskinfothread.h"

KServices KServices::process()
{
    KPlatform* platform = KPlatform::instance();
    return { platform, KFileServiceManager::instance(), KDiskFileManager::instance(),
        KDiskInfoThread::instance(), KConfig::instance(), platform->desktopNotifications(),
        KOffsiteService::instance() };
}
