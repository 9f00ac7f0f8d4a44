#include "core/kcommon.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "ktestenvironment.h"

#include <QtTest>

#include <atomic>
#include <thread>

class TestFileObjectMgr : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void pathsTheDatabaseCannotCarryAreNeverProtected_data();
    void pathsTheDatabaseCannotCarryAreNeverProtected();
    void recordsAreListedInPathOrderAfterEveryChange();
    void removedRecordsLiveWhileHeldAndAreFreedAfter();
    void backupsOnOneThreadWhileAnotherReads();

private:
    KTestEnvironment m_env;
};

void TestFileObjectMgr::initTestCase()
{
    m_env.addBackupDrive(QStringLiteral("D"));
}

void TestFileObjectMgr::init()
{
    QDir(KCommon::backupDirectory()).removeRecursively();
    QDir().mkpath(KCommon::backupDirectory());
}

void TestFileObjectMgr::pathsTheDatabaseCannotCarryAreNeverProtected_data()
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

void TestFileObjectMgr::pathsTheDatabaseCannotCarryAreNeverProtected()
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

void TestFileObjectMgr::recordsAreListedInPathOrderAfterEveryChange()
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

void TestFileObjectMgr::removedRecordsLiveWhileHeldAndAreFreedAfter()
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

void TestFileObjectMgr::backupsOnOneThreadWhileAnotherReads()
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

QTEST_GUILESS_MAIN(TestFileObjectMgr)
#include "tst_fileobjectmgr.moc"
