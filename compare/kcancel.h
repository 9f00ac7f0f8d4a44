#pragma once

#include <atomic>
#include <memory>

// Asks a comparison running on a worker thread to stop: raised by whoever started it (a view
// that closed), or for every comparison at once while the module shuts down.
class KCancel
{
public:
    KCancel()
        : m_flag(std::make_shared<std::atomic_bool>(false))
    { }

    void cancel() const { m_flag->store(true); }
    bool isCancelled() const { return m_flag->load(std::memory_order_relaxed) || everything().load(); }

    // Raised by the module's shut-down, lowered again once every task has ended.
    static std::atomic_bool& everything()
    {
        static std::atomic_bool flag { false };
        return flag;
    }

private:
    std::shared_ptr<std::atomic_bool> m_flag;
};
