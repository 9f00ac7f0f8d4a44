#include "platform/kbackgroundpriority.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// From linux/ioprio.h, which Debian's C library headers do not carry.
constexpr int IoprioWhoProcess = 1;
constexpr int IoprioClassIdle = 3;
constexpr int IoprioClassShift = 13;

} // namespace

void KBackgroundPriority::lowerCallingThread()
{
    // On Linux both apply to the calling thread alone. Failure leaves the work at the user's
    // priority, which is slower for the window, not wrong.
    ::setpriority(PRIO_PROCESS, 0, 10);
    ::syscall(SYS_ioprio_set, IoprioWhoProcess, 0, IoprioClassIdle << IoprioClassShift);
}
