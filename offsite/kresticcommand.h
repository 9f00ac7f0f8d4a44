#pragma once

#include "offsite/koffsitetypes.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QStringList>

#include <functional>

class KChildProcess;

// How one run of restic ended.
struct KResticOutcome
{
    KOffsiteProblem problem = KOffsiteProblem::None;
    int exitCode = 0;
    // The end of what restic wrote to its error output, for the log.
    QByteArray errors;

    [[nodiscard]] bool ok() const { return problem == KOffsiteProblem::None; }
};

// One run of restic against one repository, in the background. The repository is named in
// restic's own environment and the password reaches it through a pipe only it inherits
// (RESTIC_PASSWORD_FILE=/dev/fd/N): neither appears in any command line, and no other child
// sees either. restic runs at idle priority.
class KResticCommand : public QObject
{
    Q_OBJECT

public:
    struct Setup
    {
        QString program;
        QString repository;
        QByteArray password;
    };

    explicit KResticCommand(const Setup& setup, QObject* parent = nullptr);
    ~KResticCommand() override;

    // Takes restic's standard output as it comes instead of in lines; returning false stops
    // restic, and the run then fails. Without a sink, a line over 32 MiB fails the run alike.
    void setOutputSink(std::function<bool(const char* data, qint64 size)> sink);

    // Runs restic with `arguments`; finished() follows, also when it cannot start.
    void start(const QStringList& arguments);
    bool isRunning() const;
    qint64 processId() const;
    // SIGINT, up to `graceMSecs` to end, then SIGKILL; blocks meanwhile. finished() follows
    // with the problem Stopped.
    void stop(int graceMSecs);

    // The program's full path, empty when there is none.
    static QString findProgram(const QString& program);
    // The kind of problem restic's exit and error output tell.
    static KOffsiteProblem classify(
        int exitCode, QProcess::ExitStatus status, const QByteArray& errors, const QString& repository);

signals:
    void lineRead(const QByteArray& line);
    void finished(const KResticOutcome& outcome);

private:
    void readOutput();
    void readErrors();
    void refuseOutput();
    void finish(int exitCode, QProcess::ExitStatus status);
    void finishWith(KOffsiteProblem problem);

    const Setup m_setup;
    QPointer<KChildProcess> m_process;
    std::function<bool(const char*, qint64)> m_sink;
    QByteArray m_pendingLine;
    QByteArray m_errors;
    bool m_stopped = false;
    bool m_outputRefused = false;
    bool m_finished = false;
    Q_DISABLE_COPY(KResticCommand)
};

Q_DECLARE_METATYPE(KResticOutcome)
