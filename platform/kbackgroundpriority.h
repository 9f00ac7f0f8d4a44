#pragma once

// Work nobody waits for (the cycles that back files up, the backups after saves, off-site
// uploads) gives way to the user's programs and to the window's thread: on two busy cores a
// cycle at the same priority kept the window from its events for up to 15 ms at a time.
namespace KBackgroundPriority {

// Nice 10 for the calling thread's processor time and the idle class for its disk I/O, both
// inherited by the threads and children it starts. Only system calls: a child may call it
// between fork and exec.
void lowerCallingThread();

} // namespace KBackgroundPriority
