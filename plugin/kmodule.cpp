// What libKVaultkeep.so does as the host unloads it.
//
// The system runs the library's termination function before it destroys the library's static
// objects: the module stops its threads there, while everything they use still exists. Then
// the objects go in the reverse order of their making (the engine saving the database once
// more), and the platform last.

#include "platform/kplatform.h"
#include "plugin/kvaultkeep.h"

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

// Runs first when the library is unloaded. (A process that ends with the library loaded
// destroys the static objects first; shutDown() then finds them gone and does nothing.)
__attribute__((destructor)) void unloadModule()
{
    KVaultkeepModule::shutDown();
}

} // namespace
