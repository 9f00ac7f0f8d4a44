// A library loaded and unloaded by tst_workerthread, as the host loads and unloads the plug-in:
// it runs a thread under a fault guard, which must take everything it installed with it.

#include "platform/kfaultguard.h"

#include <atomic>
#include <thread>

extern "C" __attribute__((visibility("default"))) int vk_run_guarded_thread()
{
    std::atomic<int> ran { 0 };
    std::thread worker([&ran] {
        const KFaultGuard guard([] {});
        const KFaultGuard nested([] {});
        ran = 1;
    });
    worker.join();
    return ran;
}
