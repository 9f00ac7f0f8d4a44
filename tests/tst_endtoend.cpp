#include "knativeworkspace.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <functional>

namespace {

// How long any step of the story may take, however slow the build (sanitizers).
constexpr int StepTimeoutMs = 90000;

struct Run
{
    int exitCode = -1;
    QString out;
};

} // namespace

// The product as a user has it: the stand-in host with the plug-in on a private X server, a
// project file in a pricing product's recent-file list, the host's messages sent by
// vaultkeep-msg, the windows found and the keys pressed with xdotool.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void aProjectFileIsBackedUpAndItsVersionsShown();

private:
    Run run(const QString& program, const QStringList& arguments);
    Run xdotool(const QStringList& arguments) { return run(QStringLiteral("xdotool"), arguments); }
    Run message(const QStringList& arguments) { return run(QStringLiteral(VK_MSG_TOOL), arguments); }
    // Polls `condition` until it holds or the step's time is up.
    static bool eventually(const std::function<bool()>& condition);
    // The windows whose title matches `pattern`, shown ones only when `visible`.
    QStringList windows(const QString& pattern, bool visible = false);

    KNativeWorkspace m_machine;
    QProcessEnvironment m_environment;
    QProcess m_xserver;
    QProcess m_host;
};

void TestEndToEnd::initTestCase()
{
    QVERIFY(m_machine.isValid());
    // A display of its own: the server writes the number it took. It must not reset when its
    // last client leaves (xdotool between the steps): a program connecting meanwhile fails.
    m_xserver.start(QStringLiteral("Xvfb"),
        { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
            QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
            QStringLiteral("-noreset") });
    QVERIFY2(m_xserver.waitForStarted(), "Xvfb cannot be started (tools/install-deps installs it)");
    QVERIFY(
        eventually([this] { return m_xserver.canReadLine() || m_xserver.state() == QProcess::NotRunning; }));
    const QByteArray display = m_xserver.readLine().trimmed();
    QVERIFY2(!display.isEmpty(), "Xvfb gave no display number");

    m_environment = m_machine.environment();
    m_environment.insert(QStringLiteral("DISPLAY"), QLatin1Char(':') + QString::fromLatin1(display));
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // Nothing here draws with OpenGL; the software GL driver Qt would load for every window
    // leaves a buffer behind when it is unloaded, which the leak checker takes for ours.
    m_environment.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
    QVERIFY2(xdotool({ QStringLiteral("getmouselocation") }).exitCode == 0,
        "xdotool cannot reach the display (tools/install-deps installs it)");
}

void TestEndToEnd::cleanupTestCase()
{
    for (QProcess* process : { &m_host, &m_xserver }) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->terminate();
        if (!process->waitForFinished(10000)) {
            process->kill();
            process->waitForFinished();
        }
    }
}

Run TestEndToEnd::run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessEnvironment(m_environment);
    process.start(program, arguments);
    Run result;
    if (!process.waitForStarted() || !process.waitForFinished(StepTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    return result;
}

bool TestEndToEnd::eventually(const std::function<bool()>& condition)
{
    const QDeadlineTimer deadline(StepTimeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

QStringList TestEndToEnd::windows(const QString& pattern, bool visible)
{
    QStringList arguments { QStringLiteral("search") };
    if (visible)
        arguments << QStringLiteral("--onlyvisible");
    arguments << QStringLiteral("--name") << pattern;
    const Run found = xdotool(arguments);
    return found.exitCode == 0 ? found.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts) : QStringList();
}

void TestEndToEnd::aProjectFileIsBackedUpAndItsVersionsShown()
{
    const QByteArray asSaved("阳光小区3号楼 投标报价 v1\n");
    const QString project = m_machine.writeFile(QStringLiteral("工程/阳光小区3号楼.pra4"), asSaved);
    QVERIFY(!project.isEmpty());
    m_machine.setPricingList({ project });

    m_host.setProcessEnvironment(m_environment);
    m_host.start(QStringLiteral(VK_ATRIUM), QStringList());
    QVERIFY(m_host.waitForStarted());

    // The first cycle backs the file up, and the host's window shows the total it was posted.
    QVERIFY2(
        eventually([this] { return !windows(QStringLiteral("^Atrium - Vaultkeep: 1 backups")).isEmpty(); }),
        qPrintable(QString::fromUtf8(m_host.readAllStandardError())));
    QVERIFY(!windows(QStringLiteral("^TarselVaultkeep$"), true).isEmpty());

    // A sibling program asks for the file's versions: the version dialog opens.
    const Run asked = message(
        { QStringLiteral("copydata"), QStringLiteral("main"), QStringLiteral("show-versions"), project });
    QVERIFY2(asked.exitCode == 0, qPrintable(asked.out));
    const QString versionDialog = QStringLiteral("^文件备份列表$");
    QVERIFY(eventually([&] { return !windows(versionDialog, true).isEmpty(); }));
    // The user closes it with Escape.
    QCOMPARE(
        xdotool({ QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                    windows(versionDialog, true).first(), QStringLiteral("key"), QStringLiteral("Escape") })
            .exitCode,
        0);
    QVERIFY(eventually([&] { return windows(versionDialog, true).isEmpty(); }));

    // The user goes on working on the file.
    QVERIFY(!m_machine.writeFile(QStringLiteral("工程/阳光小区3号楼.pra4"), "阳光小区3号楼 投标报价 v2\n")
                 .isEmpty());

    // The quit message hides the plug-in's window; activating shows it again.
    QCOMPARE(message({ QStringLiteral("post"), QStringLiteral("main"), QStringLiteral("quit") }).exitCode, 0);
    QVERIFY(eventually([this] { return windows(QStringLiteral("^TarselVaultkeep$"), true).isEmpty(); }));
    QCOMPARE(message({ QStringLiteral("post"), QStringLiteral("main"), QStringLiteral("2029") }).exitCode, 0);
    QVERIFY(eventually([this] { return !windows(QStringLiteral("^TarselVaultkeep$"), true).isEmpty(); }));

    // Closing the host lets the plug-in go: it saves the database and is unloaded.
    const QStringList host = windows(QStringLiteral("^Atrium"), true);
    QCOMPARE(host.size(), 1);
    QCOMPARE(xdotool({ QStringLiteral("windowfocus"), QStringLiteral("--sync"), host.first(),
                         QStringLiteral("key"), QStringLiteral("ctrl+q") })
                 .exitCode,
        0);
    QVERIFY(m_host.waitForFinished(StepTimeoutMs));
    QVERIFY2(m_host.exitStatus() == QProcess::NormalExit && m_host.exitCode() == 0,
        qPrintable(QString::fromUtf8(m_host.readAllStandardError())));
    QVERIFY(QString::fromUtf8(m_host.readAllStandardOutput()).contains(QStringLiteral("was unloaded")));

    // The database lists the version, whose copy holds the file as it was when backed up.
    const QMap<QString, QStringList> versions = KNativeWorkspace::databaseVersions(m_machine.databaseFile());
    QCOMPARE(versions.value(project).size(), 1);
    QFile copy(m_machine.backupFolder() + QLatin1Char('/') + versions.value(project).first());
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), asSaved);
    QCOMPARE(m_machine.backupsDisagreeWithDatabase(), QString());
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
