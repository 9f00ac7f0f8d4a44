// What the library does as it is unloaded, after every other object of the module is gone.

#include "platform/kplatform.h"

#include <QCoreApplication>
#include <QEvent>

namespace {

// Made as the library loads, before the module's process-wide objects (the entry points make
// those on their first call), and so destroyed after them.
struct KPlatformRelease
{
    ~KPlatformRelease()
    {
        // Objects of the module handed to deleteLater() while it went must not outlive its code.
        if (QCoreApplication::instance())
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        KPlatform::releaseNative();
    }
} const g_platformRelease;

} // namespace
