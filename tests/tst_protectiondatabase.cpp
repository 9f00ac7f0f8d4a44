#include "core/kcommon.h"
#include "core/kcopysums.h"
#include "core/kfiletypemanager.h"
#include "ktestenvironment.h"
#include "ktestrecords.h"
#include "platform/kfileio.h"

#include <QDomDocument>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <fcntl.h>
#include <numeric>
#include <tuple>

namespace {

// Set in a child process that saves a large database until it is killed.
const char SaverVariable[] = "VAULTKEEP_TEST_SAVE_FOREVER";
const int SaverRecords = 40000;

using LoadResult = KProtectionDatabase::LoadResult;
constexpr LoadResult Loaded = LoadResult::Loaded;

int recordCount(const KTestStore& store)
{
    return std::accumulate(store.begin(), store.end(), 0,
        [](int sum, const KFileObjectMgr& collection) { return sum + collection.count(); });
}

int saveForever(const QString& path)
{
    KTestStore store;
    for (int i = 0; i < SaverRecords; ++i)
        addTestRecord(&store[i % 5], QStringLiteral("/work/项目 %1/预算 & 报价.pra4").arg(i), i % 5,
            { testFileId(i), testFileId(-i) });
    const KProtectionDatabase database(path);
    while (database.save(collectionsOf(store))) { }
    return 1;
}

// A File element with the given attributes and one Version per FileID, written as given.
QByteArray fileElement(const QByteArray& attributes, const QStringList& fileIds)
{
    QByteArray element = "<File " + attributes + ">";
    for (const QString& id : fileIds)
        element += "<Version FileID=\"" + id.toUtf8() + "\"/>";
    return element + "</File>\n";
}

// xmllint comes with the packages tools/install-deps installs.
bool xmllintAccepts(const QString& path)
{
    return QProcess::execute(QStringLiteral("xmllint"), { QStringLiteral("--noout"), path }) == 0;
}

} // namespace

Q_DECLARE_METATYPE(KProtectionDatabase::LoadResult)

class TestProtectionDatabase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void savedFileHasItsExactForm_data();
    void savedFileHasItsExactForm();
    void roundTripKeepsEveryPathAndDropsMissingCopies();
    void savesAfterChangesWriteWhatAFirstSaveWould();
    void loaderKeepsOnlyWhatItCanUse();
    void unusableFilesAreSetAsideNeverOverwritten_data();
    void unusableFilesAreSetAsideNeverOverwritten();
    void replacementsLeftByAKilledSaveAreRemovedAtLoad();
    void fileIdsReachingOutsideAreDropped();
    void killedSaveLeavesAWholeDatabase();
    void sumsAreKeptBesideAndADamagedFileChecksNothing_data();
    void sumsAreKeptBesideAndADamagedFileChecksNothing();
    void largeDatabaseIsSavedWholeAndSumsFoundInAnyOrder();

private:
    // A copy named `id` in the backup folder.
    void writeCopy(const QString& id)
    {
        QVERIFY(!m_env.writeFile(KCommon::backupDirectory() + id, "copy").isEmpty());
    }
    void writeDatabase(const QByteArray& content)
    {
        QVERIFY(!m_env.writeFile(m_database->path(), content).isEmpty());
    }
    // Ten records with existing copies, saved.
    QByteArray saveTenRecords();

    KTestEnvironment m_env;
    QScopedPointer<KProtectionDatabase> m_database;
    KTestStore m_store;
    KTestStore m_loaded;
};

void TestProtectionDatabase::initTestCase()
{
    m_env.addBackupDrive(QStringLiteral("D"));
    KFileTypeManager::instance()->addFileExts(0, QStringLiteral("pra4"));
}

void TestProtectionDatabase::init()
{
    QDir(KCommon::backupDirectory()).removeRecursively();
    m_database.reset(new KProtectionDatabase);
    QFile::remove(m_database->path());
}

void TestProtectionDatabase::cleanup()
{
    for (int i = 0; i < 5; ++i) {
        m_store[i].clear();
        m_loaded[i].clear();
    }
}

QByteArray TestProtectionDatabase::saveTenRecords()
{
    for (int i = 0; i < 10; ++i) {
        writeCopy(testFileId(i));
        addTestRecord(&m_store[i % 5], QStringLiteral("/w/%1.pra4").arg(i), i % 5, { testFileId(i) });
    }
    return m_database->save(collectionsOf(m_store)) ? KTestEnvironment::contentOf(m_database->path())
                                                    : QByteArray();
}

void TestProtectionDatabase::savedFileHasItsExactForm_data()
{
    QTest::addColumn<QString>("kinds");
    QTest::addColumn<QString>("body");
    const QString school
        = QStringLiteral("<File FileName=\"d:\\projects\\school.pra4\" Type=\"0\">\n  <Version FileID=\"")
        + testFileId(1) + QStringLiteral("\"/>\n  <Version FileID=\"") + testFileId(2)
        + QStringLiteral("\"/>\n </File>");
    const QString tower
        = QStringLiteral("<File FileName=\"d:\\tower.rba24\" Type=\"2\">\n  <Version FileID=\"")
        + testFileId(3) + QStringLiteral("\"/>\n </File>");
    QTest::newRow("no records leave one empty line") << QString() << QString();
    QTest::newRow("an empty kind between two leaves an empty line")
        << QStringLiteral("02") << school + QStringLiteral("\n\n") + tower;
}

void TestProtectionDatabase::savedFileHasItsExactForm()
{
    QFETCH(QString, kinds);
    QFETCH(QString, body);
    if (kinds.contains(QLatin1Char('2')))
        addTestRecord(&m_store[2], QStringLiteral("d:\\tower.rba24"), 2, { testFileId(3) });
    if (kinds.contains(QLatin1Char('0')))
        addTestRecord(
            &m_store[0], QStringLiteral("d:\\projects\\school.pra4"), 0, { testFileId(2), testFileId(1) });
    QVERIFY(m_database->save(collectionsOf(m_store)));
    QCOMPARE(QString::fromUtf8(KTestEnvironment::contentOf(m_database->path())),
        QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<TarselFileProtect>\n") + body
            + QStringLiteral("\n</TarselFileProtect>\n"));
    QVERIFY(xmllintAccepts(m_database->path()));
}

void TestProtectionDatabase::roundTripKeepsEveryPathAndDropsMissingCopies()
{
    const QStringList paths { QStringLiteral("/w/a&b.pra4"), QStringLiteral("/w/<c>.pra4"),
        QStringLiteral("/w/\"d\".pra4"), QStringLiteral("/w/it's.pra4"),
        QStringLiteral("/w/with  spaces .pra4"), QStringLiteral("/工程/预算 书.pra4"),
        QStringLiteral("/w/tab\tline\nreturn\r.pra4") };
    for (int i = 0; i < paths.size(); ++i) {
        writeCopy(testFileId(i));
        addTestRecord(
            &m_store[i % 5], paths.at(i), i % 5, { testFileId(i), testFileId(100 + i) }); // 100+ have no copy
    }
    addTestRecord(&m_store[4], QStringLiteral("/w/only missing copies.xls"), 4, { testFileId(200) });
    // A FileID renamed by hand to something other than ASCII is written back in UTF-8.
    const QString renamed = QStringLiteral("版本_20240105093012_20240105");
    writeCopy(renamed);
    addTestRecord(&m_store[3], QStringLiteral("/w/renamed.ina"), 3, { renamed });
    QVERIFY(m_database->save(collectionsOf(m_store)));
    QVERIFY(xmllintAccepts(m_database->path()));

    QCOMPARE(m_database->load(collectionsOf(m_loaded)), Loaded);
    for (int i = 0; i < paths.size(); ++i) {
        const KFileObjectPtr record = m_loaded[i % 5].findFile(paths.at(i));
        QVERIFY2(record, qPrintable(paths.at(i)));
        QCOMPARE(record->versionIds(), QStringList { testFileId(i) });
        QCOMPARE(record->fileType(), i % 5);
    }
    QCOMPARE(m_loaded[3].findFile(QStringLiteral("/w/renamed.ina"))->versionIds(), QStringList { renamed });
    QCOMPARE(recordCount(m_loaded), paths.size() + 1);
}

void TestProtectionDatabase::savesAfterChangesWriteWhatAFirstSaveWould()
{
    for (int i = 0; i < 6; ++i)
        addTestRecord(&m_store[i % 3], QStringLiteral("/w/%1.pra4").arg(i), i % 3,
            { testFileId(i), testFileId(10 + i) });
    const KProtectionDatabase other(m_env.path(QStringLiteral("other.xml")));
    QVERIFY(m_database->save(collectionsOf(m_store)));
    QVERIFY(other.save(collectionsOf(m_store)));

    // Saves copy unchanged records from the text of their last save; changed ones are written anew.
    m_store[0].findFile(QStringLiteral("/w/0.pra4"))->addVersion(testFileId(20));
    std::ignore = m_store[1].findFile(QStringLiteral("/w/1.pra4"))->removeAllBackups();
    m_store[2].clear();
    addTestRecord(&m_store[4], QStringLiteral("/w/new.xls"), 4, { testFileId(30) });
    QVERIFY(m_database->save(collectionsOf(m_store)));
    QCOMPARE(KTestEnvironment::contentOf(m_database->path()),
        KProtectionDatabase::content(collectionsOf(m_store)));
    m_store[0].findFile(QStringLiteral("/w/3.pra4"))->addVersion(testFileId(40));
    QVERIFY(other.save(collectionsOf(m_store)));
    QVERIFY(m_database->save(collectionsOf(m_store)));
    QCOMPARE(KTestEnvironment::contentOf(other.path()), KProtectionDatabase::content(collectionsOf(m_store)));
    QCOMPARE(KTestEnvironment::contentOf(m_database->path()),
        KProtectionDatabase::content(collectionsOf(m_store)));
}

void TestProtectionDatabase::loaderKeepsOnlyWhatItCanUse()
{
    for (const QString& id : { testFileId(1), testFileId(2), testFileId(3), testFileId(4), testFileId(5),
             QStringLiteral("short"), QStringLiteral("{x}_20241399999999_2024abcd"), QStringLiteral("a&b") })
        writeCopy(id);
    QDir().mkpath(KCommon::backupDirectory() + QStringLiteral("folder"));
    addTestRecord(&m_loaded[2], QStringLiteral("/w/in memory.pra4"), 2, { testFileId(9) });
    writeDatabase("<TarselFileProtect>\n" + fileElement("FileName=\"/w/untyped.pra4\"", { testFileId(1) })
        + fileElement("FileName=\"/w/untyped.unknown\"", { testFileId(2) })
        + fileElement("FileName=\"/w/seven.pra4\" Type=\"7\"", { testFileId(3) })
        + fileElement("Type=\"0\"", { testFileId(4) })
        + fileElement("FileName=\"/w/odd.pra4\" Type=\"3\"",
            { QStringLiteral("short"), QStringLiteral("{x}_20241399999999_2024abcd"),
                QStringLiteral("missing"), QStringLiteral("a&amp;b"), QStringLiteral("folder") })
        + fileElement("FileName=\"/w/gone.pra4\" Type=\"1\"", { QStringLiteral("missing") })
        + fileElement("FileName=\"/w/in memory.pra4\" Type=\"2\"", { testFileId(5) })
        + "</TarselFileProtect>\n");
    QCOMPARE(m_database->load(collectionsOf(m_loaded)), Loaded);
    QCOMPARE(m_loaded[0].findFile(QStringLiteral("/w/untyped.pra4"))->fileType(), 0);
    QCOMPARE(m_loaded[3].findFile(QStringLiteral("/w/odd.pra4"))->versionIds(),
        QStringList({ QStringLiteral("short"), QStringLiteral("{x}_20241399999999_2024abcd") }));
    // A record in memory keeps its versions and takes those it lacks.
    QCOMPARE(m_loaded[2].findFile(QStringLiteral("/w/in memory.pra4"))->versionIds(),
        QStringList({ testFileId(5), testFileId(9) }));
    QCOMPARE(recordCount(m_loaded), 3);
}

void TestProtectionDatabase::unusableFilesAreSetAsideNeverOverwritten_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<LoadResult>("result");
    QTest::newRow("a missing file is not loaded") << QByteArray() << LoadResult::NoFile;
    QTest::newRow("a truncated file") << "<TarselFileProtect>\n"
            + fileElement("FileName=\"/w/0.pra4\" Type=\"0\"", { testFileId(0) })
            + "<File FileName=\"/w/1" << LoadResult::SetAside;
    QTest::newRow("one level deeper than the format")
        << "<TarselFileProtect><File FileName=\"/w/0.pra4\" Type=\"0\"><Version FileID=\""
            + testFileId(0).toUtf8() + "\"><x></x></Version></File></TarselFileProtect>"
        << LoadResult::SetAside;
    QByteArray laughs = "<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY l0 \"ha\">";
    for (int i = 1; i < 30; ++i)
        laughs += QStringLiteral("<!ENTITY l%1 \"&l%2;&l%2;\">").arg(i).arg(i - 1).toUtf8();
    laughs += "]><TarselFileProtect><File FileName=\"&l29;\" Type=\"0\"/></TarselFileProtect>";
    QTest::newRow("entities that expand a billion times") << laughs << LoadResult::SetAside;
}

void TestProtectionDatabase::unusableFilesAreSetAsideNeverOverwritten()
{
    QFETCH(QByteArray, content);
    QFETCH(LoadResult, result);
    writeCopy(testFileId(0));
    if (!content.isEmpty())
        writeDatabase(content);
    m_env.platform()->setCurrentDateTime(QDateTime(QDate(2024, 1, 5), QTime(9, 30, 12)));
    QCOMPARE(m_database->load(collectionsOf(m_loaded)), result);
    m_env.platform()->setCurrentDateTime(QDateTime());
    QCOMPARE(recordCount(m_loaded), 0);

    const QString aside = m_database->path() + QStringLiteral(".unreadable-20240105093012");
    if (result == LoadResult::SetAside) {
        QVERIFY(!QFile::exists(m_database->path()));
        QCOMPARE(KTestEnvironment::contentOf(aside), content);
    }
    // The next save starts a new database beside the one set aside.
    addTestRecord(&m_loaded[0], QStringLiteral("/w/new.pra4"), 0, { testFileId(0) });
    QVERIFY(m_database->save(collectionsOf(m_loaded)));
    if (result == LoadResult::SetAside)
        QCOMPARE(KTestEnvironment::contentOf(aside), content);
    QFile::remove(aside);
}

void TestProtectionDatabase::replacementsLeftByAKilledSaveAreRemovedAtLoad()
{
    const QByteArray before = saveTenRecords();
    const QString leftOver = m_database->path() + QStringLiteral(".Ab3x9Z");
    const QString notOurs = m_database->path() + QStringLiteral(".unreadable-20240105093012");
    QVERIFY(!m_env.writeFile(leftOver, "<TarselFileProtect>").isEmpty());
    QVERIFY(!m_env.writeFile(notOurs, "kept").isEmpty());
    QCOMPARE(m_database->load(collectionsOf(m_loaded)), Loaded);
    QVERIFY(!QFile::exists(leftOver));
    QVERIFY(QFile::exists(notOurs));
    QCOMPARE(KTestEnvironment::contentOf(m_database->path()), before);
    QFile::remove(notOurs);
}

void TestProtectionDatabase::fileIdsReachingOutsideAreDropped()
{
    const QString victim = m_env.writeFile(QStringLiteral("drives/victim"), "keep me");
    writeCopy(testFileId(1));
    writeDatabase("<TarselFileProtect>\n"
        + fileElement("FileName=\"/w/a.pra4\" Type=\"0\"",
            { QStringLiteral("../../victim"), QStringLiteral("..\\..\\victim"), victim,
                QStringLiteral("C:victim"), QStringLiteral("vic&#1;tim"), testFileId(1) })
        + fileElement("FileName=\"/w/b.pra4\" Type=\"0\"", { QStringLiteral("../../victim") })
        + "</TarselFileProtect>\n");
    QCOMPARE(m_database->load(collectionsOf(m_loaded)), Loaded);
    KFileObjectMgr& collection = m_loaded[0];
    QCOMPARE(collection.count(), 1);
    const KFileObjectPtr record = collection.findFile(QStringLiteral("/w/a.pra4"));
    QCOMPARE(record->versionIds(), QStringList { testFileId(1) });

    // Should one reach a record another way, nothing done to its versions touches the file.
    record->addVersion(QStringLiteral("../../victim"));
    record->addVersion(victim);
    QVERIFY(!KFileCopyedObject::isSafeFileId(victim));
    QVERIFY(!collection.removeVersion(QStringLiteral("../../victim")));
    QCOMPARE(collection.totalBackupSize(), qint64(4));
    collection.backupSizeBeforeToday();
    std::ignore = collection.removeBackupsBeforeToday();
    std::ignore = collection.dropExpiredVersions();
    std::ignore = collection.removeFile(QStringLiteral("/w/a.pra4"));
    std::ignore = collection.removeAllBackups();
    QCOMPARE(KTestEnvironment::contentOf(victim), QByteArray("keep me"));
}

void TestProtectionDatabase::killedSaveLeavesAWholeDatabase()
{
    const QByteArray before = saveTenRecords();
    QVERIFY(!before.isEmpty());
    const QDir folder = QFileInfo(m_database->path()).absoluteDir();

    QProcess saver;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(SaverVariable), m_database->path());
    saver.setProcessEnvironment(environment);
    saver.start(QCoreApplication::applicationFilePath(), QStringList());
    QVERIFY(saver.waitForStarted());
    // Killed while it holds a file open in the database's folder: in the middle of a write. (The
    // temporary file may have no name, so the process's descriptors are watched.)
    const auto writing = [&] {
        const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(saver.processId()));
        const QFileInfoList entries
            = descriptors.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo& descriptor : entries) {
            if (descriptor.symLinkTarget().startsWith(folder.path()))
                return true;
        }
        return false;
    };
    QDeadlineTimer deadline(120000);
    while (!writing() && !deadline.hasExpired() && saver.state() == QProcess::Running)
        QThread::msleep(1);
    saver.kill();
    QVERIFY(saver.waitForFinished());
    QVERIFY2(!deadline.hasExpired(), "the saver never started writing");

    const QByteArray after = KTestEnvironment::contentOf(m_database->path());
    if (after == before) {
        QCOMPARE(m_database->load(collectionsOf(m_loaded)), Loaded);
        QCOMPARE(recordCount(m_loaded), 10);
    } else {
        // The saver finished a save before it was killed: that one is whole.
        QDomDocument document;
        QVERIFY(document.setContent(after));
        QCOMPARE(document.documentElement().childNodes().size(), SaverRecords);
    }
}

void TestProtectionDatabase::sumsAreKeptBesideAndADamagedFileChecksNothing_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<bool>("sumsLoaded");
    QTest::newRow("a whole file") << QString() << true;
    QTest::newRow("no file") << "removed" << false;
    QTest::newRow("a digit changed") << "changed" << false;
    QTest::newRow("cut short") << "cut" << false;
}

void TestProtectionDatabase::sumsAreKeptBesideAndADamagedFileChecksNothing()
{
    QFETCH(QString, damage);
    QFETCH(bool, sumsLoaded);
    const QString sumsFile = m_database->sumsPath();
    QFile::remove(sumsFile);
    auto* record = new KFileObject(QStringLiteral("/w/summed.pra4"), 0);
    QVector<KVersionId> versions { KVersionId(testFileId(1)), KVersionId(testFileId(2)),
        KVersionId(testFileId(3)) };
    versions[0].setSum({ 4, 0x0123456789abcdefULL, true });
    versions[1].setSum({ 4, 0, false }); // a size alone
    for (const KVersionId& version : qAsConst(versions))
        writeCopy(version.text());
    record->addVersions(versions);
    QVERIFY(m_store[0].addFile(record));
    KCopySums::noteNewSum();
    const QByteArray xml = KProtectionDatabase::content(collectionsOf(m_store));
    QVERIFY(m_database->save(collectionsOf(m_store)));

    // The database keeps its own form; the sums are beside it, private like it.
    QCOMPARE(KTestEnvironment::contentOf(m_database->path()), xml);
    QByteArray sums = KTestEnvironment::contentOf(sumsFile);
    QVERIFY(sums.startsWith("vaultkeep-sums 1\n4 0123456789abcdef " + testFileId(1).toUtf8() + "\n4 - "));
    QCOMPARE(sums.count('\n'), 4);
    QCOMPARE(KTestEnvironment::modeOf(sumsFile), 0600u);
    QCOMPARE(KTestEnvironment::modeOf(m_database->path()), 0600u);
    if (damage == QLatin1String("removed"))
        QVERIFY(QFile::remove(sumsFile));
    if (damage == QLatin1String("changed"))
        QVERIFY(!m_env.writeFile(sumsFile, sums.replace("4 0123", "5 0123")).isEmpty());
    if (damage == QLatin1String("cut"))
        QVERIFY(!m_env.writeFile(sumsFile, sums.left(sums.lastIndexOf("end "))).isEmpty());

    QCOMPARE(m_database->load(collectionsOf(m_loaded)), Loaded);
    const QVector<KVersionId> loaded = m_loaded[0].findFile(QStringLiteral("/w/summed.pra4"))->versions();
    // A sums file the disk refuses is never taken for written.
    const KFd full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
    KCopySums::Writer writer(full.get());
    QVERIFY(!writer.finish());
    QCOMPARE(loaded.size(), 3);
    for (int i = 0; i < 3; ++i) {
        const KContentSum got = loaded.at(i).sum();
        const KContentSum expected = sumsLoaded ? versions.at(i).sum() : KContentSum();
        QCOMPARE(QVector<qint64>({ got.size, qint64(got.hash), got.hasHash }),
            QVector<qint64>({ expected.size, qint64(expected.hash), expected.hasHash }));
    }
}

void TestProtectionDatabase::largeDatabaseIsSavedWholeAndSumsFoundInAnyOrder()
{
    // More text than one chunk of the save, and more records than the loader looks ahead for
    // the record of a sum.
    for (int i = 0; i < 12; ++i) {
        auto* record = new KFileObject(QStringLiteral("/w/%1.pra4").arg(i, 2, 10, QLatin1Char('0')), 0);
        QVector<KVersionId> versions { KVersionId(testFileId(i)) };
        versions[0].setSum({ i, quint64(i) * 7 + 1, true });
        writeCopy(testFileId(i));
        for (int j = 0; j < 300; ++j)
            versions.append(KVersionId(testFileId(1000 * (i + 1) + j))); // no copies: not loaded
        record->addVersions(versions);
        QVERIFY(m_store[0].addFile(record));
    }
    KCopySums::noteNewSum();
    QVERIFY(m_database->save(collectionsOf(m_store)));
    const QByteArray saved = KTestEnvironment::contentOf(m_database->path());
    QVERIFY(saved.size() > 300 * 1024);
    QCOMPARE(saved, KProtectionDatabase::content(collectionsOf(m_store)));

    // The sums file's lines in the reverse of the database's order, as no save writes them.
    QList<QByteArray> lines = KTestEnvironment::contentOf(m_database->sumsPath()).split('\n');
    QCOMPARE(lines.size(), 15); // the header, 12 sums, the end and nothing
    lines = lines.mid(1, 12);
    std::reverse(lines.begin(), lines.end());
    QVERIFY(!m_env.writeFile(m_database->sumsPath(), KCopySums::text(lines.join('\n') + '\n')).isEmpty());
    QCOMPARE(m_database->load(collectionsOf(m_loaded)), Loaded);
    for (int i = 0; i < 12; ++i) {
        const QVector<KVersionId> loaded
            = m_loaded[0].findFile(QStringLiteral("/w/%1.pra4").arg(i, 2, 10, QLatin1Char('0')))->versions();
        QCOMPARE(loaded.size(), 1);
        QCOMPARE(loaded.at(0).sum().size, qint64(i));
        QCOMPARE(loaded.at(0).sum().hash, quint64(i) * 7 + 1);
    }
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString saveTo = qEnvironmentVariable(SaverVariable);
    if (!saveTo.isEmpty())
        return saveForever(saveTo);
    TestProtectionDatabase test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_protectiondatabase.moc"
