#include "core/kcommon.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "ktestenvironment.h"
#include "ktestrecords.h"

#include <QtTest>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

QString stampOf(const QDateTime& time)
{
    return time.toString(QStringLiteral("yyyyMMddhhmmss"));
}

QString today()
{
    return QDate::currentDate().toString(QStringLiteral("yyyyMMdd"));
}

} // namespace

// Versions of one file, and the collections that hold the records of many.
class TestFileRecords : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void versionIdsKeepTextTimesAndSums_data();
    void versionIdsKeepTextTimesAndSums();
    void currentStateIsBackedUpWhenAVersionCarriesItsTime();
    void sumsStayWithTheirVersionsAsOthersComeAndGo();
    void latestVersion_data();
    void latestVersion();
    void sevenDayDropCountsMidnights();
    void failedRemovalKeepsTheEntry();
    void pathsTheDatabaseCannotCarryAreNeverProtected_data();
    void pathsTheDatabaseCannotCarryAreNeverProtected();
    void recordsAreListedInPathOrderAfterEveryChange();
    void removedRecordsLiveWhileHeldAndAreFreedAfter();
    void backupsOnOneThreadWhileAnotherReads();

private:
    // A version whose copy exists in the backup folder; returns the copy's path.
    QString addCopy(KFileObject* record, const QString& fileId)
    {
        record->addVersion(fileId);
        return m_env.writeFile(KCommon::backupDirectory() + fileId, "copy");
    }

    KTestEnvironment m_env;
    QString m_source;
};

void TestFileRecords::initTestCase()
{
    m_env.addBackupDrive(QStringLiteral("D"));
}

void TestFileRecords::init()
{
    QDir(KCommon::backupDirectory()).removeRecursively();
    QDir().mkpath(KCommon::backupDirectory());
    m_source = m_env.writeFile(QStringLiteral("work/项目 & plan.pra4"), "project contents",
        QDateTime::currentDateTime().addSecs(-3600));
}

// A FileID's times, read by a version of a record and by the key the database sorts on.
void TestFileRecords::versionIdsKeepTextTimesAndSums_data()
{
    QTest::addColumn<QString>("fileId");
    QTest::addColumn<qint64>("stamp");
    QTest::addColumn<int>("date");
    QTest::addColumn<QDateTime>("modified");
    QTest::addColumn<QDate>("backupDate");
    QTest::newRow("the latest times a FileID can carry")
        << QStringLiteral("{ffffffff-ffff-ffff-ffff-ffffffffffff}_99991231235959_99991231")
        << Q_INT64_C(99991231235959) << 99991231 << QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59))
        << QDate(9999, 12, 31);
    QTest::newRow("the earliest") << QStringLiteral(
        "{01234567-89ab-cdef-0123-456789abcdef}_00010101000000_00010101")
                                  << Q_INT64_C(10101000000) << 10101 << QDateTime(QDate(1, 1, 1), QTime(0, 0))
                                  << QDate(1, 1, 1);
    QTest::newRow("a leap day") << testFileId(7, QStringLiteral("20240229120000"), QStringLiteral("20240229"))
                                << Q_INT64_C(20240229120000) << 20240229
                                << QDateTime(QDate(2024, 2, 29), QTime(12, 0)) << QDate(2024, 2, 29);
    QTest::newRow("the 29th of February of a common year is no time")
        << testFileId(7, QStringLiteral("20230229120000"), QStringLiteral("20230301")) << Q_INT64_C(-1)
        << 20230301 << QDateTime() << QDate(2023, 3, 1);
    QTest::newRow("an hour past 23 is no time")
        << testFileId(0, QStringLiteral("20240105243012"), QStringLiteral("20240106")) << Q_INT64_C(-1)
        << 20240106 << QDateTime() << QDate(2024, 1, 6);
    QTest::newRow("an impossible backup date is none")
        << testFileId(0, QStringLiteral("20240231093012"), QStringLiteral("2024013x")) << Q_INT64_C(-1) << -1
        << QDateTime() << QDate();
    QTest::newRow("upper-case hex digits")
        << QStringLiteral("{ABCDEF00-0000-0000-0000-000000000001}_20240105093012_20240105")
        << Q_INT64_C(20240105093012) << 20240105 << QDateTime(QDate(2024, 1, 5), QTime(9, 30, 12))
        << QDate(2024, 1, 5);
    QTest::newRow("a FileID renamed by hand, shorter than 53 characters, has no modified time")
        << QStringLiteral("版本_20240105093012_20240105") << Q_INT64_C(-1) << 20240105 << QDateTime()
        << QDate(2024, 1, 5);
}

void TestFileRecords::versionIdsKeepTextTimesAndSums()
{
    QFETCH(QString, fileId);
    QFETCH(qint64, stamp);
    QFETCH(int, date);
    QFETCH(QDateTime, modified);
    QFETCH(QDate, backupDate);
    KFileCopyedObject copy;
    copy.setFileId(fileId);
    QCOMPARE(copy.modifiedTime(), modified);
    QCOMPARE(copy.backupDate(), backupDate.startOfDay());
    const KVersionKey key(fileId);
    QCOMPARE(key.text(), fileId);
    QCOMPARE(key.stamp(), stamp);
    QCOMPARE(key.backupDate(), date);
    const QByteArray utf8 = fileId.toUtf8();
    QVERIFY(KVersionKey::fromUtf8(utf8.constData(), utf8.size()) == key);
    // Ordered as the texts are.
    const KVersionKey other(testFileId(5));
    QCOMPARE(key < other, fileId < other.text());
    QCOMPARE(other < key, other.text() < fileId);

    // Copied, moved and sorted among others, a version keeps its text and its sum.
    KVersionId version(fileId);
    version.setSum({ qint64(1) << 40, 0xfedcba9876543210ULL, true });
    QVector<KVersionId> versions { KVersionId(testFileId(9)), version, KVersionId(QStringLiteral("other")) };
    std::sort(versions.begin(), versions.end());
    versions.prepend(KVersionId(testFileId(0)));
    const auto found = std::find(versions.cbegin(), versions.cend(), version);
    QVERIFY(found != versions.cend());
    QCOMPARE(found->text(), fileId);
    QCOMPARE(found->sum().size, qint64(1) << 40);
    QCOMPARE(found->sum().hash, 0xfedcba9876543210ULL);
}

void TestFileRecords::currentStateIsBackedUpWhenAVersionCarriesItsTime()
{
    KFileObject record(m_source, 0);
    QVERIFY(!record.isCurrentStateBackedUp());
    addCopy(&record, QStringLiteral("{short}_2024"));
    QVERIFY(!record.isCurrentStateBackedUp()); // a malformed FileID never matches

    QVERIFY(record.addNewVersion());
    QVERIFY(record.isCurrentStateBackedUp());

    // Same size and content, one second later: changed.
    QVERIFY(KTestEnvironment::setModified(m_source, QFileInfo(m_source).lastModified().addSecs(1)));
    QVERIFY(!record.isCurrentStateBackedUp());
    QVERIFY(record.addNewVersion());
    QVERIFY(record.isCurrentStateBackedUp());

    // Milliseconds do not count.
    const QDateTime whole = QFileInfo(m_source).lastModified();
    QVERIFY(KTestEnvironment::setModified(m_source, whole.addMSecs(400 - whole.time().msec())));
    QVERIFY(record.isCurrentStateBackedUp());
}

void TestFileRecords::sumsStayWithTheirVersionsAsOthersComeAndGo()
{
    KFileObject record(m_source, 0);
    // Any new FileID falls between the first and the last.
    const QString first = testFileId(0);
    const QString last = QStringLiteral("{ffffffff-ffff-ffff-ffff-ffffffffffff}_20240105093012_20240105");
    QVector<KVersionId> versions { KVersionId(first), KVersionId(last), KVersionId(testFileId(1)) };
    versions[0].setSum({ 10, 1, true });
    versions[1].setSum({ 20, 2, false });
    record.addVersions(versions);
    m_env.writeFile(KCommon::backupDirectory() + first, "copy");
    QVERIFY(record.addNewVersion());
    QString made;
    for (const QString& id : record.versionIds()) {
        if (id != first && id != last && id != testFileId(1))
            made = id;
    }
    const auto sizeOf = [&record](const QString& id) {
        return record.sumOf(KVersionKey(id)).size;
    };
    const qint64 source = QFileInfo(m_source).size();
    QCOMPARE(QVector<qint64>({ sizeOf(first), sizeOf(testFileId(1)), sizeOf(made), sizeOf(last) }),
        QVector<qint64>({ 10, -1, source, 20 }));
    QVERIFY(record.removeVersion(first));
    // The loader's way: a sum given later goes before those already held.
    QVERIFY(record.setSum(KVersionKey(testFileId(1)), { 30, 3, false }));
    QCOMPARE(QVector<qint64>({ sizeOf(first), sizeOf(testFileId(1)), sizeOf(made), sizeOf(last) }),
        QVector<qint64>({ -1, 30, source, 20 }));
    QVERIFY(record.sumOf(KVersionKey(made)).hasHash);
    QVERIFY(!record.sumOf(KVersionKey(last)).hasHash);
}

void TestFileRecords::latestVersion_data()
{
    QTest::addColumn<QStringList>("stamps"); // in map order
    QTest::addColumn<int>("latest");
    const QString future = stampOf(QDateTime::currentDateTime().addDays(30));
    const QString farFuture = stampOf(QDateTime::currentDateTime().addDays(60));
    QTest::newRow("the latest time wins") << QStringList { QStringLiteral("20240101000000"),
        QStringLiteral("20240301000000"), QStringLiteral("20240201000000") }
                                          << 1;
    QTest::newRow("a malformed first version gives way to a valid one")
        << QStringList { QStringLiteral("garbage"), QStringLiteral("20240101000000") } << 1;
    QTest::newRow("a malformed later version is never picked")
        << QStringList { QStringLiteral("20240101000000"), QStringLiteral("2024") } << 0;
    QTest::newRow("equal times keep the earlier entry")
        << QStringList { QStringLiteral("20240101000000"), QStringLiteral("20240101000000") } << 0;
    QTest::newRow("a pick in the future is not replaced")
        << QStringList { future, QStringLiteral("20240101000000"), farFuture } << 0;
    QTest::newRow("a future time can still be reached from the past")
        << QStringList { QStringLiteral("20240101000000"), future, farFuture } << 1;
}

void TestFileRecords::latestVersion()
{
    QFETCH(QStringList, stamps);
    QFETCH(int, latest);
    KFileObject record(m_source, 0);
    QStringList ids;
    for (int i = 0; i < stamps.size(); ++i) {
        ids << testFileId(
            i, stamps.at(i), today()); // the map orders by FileID: the numbering fixes the order
        record.addVersion(ids.last());
    }
    QCOMPARE(record.latestVersion()->fileId(), ids.at(latest));
    QCOMPARE(record.latestModifiedTime(), record.latestVersion()->modifiedTime());
}

void TestFileRecords::sevenDayDropCountsMidnights()
{
    const QDate date = QDate::currentDate();
    KFileObject record(m_source, 0);
    const QString sixBack
        = addCopy(&record, testFileId(1, stampOf(QDateTime(date.addDays(-6), QTime(0, 0, 1))), today()));
    // Seven midnights back although fewer than seven times 24 hours may have passed.
    const QString sevenBack
        = addCopy(&record, testFileId(2, stampOf(QDateTime(date.addDays(-7), QTime(23, 59, 59))), today()));
    const QString sixAhead
        = addCopy(&record, testFileId(3, stampOf(QDateTime(date.addDays(6), QTime(12, 0))), today()));
    const QString sevenAhead
        = addCopy(&record, testFileId(4, stampOf(QDateTime(date.addDays(7), QTime(0, 0, 0))), today()));
    const QString unreadable = addCopy(&record, QStringLiteral("{00000000-0000-0000-0000-000000000005}_x"));

    QVERIFY(record.dropVersionsOlderThan7Days());
    QCOMPARE(record.versionCount(), 3);
    QVERIFY(QFile::exists(sixBack));
    QVERIFY(!QFile::exists(sevenBack));
    QVERIFY(QFile::exists(sixAhead));
    QVERIFY(!QFile::exists(sevenAhead));
    QVERIFY(QFile::exists(unreadable));
    QVERIFY(!record.dropVersionsOlderThan7Days());
}

void TestFileRecords::failedRemovalKeepsTheEntry()
{
    KFileObject record(m_source, 0);
    const QString kept = testFileId(1, QStringLiteral("20240101000000"), today());
    const QString gone = testFileId(2, QStringLiteral("20240102000000"), today());
    const QString copy = addCopy(&record, kept);
    record.addVersion(gone); // its copy is missing, so deleting it fails

    QVERIFY(!record.removeVersion(gone));
    QCOMPARE(record.versionCount(), 2);
    QVERIFY(record.findVersion(gone));

    QVERIFY(record.removeVersion(kept));
    QVERIFY(!QFile::exists(copy));
    QCOMPARE(record.versionIds(), QStringList { gone });

    // Removing everything reports the failure but forgets the versions all the same.
    addCopy(&record, kept);
    QVERIFY(!record.removeAllBackups());
    QCOMPARE(record.versionCount(), 0);
    QVERIFY(!QFile::exists(copy));
}

void TestFileRecords::pathsTheDatabaseCannotCarryAreNeverProtected_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("storable");
    QTest::newRow("tabs and line breaks are written as references")
        << QStringLiteral("a\tb\nc\r.xls") << true;
    QTest::newRow("characters beyond the basic plane are kept") << QStringLiteral("图纸😀.dwg") << true;
    QTest::newRow("other control characters are refused") << QStringLiteral("a\x01"
                                                                            "b.xls")
                                                          << false;
    QTest::newRow("the non-character U+FFFE is refused")
        << QStringLiteral("a") + QChar(0xFFFE) + QStringLiteral(".xls") << false;
}

void TestFileRecords::pathsTheDatabaseCannotCarryAreNeverProtected()
{
    QFETCH(QString, name);
    QFETCH(bool, storable);
    const QString path = m_env.writeFile(QStringLiteral("work/") + name, "x");
    QVERIFY(!path.isEmpty());
    KFileObjectMgr collection;
    QCOMPARE(collection.backupFile(path, 4) != nullptr, storable);
    QCOMPARE(QDir(KCommon::backupDirectory()).isEmpty(), !storable); // no copy is made for nothing
    QVERIFY(!KFileObjectMgr::isStorablePath(QString(QChar(0xD800)) + QStringLiteral("x")));
}

void TestFileRecords::recordsAreListedInPathOrderAfterEveryChange()
{
    KFileObjectMgr collection;
    QStringList expected;
    for (const char* name : { "h", "c", "f", "a", "g", "b", "e", "d" }) {
        expected << m_env.writeFile(QStringLiteral("work/order/%1.pra4").arg(QLatin1String(name)), "x");
        QVERIFY(collection.backupFile(expected.constLast(), 0));
        expected.sort();
        QStringList listed;
        for (const QString& row : collection.collectRows(nullptr, nullptr))
            listed << row.section(QLatin1Char('|'), 0, 0);
        QCOMPARE(listed, expected);
    }
}

void TestFileRecords::removedRecordsLiveWhileHeldAndAreFreedAfter()
{
    KFileObjectMgr collection;
    const QString pathA = m_env.writeFile(QStringLiteral("work/a.pra4"), "a");
    const QString pathB = m_env.writeFile(QStringLiteral("work/b.pra4"), "b");
    const KFileObjectPtr a = collection.backupFile(pathA, 0);
    KFileObjectPtr b = collection.backupFile(pathB, 0);
    QVERIFY(a && b);
    // A copy that cannot be deleted keeps its record, now without versions: not saved, not listed.
    QVERIFY(QFile::remove(KCommon::backupDirectory() + a->versionIds().constFirst()));
    QVERIFY(!collection.removeFile(pathA));
    QCOMPARE(collection.findFile(pathA), a);
    QCOMPARE(collection.toXml(), b->toXml() + QLatin1Char('\n'));
    QVERIFY(collection.removeFile(pathA)); // nothing left to delete

    QVERIFY(collection.removeVersion(b->versionIds().constFirst()));
    QVERIFY(!collection.findFile(pathB)); // its last version went, and the record with it
    QCOMPARE(b->fileName(), pathB); // still alive for whoever holds it
    QCOMPARE(collection.count(), 0);
    const std::weak_ptr<KFileObject> released = b;
    b.reset();
    QVERIFY(released.expired()); // and freed once nobody does
}

void TestFileRecords::backupsOnOneThreadWhileAnotherReads()
{
    KFileObjectMgr collection;
    QStringList sources;
    for (int i = 0; i < 20; ++i)
        sources << m_env.writeFile(QStringLiteral("work/stress/%1.pra4").arg(i), QByteArray(100, 'x'));
    const QString folder = KCommon::backupDirectory();
    std::atomic<bool> done { false };
    std::atomic<int> notRemoved { 0 };
    // The writer backs up as the scanner does, handed the backup folder once, and removes a version
    // each round, which may drop a record the reader holds.
    std::thread writer([&] {
        for (int round = 0; round < 5; ++round) {
            for (const QString& source : qAsConst(sources))
                collection.backupFile(source, 0, folder);
            if (!collection.removeVersion(collection.findFile(sources.at(round))->versionIds().constFirst()))
                ++notRemoved;
        }
        done = true;
    });
    int reads = 0;
    while (!done || reads == 0) {
        QStringList existing;
        collection.collectRows(&existing, nullptr);
        collection.totalBackupSize();
        collection.toXml();
        if (const KFileObjectPtr record = collection.findFile(sources.constFirst()))
            record->rowText();
        ++reads;
    }
    writer.join();
    QCOMPARE(notRemoved.load(), 0);
    QCOMPARE(collection.count(), 20);
    QCOMPARE(collection.totalBackupSize(), qint64(100 * (20 * 5 - 5)));
    QCOMPARE(collection.collectRows(nullptr, nullptr).size(), 20);
}

QTEST_GUILESS_MAIN(TestFileRecords)
#include "tst_filerecords.moc"
