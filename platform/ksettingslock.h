#pragma once

#include <mutex>

// QSettings objects share a process-wide cache of settings files that Qt guards with its own
// lock. Qt is not built with ThreadSanitizer, so TSan cannot see that lock and reports every
// use from two threads as a race. The module uses each QSettings object under this lock, which
// TSan does see. Never held while waiting for anything else.
namespace KSettingsLock {

std::mutex& mutex();

} // namespace KSettingsLock
