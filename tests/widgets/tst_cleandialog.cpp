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

namespace {

// Made before the engine's process-wide objects and so gone after them: what they write at
// exit stays in its folder.
KTestEnvironment& environment()
{
    static KTestEnvironment env;
    return env;
}

const QString Waiting = QStringLiteral("请稍候...");

} // namespace

class TestCleanDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void buttonsFollowWhatCanBeFreed_data();
    void buttonsFollowWhatCanBeFreed();
    void clearingBeforeTodayThenAllFreesWhatTheLabelsSaid();
    void eachCleanUpAsksFirstAndNoIsTheDefault_data();
    void eachCleanUpAsksFirstAndNoIsTheDefault();

private:
    // A backup of `bytes` bytes made on the day `daysAgo` days before today.
    QString backUp(const QString& name, int bytes, int daysAgo);
    QString text(const KCleanDlg& dialog, const char* label) const;
    bool enabled(const KCleanDlg& dialog, const char* button) const;

    QDateTime m_today;
};

void TestCleanDialog::initTestCase()
{
    environment().addBackupDrive(QStringLiteral("backup"));
    m_today = QDateTime(QDate(2024, 5, 11), QTime(15, 0));
}

void TestCleanDialog::init()
{
    environment().platform()->setCurrentDateTime(m_today);
    QVERIFY(KFileServiceManager::instance()->cleanAll());
    QVERIFY(
        !QFileInfo::exists(KCommon::backupDirectory()) || KCommon::clearFolder(KCommon::backupDirectory()));
}

QString TestCleanDialog::backUp(const QString& name, int bytes, int daysAgo)
{
    KTestEnvironment& env = environment();
    const QDateTime day = m_today.addDays(-daysAgo);
    env.platform()->setCurrentDateTime(day);
    const QString source = env.writeFile(QStringLiteral("projects/") + name, QByteArray(bytes, 'x'), day);
    const KFileObjectPtr record = KFileServiceManager::instance()->collection(0)->backupFile(source, 0);
    env.platform()->setCurrentDateTime(m_today);
    return record ? source : QString();
}

QString TestCleanDialog::text(const KCleanDlg& dialog, const char* label) const
{
    return dialog.findChild<QLabel*>(QString::fromLatin1(label))->text();
}

bool TestCleanDialog::enabled(const KCleanDlg& dialog, const char* button) const
{
    return dialog.findChild<KCustomButton*>(QString::fromLatin1(button))->isEnabled();
}

void TestCleanDialog::buttonsFollowWhatCanBeFreed_data()
{
    QTest::addColumn<QList<int>>("daysAgo"); // one backup of 3000 bytes for each
    QTest::addColumn<QString>("total");
    QTest::addColumn<QString>("beforeToday");
    QTest::newRow("no backups at all: nothing to free")
        << QList<int>() << QStringLiteral("0B") << QStringLiteral("0B");
    QTest::newRow("only today's backups: nothing before today")
        << QList<int> { 0, 0 } << QStringLiteral("5KB") << QStringLiteral("0B");
    QTest::newRow("backups of yesterday and today")
        << QList<int> { 1, 0 } << QStringLiteral("5KB") << QStringLiteral("2KB");
}

void TestCleanDialog::buttonsFollowWhatCanBeFreed()
{
    QFETCH(QList<int>, daysAgo);
    QFETCH(QString, total);
    QFETCH(QString, beforeToday);
    for (int i = 0; i < daysAgo.size(); ++i)
        QVERIFY(!backUp(QStringLiteral("file%1.GBQ4").arg(i), 3000, daysAgo.at(i)).isEmpty());

    KCleanDlg dialog(KServices::process());
    // Until the sizes are known the buttons stay usable.
    for (const char* label : { "lblCacheSize", "lblCleanAllSize", "lblCleanBeforeSize" })
        QCOMPARE(text(dialog, label), Waiting);
    QVERIFY(enabled(dialog, "btnCleanAll") && enabled(dialog, "btnCleanBefore"));

    QTRY_COMPARE(text(dialog, "lblCacheSize"), total);
    QCOMPARE(text(dialog, "lblCleanAllSize"), total);
    QCOMPARE(text(dialog, "lblCleanBeforeSize"), beforeToday);
    QCOMPARE(enabled(dialog, "btnCleanAll"), total != QLatin1String("0B"));
    QCOMPARE(enabled(dialog, "btnCleanBefore"), beforeToday != QLatin1String("0B"));
}

void TestCleanDialog::clearingBeforeTodayThenAllFreesWhatTheLabelsSaid()
{
    backUp(QStringLiteral("old.GBQ4"), 3000, 2);
    const QString today = backUp(QStringLiteral("new.GBQ4"), 5000, 0);
    const QString stray = environment().writeFile(KCommon::backupDirectory() + QStringLiteral("stray"), "?");
    KCleanDlg dialog(KServices::process());
    QTRY_COMPARE(text(dialog, "lblCleanBeforeSize"), QStringLiteral("2KB"));
    QSignalSpy updated(KFileServiceManager::instance(), &KFileServiceManager::sigUpdate);

    KMessageBox::setNextAnswer(1);
    QTest::mouseClick(dialog.findChild<KCustomButton*>(QStringLiteral("btnCleanBefore")), Qt::LeftButton);
    QCOMPARE(text(dialog, "lblCleanBeforeSize"), QStringLiteral("0B"));
    QVERIFY(!enabled(dialog, "btnCleanBefore"));
    QCOMPARE(text(dialog, "lblCacheSize"), QStringLiteral("4KB"));
    QCOMPARE(text(dialog, "lblCleanAllSize"), QStringLiteral("4KB"));
    QVERIFY(enabled(dialog, "btnCleanAll"));
    QCOMPARE(updated.size(), 1);
    const KFileObjectPtr record = KFileServiceManager::instance()->findFile(today);
    QVERIFY(record && QFile::exists(record->latestVersion()->backupFilePath()));

    // Everything goes, also what no record lists.
    KMessageBox::setNextAnswer(1);
    QTest::mouseClick(dialog.findChild<KCustomButton*>(QStringLiteral("btnCleanAll")), Qt::LeftButton);
    for (const char* label : { "lblCacheSize", "lblCleanAllSize", "lblCleanBeforeSize" })
        QCOMPARE(text(dialog, label), QStringLiteral("0B"));
    QVERIFY(!enabled(dialog, "btnCleanAll") && !enabled(dialog, "btnCleanBefore"));
    QCOMPARE(updated.size(), 2);
    QVERIFY(QDir(KCommon::backupDirectory()).isEmpty());
    QVERIFY(!QFile::exists(stray));
    QCOMPARE(KMessageBox::queuedAnswerCount(), 0);
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
    QTRY_COMPARE(text(dialog, "lblCleanBeforeSize"), QStringLiteral("2KB"));

    // Return answers the question with its default button.
    QString asked;
    KWidgetTest::whenModalShown([&asked](QWidget* box) {
        asked = qobject_cast<KMessageBox*>(box) ? qobject_cast<KMessageBox*>(box)->text() : QString();
        QTest::keyClick(box, Qt::Key_Return);
    });
    QTest::mouseClick(dialog.findChild<KCustomButton*>(button), Qt::LeftButton);
    QVERIFY(!asked.isEmpty());
    QCOMPARE(text(dialog, "lblCleanBeforeSize"), QStringLiteral("2KB"));
    QVERIFY(QFile::exists(KFileServiceManager::instance()->findFile(old)->latestVersion()->backupFilePath()));
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    environment(); // before any of the engine's objects
    TestCleanDialog test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cleandialog.moc"
