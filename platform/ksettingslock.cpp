#include "platform/ksettingslock.h"

namespace KSettingsLock {

std::mutex& mutex()
{
    static std::mutex lock;
    return lock;
}

} // namespace KSettingsLock
