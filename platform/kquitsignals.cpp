#include "platform/kquitsignals.h"

#include <QLoggingCategory>
#include <QSocketNotifier>

#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(vkSignals, "vaultkeep.platform")

namespace {

int g_pipe[2] = { -1, -1 };
std::atomic<bool> g_pending { false };
constexpr int Handled[] = { SIGTERM, SIGINT, SIGHUP };

extern "C" void onQuitSignal(int number)
{
    if (g_pending.exchange(true)) {
        // Asked twice: the quit the first asked for hangs.
        ::signal(number, SIG_DFL);
        ::raise(number);
        return;
    }
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // Nothing to do if the pipe is full: a quit is pending already.
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

KQuitSignals::KQuitSignals(QObject* parent)
    : QObject(parent)
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qCWarning(vkSignals) << "no pipe for the quit signals: they end the program at once";
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &KQuitSignals::onReadable);
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : Handled)
        ::sigaction(number, &action, nullptr);
}

KQuitSignals::~KQuitSignals()
{
    for (const int number : Handled)
        ::signal(number, SIG_DFL);
    delete m_notifier;
    for (int& fd : g_pipe) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    g_pending = false;
}

void KQuitSignals::onReadable()
{
    unsigned char byte = 0;
    if (::read(g_pipe[0], &byte, 1) == 1) {
        qCInfo(vkSignals) << "signal" << int(byte) << "asks the program to quit";
        emit quitRequested(int(byte));
    }
}
