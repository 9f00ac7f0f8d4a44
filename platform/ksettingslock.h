#pragma once

#include <mutex>

// QSettings objects share a process-wide cache of settings files that Qt guards with its own
// lock. Qt is not built with ThreadSanitizer, so TSan cannot see that lock and reports every
// use from two threads as a race. The module uses each QSettings object under this lock, which
// TSan does see. It is held while a QSettings object reads or writes its file (a write waits
// for the file's lock against other processes and for the disk), never while waiting for
// another lock of the module.
namespace KSettingsLock {

std::mutex& mutex();

} // namespace KSettingsLock
