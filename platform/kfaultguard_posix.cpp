#include "platform/kfaultguard.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <signal.h>
#include <system_error>
#include <thread>
#include <time.h>
#include <unistd.h>

// What a hardware fault in a guarded thread does on POSIX systems, and why.
//
// A fault cannot be survived soundly here: the faulting thread may hold any lock or have left
// any object half-changed, and jumping out of the handler (siglongjmp) would let the process
// run on in that state. So a fault still ends the process; the guard only makes sure it is
// reported first. The handler itself does nothing that is unsafe in a signal handler: it hands
// the guard to a helper thread through a pipe, sleeps until the helper has run the report or
// a few seconds have passed, and then passes the signal on as if the guard did not exist (to
// the handler installed before ours, or to the default action, which ends the process with
// the same signal and core dump). The report runs on the helper thread, an ordinary thread
// that may allocate and lock; if it blocks on something the faulting thread holds, the
// bounded wait still lets the process end. Every guarded thread gets an alternate signal
// stack, so that a stack overflow is reported too.
//
// The handlers and the helper thread exist only while a guard is armed: the first guard installs
// them, the last one to go removes them and puts back the handlers found before, so that a
// library holding this code can be unloaded (a handler or a thread left behind would run code
// that is gone). A handler someone installed after ours is left in place.

struct KFaultGuard::State
{
    std::function<void()> report;
    std::atomic<bool> claimed { false };
    std::atomic<bool> done { false };
    State* outer = nullptr;
    std::unique_ptr<char[]> altStack; // ours, when the thread had none
};

namespace {

constexpr int FaultSignals[] = { SIGSEGV, SIGBUS, SIGFPE, SIGILL };
constexpr int SignalCount = int(sizeof FaultSignals / sizeof FaultSignals[0]);
constexpr long ReportWaitMs = 3000;
constexpr std::size_t AltStackSize = 256 * 1024;

struct sigaction g_previous[SignalCount];
int g_reportPipe[2] = { -1, -1 };
// Written under g_installMutex; read by the signal handler only while a guard is armed.
bool g_installed = false;
std::mutex g_installMutex;
int g_armedGuards = 0; // under g_installMutex
std::thread g_reporter; // under g_installMutex

// Initial-exec, so that reading it inside the handler never allocates thread storage.
[[gnu::tls_model("initial-exec")]] thread_local KFaultGuard::State* t_state = nullptr;

void runReports()
{
    for (;;) {
        KFaultGuard::State* state = nullptr;
        const ssize_t got = ::read(g_reportPipe[0], &state, sizeof state);
        if (got == ssize_t(sizeof state)) {
            if (state->report)
                state->report();
            state->done.store(true);
        } else if (got < 0 && errno == EINTR) {
            continue;
        } else {
            return;
        }
    }
}

long monotonicMs()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return long(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void awaitReport(const KFaultGuard::State& state)
{
    const long deadline = monotonicMs() + ReportWaitMs;
    const timespec pause { 0, 10 * 1000 * 1000 };
    while (!state.done.load() && monotonicMs() < deadline)
        nanosleep(&pause, nullptr);
}

void passOn(int signal, siginfo_t* info, void* context)
{
    int index = 0;
    while (index < SignalCount && FaultSignals[index] != signal)
        ++index;
    if (index == SignalCount)
        return;
    const struct sigaction& previous = g_previous[index];
    if ((previous.sa_flags & SA_SIGINFO) != 0 && previous.sa_sigaction) {
        previous.sa_sigaction(signal, info, context);
        return;
    }
    if (!(previous.sa_flags & SA_SIGINFO) && previous.sa_handler != SIG_DFL
        && previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
        return;
    }
    sigaction(signal, &previous, nullptr);
    // A real fault runs its instruction again on return and meets the restored disposition; a
    // signal that was sent is sent again, and arrives once this handler has returned.
    if (info->si_code <= 0)
        raise(signal);
}

void onFault(int signal, siginfo_t* info, void* context)
{
    const int savedErrno = errno;
    KFaultGuard::State* state = t_state;
    if (state && !state->claimed.exchange(true)) {
        ssize_t written = -1;
        do {
            written = ::write(g_reportPipe[1], &state, sizeof state);
        } while (written < 0 && errno == EINTR);
        if (written == ssize_t(sizeof state))
            awaitReport(*state);
    }
    errno = savedErrno;
    passOn(signal, info, context);
}

// Under g_installMutex.
void install()
{
    if (::pipe2(g_reportPipe, O_CLOEXEC) != 0)
        return;
    try {
        g_reporter = std::thread(runReports);
    } catch (const std::system_error&) {
        ::close(g_reportPipe[0]);
        ::close(g_reportPipe[1]);
        return;
    }
    struct sigaction action = {};
    action.sa_sigaction = onFault;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < SignalCount; ++i)
        sigaction(FaultSignals[i], &action, &g_previous[i]);
    g_installed = true;
}

// Under g_installMutex.
void uninstall()
{
    if (!g_installed)
        return;
    for (int i = 0; i < SignalCount; ++i) {
        struct sigaction current = {};
        if (sigaction(FaultSignals[i], nullptr, &current) == 0 && (current.sa_flags & SA_SIGINFO) != 0
            && current.sa_sigaction == onFault) {
            sigaction(FaultSignals[i], &g_previous[i], nullptr);
        }
    }
    // The reporter reads the end of the pipe and leaves.
    ::close(g_reportPipe[1]);
    if (g_reporter.joinable())
        g_reporter.join();
    ::close(g_reportPipe[0]);
    g_reportPipe[0] = g_reportPipe[1] = -1;
    g_installed = false;
}

// The last resort when the library goes while a guard is still armed (a thread that was
// terminated without unwinding): nothing of it may stay behind.
struct Uninstaller
{
    ~Uninstaller()
    {
        const std::lock_guard<std::mutex> locker(g_installMutex);
        uninstall();
    }
} g_uninstaller;

} // namespace

KFaultGuard::KFaultGuard(std::function<void()> report)
    : m_state(new State)
{
    {
        const std::lock_guard<std::mutex> locker(g_installMutex);
        if (!g_installed)
            install();
        if (!g_installed)
            return;
        ++g_armedGuards;
    }
    m_state->report = std::move(report);
    stack_t current {};
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) != 0) {
        m_state->altStack.reset(new char[AltStackSize]);
        stack_t mine {};
        mine.ss_sp = m_state->altStack.get();
        mine.ss_size = AltStackSize;
        if (sigaltstack(&mine, nullptr) != 0)
            m_state->altStack.reset();
    }
    m_state->outer = t_state;
    t_state = m_state.get();
}

KFaultGuard::~KFaultGuard()
{
    if (t_state != m_state.get())
        return; // never armed
    t_state = m_state->outer;
    if (m_state->altStack) {
        stack_t off {};
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
    }
    const std::lock_guard<std::mutex> locker(g_installMutex);
    if (--g_armedGuards == 0)
        uninstall();
}
