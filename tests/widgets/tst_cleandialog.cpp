#include "Widgets/controls/kcustombutton.h"
#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/settings/kcleandlg.h"
#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "ktestenvironment.h"
#include "kwidgettest.h"
#include "service/kfileservicemanager.h"

#include <QLabel>
#include <QtTest>

class TestCleanDialog : public QObject
{
    Q_OBJECT

public:
    explicit TestCleanDialog(KTestEnvironment* env)
        : m_env(*env)
    { }

private slots:
    void initTestCase();
    void init();
    void clearingBeforeTodayThenAllFreesWhatTheLabelsSaid();
    void eachCleanUpAsksFirstAndNoIsTheDefault_data();
    void eachCleanUpAsksFirstAndNoIsTheDefault();

private:
    // A backup of `bytes` bytes made on the day `daysAgo` days before today.
    QString backUp(const QString& name, int bytes, int daysAgo);
    // The sizes shown (all backups, what clean-up all frees, what clean-up before today frees)
    // and which of the two buttons can be pressed.
    static QString shown(const KCleanDlg& dialog);

    QDateTime m_today;
    KTestEnvironment& m_env;
};

void TestCleanDialog::initTestCase()
{
    m_env.addBackupDrive(QStringLiteral("backup"));
    m_today = QDateTime(QDate(2024, 5, 11), QTime(15, 0));
}

void TestCleanDialog::init()
{
    m_env.platform()->setCurrentDateTime(m_today);
    QVERIFY(KFileServiceManager::instance()->cleanAll());
    QVERIFY(
        !QFileInfo::exists(KCommon::backupDirectory()) || KCommon::clearFolder(KCommon::backupDirectory()));
}

QString TestCleanDialog::backUp(const QString& name, int bytes, int daysAgo)
{
    const QDateTime day = m_today.addDays(-daysAgo);
    m_env.platform()->setCurrentDateTime(day);
    const QString source = m_env.writeFile(QStringLiteral("projects/") + name, QByteArray(bytes, 'x'), day);
    const KFileObjectPtr record = KFileServiceManager::instance()->collection(0)->backupFile(source, 0);
    m_env.platform()->setCurrentDateTime(m_today);
    return record ? source : QString();
}

QString TestCleanDialog::shown(const KCleanDlg& dialog)
{
    QStringList result;
    for (const char* label : { "lblCacheSize", "lblCleanAllSize", "lblCleanBeforeSize" })
        result << dialog.findChild<QLabel*>(QLatin1String(label))->text();
    for (const char* button : { "btnCleanAll", "btnCleanBefore" })
        result << (dialog.findChild<KCustomButton*>(QLatin1String(button))->isEnabled()
                ? QStringLiteral("on")
                : QStringLiteral("off"));
    return result.join(QLatin1Char('|'));
}

void TestCleanDialog::clearingBeforeTodayThenAllFreesWhatTheLabelsSaid()
{
    QVERIFY(!backUp(QStringLiteral("old.GBQ4"), 3000, 2).isEmpty());
    const QString today = backUp(QStringLiteral("new.GBQ4"), 5000, 0);
    const QString stray = m_env.writeFile(KCommon::backupDirectory() + QStringLiteral("stray"), "?");
    KCleanDlg dialog(KServices::process());
    // Until the sizes are known the buttons stay usable.
    QCOMPARE(shown(dialog), QStringLiteral("请稍候...|请稍候...|请稍候...|on|on"));
    QTRY_COMPARE(shown(dialog), QStringLiteral("7KB|7KB|2KB|on|on"));
    QSignalSpy updated(KFileServiceManager::instance(), &KFileServiceManager::sigUpdate);

    KMessageBox::setNextAnswer(1);
    QTest::mouseClick(dialog.findChild<KCustomButton*>(QStringLiteral("btnCleanBefore")), Qt::LeftButton);
    QCOMPARE(shown(dialog), QStringLiteral("4KB|4KB|0B|on|off"));
    QCOMPARE(updated.size(), 1);
    const KFileObjectPtr record = KFileServiceManager::instance()->findFile(today);
    QVERIFY(record && QFile::exists(record->latestVersion()->backupFilePath()));

    // Everything goes, also what no record lists.
    KMessageBox::setNextAnswer(1);
    QTest::mouseClick(dialog.findChild<KCustomButton*>(QStringLiteral("btnCleanAll")), Qt::LeftButton);
    QCOMPARE(shown(dialog), QStringLiteral("0B|0B|0B|off|off"));
    QCOMPARE(updated.size(), 2);
    QVERIFY(QDir(KCommon::backupDirectory()).isEmpty());
    QVERIFY(!QFile::exists(stray));
    QCOMPARE(KMessageBox::queuedAnswerCount(), 0);
    // A dialog opened on nothing offers nothing.
    KCleanDlg empty(KServices::process());
    QTRY_COMPARE(shown(empty), QStringLiteral("0B|0B|0B|off|off"));
}

void TestCleanDialog::eachCleanUpAsksFirstAndNoIsTheDefault_data()
{
    QTest::addColumn<QString>("button");
    QTest::newRow("clean up all") << QStringLiteral("btnCleanAll");
    QTest::newRow("clean up before today") << QStringLiteral("btnCleanBefore");
}

void TestCleanDialog::eachCleanUpAsksFirstAndNoIsTheDefault()
{
    QFETCH(QString, button);
    const QString old = backUp(QStringLiteral("old.GBQ4"), 3000, 2);
    KCleanDlg dialog(KServices::process());
    QTRY_COMPARE(shown(dialog).section(QLatin1Char('|'), 2, 2), QStringLiteral("2KB"));

    // Return answers the question with its default button.
    QString asked;
    KWidgetTest::whenModalShown([&asked](QWidget* box) {
        asked = qobject_cast<KMessageBox*>(box) ? qobject_cast<KMessageBox*>(box)->text() : QString();
        QTest::keyClick(box, Qt::Key_Return);
    });
    QTest::mouseClick(dialog.findChild<KCustomButton*>(button), Qt::LeftButton);
    QVERIFY(!asked.isEmpty());
    QCOMPARE(shown(dialog).section(QLatin1Char('|'), 2, 2), QStringLiteral("2KB"));
    QVERIFY(QFile::exists(KFileServiceManager::instance()->findFile(old)->latestVersion()->backupFilePath()));
}

VK_WIDGET_TEST_MAIN(TestCleanDialog)

#include "tst_cleandialog.moc"
