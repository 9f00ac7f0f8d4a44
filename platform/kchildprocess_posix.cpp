#include "platform/kbackgroundpriority.h"
#include "platform/kchildprocess.h"
#include "platform/kfileio.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

KChildProcess::KChildProcess(QObject* parent)
    : QProcess(parent)
{ }

KChildProcess::~KChildProcess()
{
    closeSecret();
    if (state() != NotRunning)
        stop(0);
}

QString KChildProcess::passSecret(const QByteArray& secret)
{
    closeSecret();
    int fds[2];
    // Close-on-exec on both ends: a program started meanwhile by another thread inherits neither.
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return QString();
    KFd reader(fds[0]);
    KFd writer(fds[1]);
    // A pipe holds far more than any password, so the write never waits for a reader.
    if (!KFileIO::writeAll(writer.get(), secret.constData(), secret.size()) || !writer.close())
        return QString();
    m_secretFd = reader.release();
    return QStringLiteral("/dev/fd/%1").arg(m_secretFd);
}

void KChildProcess::launch(const QString& program, const QStringList& arguments)
{
    start(program, arguments);
    closeSecret();
}

void KChildProcess::interrupt()
{
    // Before its exec the child still runs this program's signal handlers: it is interrupted only
    // once the program runs.
    if (state() == Starting && !waitForStarted())
        return;
    const qint64 pid = processId();
    if (state() == Running && pid > 0)
        ::kill(static_cast<pid_t>(pid), SIGINT);
}

bool KChildProcess::stop(int graceMSecs)
{
    if (state() == NotRunning)
        return true;
    interrupt();
    if (graceMSecs > 0 && waitForFinished(graceMSecs))
        return true;
    kill();
    waitForFinished(-1);
    return false;
}

void KChildProcess::setupChildProcess()
{
    // In the child, between fork and exec: system calls only.
    ::signal(SIGINT, SIG_DFL);
    if (m_secretFd >= 0)
        ::fcntl(m_secretFd, F_SETFD, 0);
    if (m_idle)
        KBackgroundPriority::lowerCallingThread();
}

void KChildProcess::closeSecret()
{
    if (m_secretFd >= 0) {
        ::close(m_secretFd);
        m_secretFd = -1;
    }
}
