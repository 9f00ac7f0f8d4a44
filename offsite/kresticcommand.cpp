#include "offsite/kresticcommand.h"

#include "platform/kchildprocess.h"

#include <QDir>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QStandardPaths>

namespace {

// restic's error output is kept for the log, its end only.
constexpr int MaxErrorBytes = 16 * 1024;
// `snapshots` and `find` print their whole answer as one line, some hundred bytes a snapshot; a
// longer line stops restic rather than grow without end.
constexpr int MaxLineBytes = 32 * 1024 * 1024;

bool mentionsAny(const QByteArray& text, std::initializer_list<const char*> words)
{
    for (const char* word : words) {
        if (text.contains(word))
            return true;
    }
    return false;
}

// A repository in a local folder whose parent is gone is on a disk that is not connected.
bool isLocalFolderAway(const QString& repository)
{
    if (repository.isEmpty()
        || (!repository.startsWith(QLatin1Char('/')) && !repository.startsWith(QStringLiteral("local:"))))
        return false;
    QString path = repository.startsWith(QStringLiteral("local:")) ? repository.mid(6) : repository;
    return !QFileInfo(QFileInfo(path).absolutePath()).isDir();
}

} // namespace

KResticCommand::KResticCommand(const Setup& setup, QObject* parent)
    : QObject(parent)
    , m_setup(setup)
{ }

KResticCommand::~KResticCommand()
{
    if (m_process) {
        m_process->disconnect(this);
        m_process->stop(0);
    }
}

void KResticCommand::setOutputSink(std::function<bool(const char*, qint64)> sink)
{
    m_sink = std::move(sink);
}

QString KResticCommand::findProgram(const QString& program)
{
    if (program.contains(QLatin1Char('/')))
        return QFileInfo(program).isExecutable() ? program : QString();
    return QStandardPaths::findExecutable(program);
}

void KResticCommand::start(const QStringList& arguments)
{
    const QString program = findProgram(m_setup.program);
    if (program.isEmpty()) {
        finishWith(KOffsiteProblem::NotInstalled);
        return;
    }
    if (m_setup.password.isEmpty()) {
        finishWith(KOffsiteProblem::NoPassword);
        return;
    }
    m_process = new KChildProcess(this);
    m_process->setIdlePriority(true);
    const QString passwordFile = m_process->passSecret(m_setup.password);
    if (passwordFile.isEmpty()) {
        finishWith(KOffsiteProblem::Failed);
        return;
    }
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : { QStringLiteral("RESTIC_PASSWORD"), QStringLiteral("RESTIC_PASSWORD_COMMAND"),
             QStringLiteral("RESTIC_PASSWORD_FILE"), QStringLiteral("RESTIC_REPOSITORY_FILE") })
        environment.remove(name);
    environment.insert(QStringLiteral("RESTIC_REPOSITORY"), m_setup.repository);
    environment.insert(QStringLiteral("RESTIC_PASSWORD_FILE"), passwordFile);
    m_process->setProcessEnvironment(environment);
    m_process->setWorkingDirectory(QDir::rootPath());
    connect(m_process.data(), &QProcess::readyReadStandardOutput, this, &KResticCommand::readOutput);
    connect(m_process.data(), &QProcess::readyReadStandardError, this, &KResticCommand::readErrors);
    connect(m_process.data(), QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
        &KResticCommand::finish);
    connect(m_process.data(), &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finishWith(KOffsiteProblem::NotInstalled);
    });
    qCDebug(vkOffsite) << "restic" << arguments;
    m_process->launch(program, arguments);
}

bool KResticCommand::isRunning() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

qint64 KResticCommand::processId() const
{
    return m_process ? m_process->processId() : 0;
}

void KResticCommand::stop(int graceMSecs)
{
    if (!isRunning())
        return;
    m_stopped = true;
    m_process->stop(graceMSecs);
}

void KResticCommand::readOutput()
{
    const QByteArray data = m_process->readAllStandardOutput();
    if (m_outputRefused)
        return;
    if (m_sink) {
        if (!m_sink(data.constData(), data.size()))
            refuseOutput();
        return;
    }
    m_pendingLine += data;
    int start = 0;
    for (int end = m_pendingLine.indexOf('\n'); end >= 0; end = m_pendingLine.indexOf('\n', start)) {
        emit lineRead(m_pendingLine.mid(start, end - start));
        start = end + 1;
    }
    m_pendingLine.remove(0, start);
    if (m_pendingLine.size() > MaxLineBytes) {
        qCWarning(vkOffsite) << "restic wrote a line longer than" << MaxLineBytes << "bytes";
        refuseOutput();
    }
}

void KResticCommand::refuseOutput()
{
    m_outputRefused = true;
    m_pendingLine.clear();
    m_process->interrupt();
}

void KResticCommand::readErrors()
{
    m_errors += m_process->readAllStandardError();
    if (m_errors.size() > MaxErrorBytes)
        m_errors.remove(0, m_errors.size() - MaxErrorBytes);
}

KOffsiteProblem KResticCommand::classify(
    int exitCode, QProcess::ExitStatus status, const QByteArray& errors, const QString& repository)
{
    if (status == QProcess::NormalExit && (exitCode == 0 || exitCode == 3))
        return KOffsiteProblem::None; // 3: a snapshot was made, some files could not be read
    if (errors.contains("wrong password"))
        return KOffsiteProblem::WrongPassword;
    if (errors.contains("repository is already locked"))
        return KOffsiteProblem::Busy;
    if (mentionsAny(errors,
            { "dial tcp", "connection refused", "no such host", "network is unreachable", "i/o timeout",
                "connection reset", "unable to start the sftp session", "ssh: ", "TLS handshake",
                "no route to host", "context deadline exceeded" })
        || isLocalFolderAway(repository))
        return KOffsiteProblem::Unreachable;
    if (errors.contains("Is there a repository at the following location?"))
        return KOffsiteProblem::NotARepository;
    return KOffsiteProblem::Failed;
}

void KResticCommand::finish(int exitCode, QProcess::ExitStatus status)
{
    readOutput();
    readErrors();
    if (!m_sink && !m_outputRefused && !m_pendingLine.isEmpty()) {
        emit lineRead(m_pendingLine);
        m_pendingLine.clear();
    }
    if (m_finished)
        return;
    m_finished = true;
    KResticOutcome outcome;
    outcome.exitCode = status == QProcess::NormalExit ? exitCode : -1;
    outcome.errors = m_errors;
    if (m_stopped)
        outcome.problem = KOffsiteProblem::Stopped;
    else if (m_outputRefused)
        outcome.problem = KOffsiteProblem::Failed;
    else
        outcome.problem = classify(exitCode, status, m_errors, m_setup.repository);
    if (!outcome.ok() && outcome.problem != KOffsiteProblem::Stopped)
        qCWarning(vkOffsite).noquote()
            << "restic ended with" << outcome.exitCode << QString::fromUtf8(m_errors);
    emit finished(outcome);
}

void KResticCommand::finishWith(KOffsiteProblem problem)
{
    if (m_finished)
        return;
    m_finished = true;
    KResticOutcome outcome;
    outcome.problem = problem;
    outcome.exitCode = -1;
    qCWarning(vkOffsite) << "restic could not run:" << offsiteProblemText(problem);
    // Always after start() has returned, as for a program that ran.
    QMetaObject::invokeMethod(
        this, [this, outcome] { emit finished(outcome); }, Qt::QueuedConnection);
}
