#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/controls/kcustombutton.h"
#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/settings/kmovebackedfinishedwidget.h"
#include "Widgets/settings/kmovebackfolderwidget.h"
#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "ktestenvironment.h"
#include "ktracestore.h"
#include "platform/kplatform.h"
#include "service/kfileservicemanager.h"
#include "storage/kbackupfoldermove.h"

#include <QLabel>
#include <QSettings>
#include <QTimer>
#include <QtTest>

class TestMovePanel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void shortMoveStillShowsThePanelForThreeSeconds();
    void failedMoveTellsWhichFolderHoldsTheBackups();

private:
    // Backups under a new root `from`, and a second root to move them to.
    void makeBackups(int count);
    // Shows a panel over a window of the main window's size and waits for its move to end.
    KMoveBackFolderWidget* startPanel();
    QTimer* timer(const char* name) const;
    // Lets the panel's clock run on by `msecs` and fires its pending timer at once.
    void passTime(const char* timerName, qint64 msecs);
    bool showsMoving() const;
    QWidget* finishedPanel() const;

    KTestEnvironment m_env;
    QScopedPointer<QWidget> m_window;
    QPointer<KMoveBackFolderWidget> m_panel;
    QString m_from;
    QString m_to;
    QStringList m_fileIds;
    int m_case = 0;
};

void TestMovePanel::initTestCase()
{
    QVERIFY(!installHostWithPathmark(m_env, QStringLiteral("5.2")).isEmpty());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_env.path(QStringLiteral("cache"))));
    QVERIFY(AtriumUserDataLogUtils::instance()->isBound());
}

void TestMovePanel::init()
{
    ++m_case;
    m_env.platform()->setCurrentDateTime(QDateTime(QDate(2024, 5, 11), QTime(10, 0)));
    QSettings(KConfig::instance()->filePath(), QSettings::IniFormat).clear();
    KMessageBox::clearNextAnswers();
    m_from = m_env.makeFolder(QStringLiteral("case%1/D").arg(m_case));
    m_to = m_env.makeFolder(QStringLiteral("case%1/E").arg(m_case));
    m_fileIds.clear();
    m_window.reset(new QWidget);
    m_window->resize(800, 500);
}

void TestMovePanel::makeBackups(int count)
{
    QVERIFY(KConfig::instance()->setBackUpPath(m_from));
    KFileServiceManager engine;
    for (int i = 0; i < count; ++i) {
        const QString source = m_env.writeFile(QStringLiteral("case%1/file%2.GBQ4").arg(m_case).arg(i),
            QByteArray(20000 + i, char('a' + i)), QDateTime(QDate(2024, 5, 10), QTime(9, i)));
        m_fileIds << engine.collection(0)->backupFile(source, 0)->latestVersion()->fileId();
    }
}

KMoveBackFolderWidget* TestMovePanel::startPanel()
{
    if (!KConfig::instance()->setBackUpPath(m_to)) // as the settings dialog stores it
        return nullptr;
    m_panel = new KMoveBackFolderWidget(KPlatform::instance(), m_from, m_to, m_window.data());
    m_window->show();
    // The move ends quickly; the panel then waits out the rest of its three seconds.
    if (!QTest::qWaitFor([&] { return m_panel && timer("minimumDisplayTimer")->isActive(); }, 20000))
        return nullptr;
    return m_panel;
}

QTimer* TestMovePanel::timer(const char* name) const
{
    return m_panel->findChild<QTimer*>(QString::fromLatin1(name));
}

void TestMovePanel::passTime(const char* timerName, qint64 msecs)
{
    m_env.platform()->advanceClock(msecs);
    timer(timerName)->start(0);
    QTest::qWait(20);
}

bool TestMovePanel::showsMoving() const
{
    for (const char* name :
        { "lblFrom", "lbFromBG", "lbLeftArrow", "lbToBG", "lblTo", "lbMovie", "lblMoving" }) {
        if (!m_panel->findChild<QWidget*>(QString::fromLatin1(name))->isVisible())
            return false;
    }
    return true;
}

QWidget* TestMovePanel::finishedPanel() const
{
    return m_panel->findChild<KMoveBackedFinishedWidget*>();
}

void TestMovePanel::shortMoveStillShowsThePanelForThreeSeconds()
{
    makeBackups(3);
    QVERIFY(startPanel());
    // The backups have moved while the panel still shows the move.
    QCOMPARE(KCommon::backupDirectory(), KBackupFolderMove::folderOf(m_to));
    for (const QString& id : qAsConst(m_fileIds))
        QVERIFY(QFile::exists(KCommon::backupDirectory() + id));
    QVERIFY(showsMoving());
    QVERIFY(!finishedPanel());

    QSignalSpy finished(m_panel.data(), &KMoveBackFolderWidget::sigMoveFinished);
    passTime("minimumDisplayTimer", 200);
    QVERIFY(showsMoving());
    passTime("minimumDisplayTimer", 2800);
    QVERIFY(!showsMoving());
    QVERIFY(finishedPanel() && finishedPanel()->isVisible());
    QCOMPARE(finished.size(), 0);

    // The completion panel's button closes it before its own three seconds are up.
    QVERIFY(timer("finishedDisplayTimer")->isActive());
    QTest::mouseClick(
        finishedPanel()->findChild<KCustomButton*>(QStringLiteral("btnFinish")), Qt::LeftButton);
    QCOMPARE(finished.size(), 1);
    QTRY_VERIFY(!m_panel);

    QVERIFY(KNewTraces(m_env.path(QStringLiteral("cache")))
                .take()
                .contains(QStringLiteral("移动磁盘|移动备份文件|Vaultkeep|自动发送")));
}

void TestMovePanel::failedMoveTellsWhichFolderHoldsTheBackups()
{
    makeBackups(4);
    const QString clash = m_fileIds.at(2);
    m_env.writeFile(KBackupFolderMove::folderOf(m_to) + clash, "someone else's");
    QVERIFY(startPanel());
    QSignalSpy finished(m_panel.data(), &KMoveBackFolderWidget::sigMoveFinished);
    KMessageBox::setNextAnswer(1);
    passTime("minimumDisplayTimer", 3000);

    QCOMPARE(KMessageBox::answeredTexts().size(), 1);
    const QString told = KMessageBox::answeredTexts().first().remove(QChar(0x200B));
    QVERIFY2(told.contains(KBackupFolderMove::folderOf(m_from)) && told.contains(QStringLiteral("同名")),
        qPrintable(told));
    QCOMPARE(finished.size(), 1);
    QTRY_VERIFY(!m_panel);
    // The pages find every version where the backup path points: the old folder.
    QCOMPARE(KConfig::instance()->backUpPath(), m_from);
    for (const QString& id : qAsConst(m_fileIds))
        QVERIFY(QFile::exists(KCommon::backupDirectory() + id));
}

QTEST_MAIN(TestMovePanel)
#include "tst_movepanel.moc"
