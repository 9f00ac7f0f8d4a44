#pragma once

#include <functional>
#include <memory>

// Reports a hardware fault of the current thread (invalid memory access, bus error, arithmetic
// fault, illegal instruction) before the process ends. Guards may nest; the innermost reports.
// The process-wide signal handlers and the helper thread that runs reports exist only while a
// guard is armed; when the last one goes, the handlers found before are put back.
class KFaultGuard final
{
public:
    // Until the guard is destroyed, a fault on this thread runs `report` on a helper thread,
    // waits a bounded time for it, and then lets the fault end the process as it would have.
    // `report` runs while the faulting thread is stopped, possibly holding locks: it should
    // only use what was prepared beforehand.
    explicit KFaultGuard(std::function<void()> report);
    ~KFaultGuard();

    KFaultGuard(const KFaultGuard&) = delete;
    KFaultGuard& operator=(const KFaultGuard&) = delete;

    struct State;

private:
    std::unique_ptr<State> m_state;
};
