#include "platform/kfileops.h"
#include "service/kbackuprules.h"

#include <QDateTime>
#include <QtTest>

using KBackupRules::Decision;

Q_DECLARE_METATYPE(Decision)

// What each cycle that may back up does with a recently used file, decided from its status
// alone.
class TestBackupRules : public QObject
{
    Q_OBJECT

private slots:
    void decide_data();
    void decide();
};

namespace {

const QDateTime Now(QDate(2024, 4, 2), QTime(10, 0));

} // namespace

void TestBackupRules::decide_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("unreadable");
    QTest::addColumn<QDateTime>("modified");
    QTest::addColumn<bool>("backedUp");
    QTest::addColumn<Decision>("decision");
    const QDateTime weekAgo = Now.addDays(-7);
    QTest::newRow("a changed file of the last hour is backed up")
        << true << false << Now.addSecs(-3600) << false << Decision::BackUp;
    QTest::newRow("a file whose time a version carries is not")
        << true << false << Now.addSecs(-3600) << true << Decision::Unchanged;
    QTest::newRow("a second short of seven days is backed up")
        << true << false << weekAgo.addSecs(1) << false << Decision::BackUp;
    QTest::newRow("seven days exactly is too old") << true << false << weekAgo << false << Decision::TooOld;
    QTest::newRow("an old file already backed up stays unchanged")
        << true << false << weekAgo.addSecs(-1) << true << Decision::Unchanged;
    QTest::newRow("a time ahead of the clock is backed up")
        << true << false << Now.addSecs(3600) << false << Decision::BackUp;
    QTest::newRow("a missing file is left alone") << false << false << Now << false << Decision::Missing;
    QTest::newRow("a file whose folder cannot be entered is a failure")
        << false << true << Now << false << Decision::Unreadable;
}

void TestBackupRules::decide()
{
    QFETCH(bool, exists);
    QFETCH(bool, unreadable);
    QFETCH(QDateTime, modified);
    QFETCH(bool, backedUp);
    QFETCH(Decision, decision);
    KFileStatus file;
    file.exists = exists;
    file.isFile = exists;
    file.unreadable = unreadable;
    file.modifiedMSecs = modified.toMSecsSinceEpoch();
    QCOMPARE(KBackupRules::decide(file, backedUp, KBackupRules::oldestBackedUp(Now.toMSecsSinceEpoch())),
        decision);
}

QTEST_GUILESS_MAIN(TestBackupRules)
#include "tst_backuprules.moc"
