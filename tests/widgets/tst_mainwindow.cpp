#include "Widgets/main/kmainwidget.h"
#include "Widgets/settings/kmovebackfolderwidget.h"
#include "Widgets/tips/ktipmsgmanager.h"
#include "Widgets/tips/ktipuserdialog.h"
#include "core/kconfig.h"
#include "core/kfileobjectmgr.h"
#include "discovery/kdiskfilemanager.h"
#include "ktestenvironment.h"
#include "kwidgettest.h"
#include "plugin/kvaultkeep.h"
#include "service/kfileservicemanager.h"
#include "storage/kdiskinfothread.h"

#include <QApplication>
#include <QTabWidget>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <atomic>

namespace {

KTestEnvironment* g_environment = nullptr;

void deleteEnvironment()
{
    delete g_environment;
    g_environment = nullptr;
}

// The machine outlives the test object: a host that ends without releasing the plug-in leaves its
// threads to the application's end, whose clean-up (added later, so run earlier) stops them first.
KTestEnvironment& environmentUntilTheApplicationEnds()
{
    if (!g_environment) {
        g_environment = new KTestEnvironment;
        qAddPostRoutine(&deleteEnvironment);
    }
    return *g_environment;
}

} // namespace

// The plug-in's entry points and its window as the host meets them, on the fake machine.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void releaseWithoutWindowSavesAndMakesNone();
    void theWindowIsResizableAndRemembersItsSize();
    void theFirstBackupWindowComesOnce_data();
    void theFirstBackupWindowComesOnce();
    void protectionOffScansOnceBeforeCreateFrameReturns();
    void theTipsReachTheWindow();
    // Last: what it leaves open goes as the process ends.
    void aHostEndingWithoutReleaseLeavesNothingOpen();

private:
    KTestEnvironment& m_env = environmentUntilTheApplicationEnds();
    bool m_leftForTheEnd = false;
};

void TestMainWindow::initTestCase()
{
    m_env.addBackupDrive(QStringLiteral("D"));
}

void TestMainWindow::init()
{
    QVERIFY(KConfig::instance()->setAutoBack(true));
    QVERIFY(KConfig::instance()->setShowTipBackedMsgStatus(-1));
}

void TestMainWindow::cleanup()
{
    if (m_leftForTheEnd)
        return;
    // As unloading the library would: the window goes, the threads stop.
    KVaultkeepModule::shutDown();
    QVERIFY(!KDiskFileManager::instance()->isRunning());
}

void TestMainWindow::releaseWithoutWindowSavesAndMakesNone()
{
    KFileServiceManager* engine = KFileServiceManager::instance();
    const bool saved = QFile::exists(engine->databasePath());
    QCOMPARE(engine->loadDatabase(), saved);
    const QString project = m_env.writeFile(QStringLiteral("home/报价.pra4"), "project");
    QVERIFY(engine->collection(0)->backupFile(project, 0));

    releaseKVaultkeep();
    QVERIFY(!KMainWidget::existingInstance());
    QVERIFY(KWidgetTest::windowsOf<KMainWidget>().isEmpty());
    QFile database(engine->databasePath());
    QVERIFY(database.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(database.readAll()).contains(project));
}

void TestMainWindow::theWindowIsResizableAndRemembersItsSize()
{
    QWidget* window = createFrame();
    QCOMPARE(createFrame(), window);
    QCOMPARE(
        KWidgetTest::windowsOf<KMainWidget>(), QList<KMainWidget*> { qobject_cast<KMainWidget*>(window) });
    window->show();
    QCOMPARE(window->minimumSize(), QSize(800, 500));
    window->resize(500, 300);
    QCOMPARE(window->size(), QSize(800, 500));

    window->resize(1100, 720);
    QCOMPARE(window->size(), QSize(1100, 720));
    // The title strip and the pages follow, and so does the list with its scroll bar.
    QTRY_COMPARE(window->findChild<QWidget*>(QStringLiteral("systemTitle"))->width(), 1098);
    auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    QTRY_COMPARE(tabs->geometry(), QRect(1, 32, 1098, 687));
    tabs->setCurrentIndex(KHostMessageHandler::MisCodePage);
    auto* list = window->findChild<QWidget*>(QStringLiteral("misCodeTableWidget"));
    QTRY_COMPARE(list->mapTo(window, QPoint(list->width(), list->height())), QPoint(1099, 719 - 26));

    // Released as the host does: the threads that emit to its pages have stopped before it goes,
    // and the window made again starts them anew.
    bool threadsRan = true;
    connect(
        window, &QObject::destroyed, this,
        [&threadsRan] {
            threadsRan
                = KDiskFileManager::instance()->isRunning() || KDiskInfoThread::instance()->isRunning();
        },
        Qt::DirectConnection);
    releaseKVaultkeep();
    QVERIFY(!threadsRan);
    // Counted on the scanner's thread, in a static that outlives a call still running there.
    static std::atomic<int> scans;
    scans = 0;
    const QMetaObject::Connection counting = connect(
        KDiskFileManager::instance(), &KDiskFileManager::sigScanFinished, this, [] { ++scans; },
        Qt::DirectConnection);
    window = createFrame();
    QCOMPARE(window->size(), QSize(1100, 720));
    QTRY_VERIFY(scans > 0);
    disconnect(counting);
}

void TestMainWindow::theFirstBackupWindowComesOnce_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("due");
    QTest::newRow("at the first backup ever") << -1 << false;
    QTest::newRow("at the start after a first backup was seen") << 0 << true;
    QTest::newRow("never once shown") << 1 << false;
}

void TestMainWindow::theFirstBackupWindowComesOnce()
{
    QFETCH(int, status);
    QFETCH(bool, due);
    // A cycle of the engine's own, on this thread: no scanner runs while protection is off.
    QVERIFY(KConfig::instance()->setAutoBack(false));
    QVERIFY(KConfig::instance()->setShowTipBackedMsgStatus(status));
    QWidget* window = createFrame();
    auto* timer = window->findChild<QTimer*>(QStringLiteral("tipUserDialogTimer"));
    QCOMPARE(timer && timer->isActive(), due);

    const QStringList project { m_env.writeFile(
        QStringLiteral("home/预算%1.pra4").arg(status + 1), "project") };
    KFileServiceManager* engine = KFileServiceManager::instance();
    engine->onScanBegin();
    engine->onFilesFound(&project, 0, true);
    engine->onScanFinished();
    QCoreApplication::processEvents();
    // Only the first backup ever shows it at once.
    QTRY_COMPARE(KWidgetTest::windowsOf<KTipUserDialog>().size(), status == -1 ? 1 : 0);
    if (due) {
        QCOMPARE(timer->interval(), KMainWidget::TipUserDialogDelayMs);
        timer->start(0); // its time, without waiting for it
        QTRY_COMPARE(KWidgetTest::windowsOf<KTipUserDialog>().size(), 1);
    }
    QCOMPARE(KConfig::instance()->showTipBackedMsgStatus(), 1);
}

void TestMainWindow::protectionOffScansOnceBeforeCreateFrameReturns()
{
    QVERIFY(KConfig::instance()->setAutoBack(false));
    QList<QThread*> scannedOn;
    const QMetaObject::Connection counting = connect(
        KDiskFileManager::instance(), &KDiskFileManager::sigScanFinished, this,
        [&scannedOn] { scannedOn << QThread::currentThread(); }, Qt::DirectConnection);

    createFrame();
    disconnect(counting);
    QCOMPARE(scannedOn, QList<QThread*> { QThread::currentThread() });
    QVERIFY(!KDiskFileManager::instance()->isRunning());
}

// A file too large is told in a tip; the clean-up a tip's button opens comes centred over the
// window; the move to a roomier drive starts at once, the pages disabled until it ends.
void TestMainWindow::theTipsReachTheWindow()
{
    KConfig* config = KConfig::instance();
    const QString from = config->backUpPath();
    const QString to = m_env.addBackupDrive(QStringLiteral("E"));
    QVERIFY(config->setBackUpPath(from));
    QWidget* window = createFrame();
    window->resize(window->minimumSize());
    window->move(0, 90); // wholly on the offscreen screen, away from its centre
    window->show();
    auto* tips = window->findChild<KTipMsgManager*>();
    emit KFileServiceManager::instance()->sigFileTooLarge(QStringLiteral("/w/large.pra4"), 3 * MiB, MiB);
    QTRY_COMPARE(tips->tips().size(), 1);

    QPoint offCentre(-999, -999);
    KWidgetTest::whenModalShown([&](QWidget* modal) {
        offCentre = modal->frameGeometry().center() - window->frameGeometry().center();
        qobject_cast<QDialog*>(modal)->reject();
    });
    emit tips->sigFolderToolLargeTipMsgBtnClicked(0);
    QTRY_VERIFY(offCentre.manhattanLength() <= 2);

    emit tips->sigDiskFreeSizeNotEnoughTipMsgBtnClicked(0, to);
    auto* panel = window->findChild<KMoveBackFolderWidget*>();
    QVERIFY(panel && panel->isVisible());
    auto* pages = window->findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    QVERIFY(!pages->isEnabled());
    QVERIFY(!window->findChild<QWidget*>(QStringLiteral("btnSetting"))->isEnabled());
    QVERIFY(!window->findChild<QWidget*>(QStringLiteral("btnClose"))->isEnabled());
    // Before the move has even begun.
    QCOMPARE(config->backUpPath(), to);

    QSignalSpy diskRead(KDiskInfoThread::instance(), &KDiskInfoThread::sigUpdateDiskFreeSize);
    QTRY_VERIFY_WITH_TIMEOUT(pages->isEnabled(), 30000);
    QVERIFY(window->findChild<QWidget*>(QStringLiteral("btnSetting"))->isEnabled());
    QCOMPARE(diskRead.count(), 1);
    QVERIFY(config->setBackUpPath(from));
}

void TestMainWindow::aHostEndingWithoutReleaseLeavesNothingOpen()
{
    // The window, a tip and the threads are left as they are: the application's end takes them
    // while it still exists (else the process crashes as it ends).
    QWidget* window = createFrame();
    window->show();
    window->findChild<KTipMsgManager*>()->showTipUserDialog();
    QTRY_COMPARE(KWidgetTest::windowsOf<KTipUserDialog>().size(), 1);
    m_leftForTheEnd = true;
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
