#include "knativeworkspace.h"
#include "ktestenvironment.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

namespace {

constexpr int StepTimeoutMs = 90000;

bool waitForOutput(QProcess& process, const QByteArray& text, QByteArray* seen)
{
    QDeadlineTimer deadline(StepTimeoutMs);
    while (!seen->contains(text)) {
        if (deadline.hasExpired() || process.state() == QProcess::NotRunning)
            return false;
        process.waitForReadyRead(200);
        *seen += process.readAllStandardOutput();
    }
    return true;
}

} // namespace

// Where the programs find the plug-in, the libraries it binds and the pictures: beside
// themselves in a build tree, in a prefix's private folders once installed.
class TestInstallLayout : public QObject
{
    Q_OBJECT

private slots:
    void theInstalledProgramRunsFromItsPrefix();

private:
    KTestEnvironment m_env;
};

// The real install rules into a prefix of their own; the installed program loads the plug-in and
// its libraries from there, and ends, saving, when its window is closed.
void TestInstallLayout::theInstalledProgramRunsFromItsPrefix()
{
    const QString prefix = m_env.path(QStringLiteral("prefix"));
    QProcess install;
    install.start(QStringLiteral(VK_CMAKE),
        { QStringLiteral("--install"), QStringLiteral(VK_BINARY_DIR), QStringLiteral("--prefix"), prefix });
    QVERIFY(install.waitForFinished(StepTimeoutMs));
    QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
    const QString bin = prefix + QStringLiteral("/" VK_INSTALL_BINDIR);
    QCOMPARE(QDir(bin).entryList(QDir::Files, QDir::Name),
        QStringList(
            { QStringLiteral("atrium"), QStringLiteral("vaultkeep"), QStringLiteral("vaultkeep-msg") }));

    const KNativeWorkspace machine;
    QVERIFY(machine.isValid());
    QProcess program;
    program.setProcessEnvironment(machine.environment());
    program.start(bin + QStringLiteral("/vaultkeep"), QStringList());
    QByteArray out;
    const QString libraries = prefix + QStringLiteral("/" VK_INSTALL_LIBDIR "/vaultkeep/");
    const QByteArray loaded
        = "atrium: the plug-in " + QFile::encodeName(libraries) + "libKVaultkeep.so is loaded";
    QVERIFY2(
        waitForOutput(program, loaded, &out), QByteArray(out + program.readAllStandardError()).constData());

    QFile maps(QStringLiteral("/proc/%1/maps").arg(program.processId()));
    QVERIFY(maps.open(QIODevice::ReadOnly));
    const QByteArray mapped = maps.readAll();
    for (const char* library : { "libPathmark.so", "libLedgerbase.so" })
        QVERIFY2(mapped.contains(QFile::encodeName(libraries) + library), library);

    QProcess message;
    message.setProcessEnvironment(machine.environment());
    message.start(bin + QStringLiteral("/vaultkeep-msg"),
        { QStringLiteral("post"), QStringLiteral("main"), QStringLiteral("quit") });
    QVERIFY(message.waitForFinished(StepTimeoutMs));
    QCOMPARE(message.exitCode(), 0);
    QVERIFY(waitForOutput(program, "saved its database", &out));
    QVERIFY(program.waitForFinished(StepTimeoutMs));
    QCOMPARE(program.exitCode(), 0);
    out += program.readAllStandardOutput();
    QCOMPARE(out.count("saved its database"), 1);

    // Photographing its pages, it ends by itself while its window is shown, and still releases the
    // plug-in once, not again as the window goes. In English: the translations are installed too.
    const QString shots = m_env.makeFolder(QStringLiteral("shots"));
    QProcess tour;
    QProcessEnvironment english = machine.environment();
    english.insert(QStringLiteral("LANGUAGE"), QStringLiteral("en"));
    tour.setProcessEnvironment(english);
    tour.start(bin + QStringLiteral("/vaultkeep"), { QStringLiteral("--screenshots"), shots });
    QVERIFY(tour.waitForFinished(StepTimeoutMs));
    QCOMPARE(tour.exitCode(), 0);
    QCOMPARE(tour.readAllStandardOutput().count("saved its database"), 1);
    const QByteArray told = tour.readAllStandardError();
    QVERIFY2(!told.contains("stays Chinese"), told.constData());
    QVERIFY(QFileInfo::exists(shots + QStringLiteral("home.png")));
}

QTEST_MAIN(TestInstallLayout)
#include "tst_installlayout.moc"
