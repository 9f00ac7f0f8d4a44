#include "AtriumCommon/atriummessages.h"
#include "Widgets/main/atriummsgframe.h"
#include "core/atriumthread.h"
#include "knativeworkspace.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLibrary>
#include <QPointer>
#include <QtTest>

#include <algorithm>
#include <csignal>

namespace {

using CreateFrame = QWidget* (*)();
using Release = void (*)();

// The host's window as far as the plug-in is concerned: it counts the cycles the plug-in reports.
class HostWindow final : public AtriumMsgFrame
{
public:
    HostWindow() { claimed = setWindowProperty(QString::fromLatin1(AtriumWindowProperty::AtriumMainFrame)); }

    bool claimed = false;
    int reports = 0; // backup totals posted, one per cycle

protected:
    bool nativeEvent(const QByteArray& eventType, void* message, long* result) override
    {
        const auto* msg = static_cast<const MSG*>(message);
        if (eventType == KNativeMessageEventType && msg->message == AtriumMessage::VaultkeepState
            && msg->wParam == AtriumMessage::StateTotalBackups)
            ++reports;
        return AtriumMsgFrame::nativeEvent(eventType, message, result);
    }
};

// Whether the library is mapped into this process.
bool isMapped(const QString& library)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(QFile::encodeName(library));
}

int threadCount()
{
    return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
}

void previousHandler(int)
{ }

int backupCopies(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files).size();
}

} // namespace

// libKVaultkeep.so as the host uses it: loaded, asked for its window, released and unloaded,
// again and again in one process, with the module's threads in whatever state they are.
class TestPluginLibrary : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void hundredRoundsLeaveNothingBehind();
    void releasingMidCycleIsPromptAndLosesNothing();

private:
    // Loads the library and makes its window; the library stays loaded until release().
    QWidget* load();
    void release();
    // How many of `files` have a version of their state modified at `modified`.
    int filesBackedUpAt(const QStringList& files, const QDateTime& modified) const;

    KNativeWorkspace m_machine;
    QScopedPointer<HostWindow> m_host;
    QLibrary m_library { QStringLiteral(VK_PLUGIN_LIBRARY) };
};

void TestPluginLibrary::initTestCase()
{
    QVERIFY(m_machine.isValid());
    m_host.reset(new HostWindow);
    QVERIFY(m_host->claimed);
}

QWidget* TestPluginLibrary::load()
{
    if (!m_library.load())
        return nullptr;
    const auto createFrame = reinterpret_cast<CreateFrame>(m_library.resolve("createFrame"));
    return createFrame ? createFrame() : nullptr;
}

void TestPluginLibrary::release()
{
    const auto releaseKVaultkeep = reinterpret_cast<Release>(m_library.resolve("releaseKVaultkeep"));
    QVERIFY(releaseKVaultkeep);
    releaseKVaultkeep();
    QVERIFY(m_library.unload());
    QVERIFY2(!isMapped(QStringLiteral(VK_PLUGIN_LIBRARY)), "the system kept the library loaded");
}

void TestPluginLibrary::hundredRoundsLeaveNothingBehind()
{
    const QByteArray content("project");
    const QString project = m_machine.writeFile(QStringLiteral("工程/报价.pra4"), content);
    m_machine.setPricingList({ project });

    const QWidgetList windowsBefore = QApplication::topLevelWidgets();
    // The fault handlers of the module's guarded threads must give back the ones found before.
    struct sigaction mine = {};
    mine.sa_handler = previousHandler;
    struct sigaction saved = {};
    QCOMPARE(sigaction(SIGSEGV, &mine, &saved), 0);
    const auto restore = qScopeGuard([&saved] { sigaction(SIGSEGV, &saved, nullptr); });
    int threads = 0; // after the second round, which may have started Qt's own for good
    for (int round = 0; round < 100; ++round) {
        QWidget* frame = load();
        QVERIFY2(frame, qPrintable(m_library.errorString()));
        frame->show();
        // Released while the scanner loads the database or runs its first cycle, or once it
        // sleeps after it.
        if (round % 2 == 1)
            QTRY_VERIFY(m_host->reports > 0);
        m_host->reports = 0;
        release();
        struct sigaction now = {};
        QCOMPARE(sigaction(SIGSEGV, nullptr, &now), 0);
        QVERIFY(!(now.sa_flags & SA_SIGINFO) && now.sa_handler == previousHandler);
        // None is left behind to pile up; one that was joined may still be listed for a moment
        // while the system reaps it, and Qt's own may end meanwhile.
        if (round == 1)
            threads = threadCount();
        if (round > 1)
            QTRY_VERIFY2(threadCount() <= threads, qPrintable(QString::number(threadCount())));
    }
    // The module's windows went with it.
    QCOMPARE(QApplication::topLevelWidgets(), windowsBefore);

    // The library comes back and works: the file was backed up once, in the first round.
    const QMap<QString, QStringList> versions = KNativeWorkspace::databaseVersions(m_machine.databaseFile());
    QCOMPARE(versions.keys(), QStringList { project });
    QCOMPARE(versions.value(project).size(), 1);
    QFile copy(m_machine.backupFolder() + QLatin1Char('/') + versions.value(project).first());
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), content);
    QCOMPARE(m_machine.backupsDisagreeWithDatabase(), QString());
}

void TestPluginLibrary::releasingMidCycleIsPromptAndLosesNothing()
{
    // Enough files that their backup takes a while. Each round changes them all, an hour apart,
    // so that the first cycle after loading backs them up again; the release comes as soon as
    // copies appear, and until one came in the middle of the cycle.
    constexpr int FileCount = 2000;
    constexpr int Rounds = 5;
    const QDateTime start = QDateTime::currentDateTime().addSecs(-3600 * Rounds);
    QStringList projects;
    QDateTime modified;
    bool releasedMidCycle = false;
    for (int round = 0; round < Rounds && !releasedMidCycle; ++round) {
        modified = start.addSecs(3600 * round);
        projects.clear();
        for (int i = 0; i < FileCount; ++i) {
            projects << m_machine.writeFile(QStringLiteral("大项目/清单%1.pra4").arg(i),
                QByteArray(64 * 1024, char('a' + (i + round) % 26)), modified);
        }
        m_machine.setPricingList(projects);
        const int copiesBefore = backupCopies(m_machine.backupFolder());

        QVERIFY(load());
        QTRY_VERIFY_WITH_TIMEOUT(backupCopies(m_machine.backupFolder()) > copiesBefore, 60000);
        QElapsedTimer released;
        released.start();
        release();
        // Without the threads having to be terminated.
        QVERIFY2(released.elapsed() < AtriumThread::StopGracePeriodMs,
            qPrintable(QString::number(released.elapsed())));
        // Every copy made is listed, and every listed version is there.
        QCOMPARE(m_machine.backupsDisagreeWithDatabase(), QString());
        const int backedUp = filesBackedUpAt(projects, modified);
        QVERIFY(backedUp > 0);
        releasedMidCycle = backedUp < FileCount;
    }
    QVERIFY2(releasedMidCycle, "no release came in the middle of a cycle");

    // The next load backs up the rest.
    QVERIFY(load());
    QTRY_VERIFY_WITH_TIMEOUT(filesBackedUpAt(projects, modified) == FileCount, 60000);
    release();
    QCOMPARE(m_machine.backupsDisagreeWithDatabase(), QString());
}

int TestPluginLibrary::filesBackedUpAt(const QStringList& files, const QDateTime& modified) const
{
    const QString stamp
        = QLatin1Char('_') + modified.toString(QStringLiteral("yyyyMMddhhmmss")) + QLatin1Char('_');
    const QMap<QString, QStringList> versions = KNativeWorkspace::databaseVersions(m_machine.databaseFile());
    int count = 0;
    for (const QString& file : files) {
        const QStringList ids = versions.value(file);
        count += std::any_of(
            ids.cbegin(), ids.cend(), [&stamp](const QString& id) { return id.contains(stamp); });
    }
    return count;
}

QTEST_MAIN(TestPluginLibrary)
#include "tst_pluginlibrary.moc"
