#include "service/kservices.h"

#include "core/kconfig.h"
#include "discovery/kdiskfilemanager.h"
#include "platform/kplatform.h"
#include "service/kfileservicemanager.h"
#include "service/koffsiteservice.h"
#include "storage/kdiskinfothread.h"

KServices KServices::process()
{
    return { KPlatform::instance(), KFileServiceManager::instance(), KDiskFileManager::instance(),
        KDiskInfoThread::instance(), KConfig::instance(), KOffsiteService::instance() };
}
