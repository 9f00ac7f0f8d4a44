#pragma once

#include <QByteArray>
#include <QProcess>

// A child program run as background work should run: at idle processor and disk priority, handed
// a secret through a pipe that it alone inherits (never through its arguments or its
// environment), and stopped so that it can clean up after itself.
class KChildProcess : public QProcess
{
    Q_OBJECT

public:
    explicit KChildProcess(QObject* parent = nullptr);
    ~KChildProcess() override;

    // Nice 10 and the idle I/O class, set in the child before it runs the program.
    void setIdlePriority(bool idle) { m_idle = idle; }

    // Writes `secret` into a new pipe whose reading end only this child inherits, and gives the
    // path the child reads it from ("/dev/fd/N"); empty on failure. The pipe is closed in this
    // process as soon as the child has started.
    QString passSecret(const QByteArray& secret);

    // Starts `program`; the secret's pipe is handed over and closed here whatever happens.
    void launch(const QString& program, const QStringList& arguments);

    // Asks the program to stop (SIGINT) without waiting.
    void interrupt();
    // Asks the program to stop, waits up to `graceMSecs` for it, then kills it. Blocks the
    // calling thread meanwhile; true when it ended of its own accord.
    bool stop(int graceMSecs);

protected:
    void setupChildProcess() override;

private:
    void closeSecret();

    int m_secretFd = -1;
    bool m_idle = false;
    Q_DISABLE_COPY(KChildProcess)
};
