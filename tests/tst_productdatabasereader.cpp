#include "discovery/kledgerbase.h"
#include "discovery/kproductdatabasereader.h"
#include "ktestenvironment.h"

#include <QCoreApplication>
#include <QtTest>

class TestProductDatabaseReader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void listFieldsComeBackJoinedByLineBreaks_data();
    void listFieldsComeBackJoinedByLineBreaks();
    void readsFailWithoutADatabaseOrField();
    void missingOrForeignLibraryFailsQuietly();
    void theEngineIsFoundBesideTheHost();

private:
    QString libraryBesideTests() const;
    QScopedPointer<KTestEnvironment> m_env;
    QScopedPointer<KLedgerbase> m_engine;
};

QString TestProductDatabaseReader::libraryBesideTests() const
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/libLedgerbase.so");
}

void TestProductDatabaseReader::initTestCase()
{
    m_env.reset(new KTestEnvironment);
    m_env->platform()->setHostExecutablePath(QCoreApplication::applicationFilePath());
    m_engine.reset(new KLedgerbase(libraryBesideTests()));
    QVERIFY2(m_engine->isLoaded(), qPrintable(libraryBesideTests()));
}

void TestProductDatabaseReader::listFieldsComeBackJoinedByLineBreaks_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("text");
    QTest::newRow("several models") << QStringList { QStringLiteral("C:\\工程\\一号楼.cva"), QStringLiteral("/w/b.cva") }
                                    << QStringLiteral("C:\\工程\\一号楼.cva\r\n/w/b.cva");
    QTest::newRow("empty and temporary entries are kept for the reader's caller")
        << QStringList { QStringLiteral("a.cva"), QString(), QStringLiteral("b.tmp") }
        << QStringLiteral("a.cva\r\n\r\nb.tmp");
    QTest::newRow("an empty list") << QStringList() << QString();
    QString longEntry(5000, QLatin1Char('x'));
    QTest::newRow("longer than the first read buffer") << QStringList { longEntry, longEntry }
                                                       << longEntry + QStringLiteral("\r\n") + longEntry;
}

void TestProductDatabaseReader::listFieldsComeBackJoinedByLineBreaks()
{
    QFETCH(QStringList, entries);
    QFETCH(QString, text);
    const QString database = m_env->path(QStringLiteral("Common Documents/产品/System.ldb"));
    QDir().mkpath(QFileInfo(database).absolutePath());
    QVERIFY(m_engine->writeField(database, QStringLiteral("Options"), QStringLiteral("RecentOpenedFileList"), entries));
    QVERIFY(m_engine->writeField(database, QStringLiteral("Options"), QStringLiteral("Other"), { QStringLiteral("z") }));

    if (entries.isEmpty()) {
        QString read;
        QVERIFY(!m_engine->readField(database, QStringLiteral("Options"), QStringLiteral("RecentOpenedFileList"), &read));
    }
    QCOMPARE(KProductDatabaseReader::recentModelList(database), text);
}

void TestProductDatabaseReader::readsFailWithoutADatabaseOrField()
{
    const QString database = m_env->path(QStringLiteral("models.ldb"));
    QVERIFY(m_engine->writeField(database, QStringLiteral("Options"), QStringLiteral("RecentOpenedFileList"),
        { QStringLiteral("a.cva") }));
    QString text = QStringLiteral("untouched");
    QVERIFY(!m_engine->readField(database, QStringLiteral("Options"), QStringLiteral("Missing"), &text));
    QVERIFY(!m_engine->readField(database, QStringLiteral("Missing"), QStringLiteral("RecentOpenedFileList"), &text));
    QVERIFY(!m_engine->readField(m_env->path(QStringLiteral("absent.ldb")), QStringLiteral("Options"),
        QStringLiteral("RecentOpenedFileList"), &text));
    QVERIFY(!QFile::exists(m_env->path(QStringLiteral("absent.ldb")))); // reading never creates files
    const QString garbage = m_env->writeFile(QStringLiteral("garbage.ldb"), QByteArray(4096, 'g'));
    QVERIFY(!m_engine->readField(garbage, QStringLiteral("Options"), QStringLiteral("RecentOpenedFileList"), &text));
    QCOMPARE(text, QStringLiteral("untouched"));
    QCOMPARE(KProductDatabaseReader::recentModelList(garbage), QString());
}

void TestProductDatabaseReader::missingOrForeignLibraryFailsQuietly()
{
    const KLedgerbase missing(m_env->path(QStringLiteral("nowhere/libLedgerbase.so")));
    QVERIFY(!missing.isLoaded());
    QString text;
    QVERIFY(!missing.readField(m_env->path(QStringLiteral("models.ldb")), QStringLiteral("Options"),
        QStringLiteral("RecentOpenedFileList"), &text));
    QVERIFY(!missing.writeField(m_env->path(QStringLiteral("x.ldb")), QStringLiteral("Options"), QStringLiteral("F"), {}));

    // A library that does not export the engine's functions is not bound.
    const QString foreign = QStringLiteral("libsqlite3.so.0");
    const KLedgerbase wrong(foreign);
    QVERIFY(!wrong.isLoaded());
}

void TestProductDatabaseReader::theEngineIsFoundBesideTheHost()
{
    QCOMPARE(KLedgerbase::searchPaths().first(), libraryBesideTests());
    const KLedgerbase found;
    QVERIFY(found.isLoaded());
    QCOMPARE(QFileInfo(found.libraryPath()).canonicalFilePath(), QFileInfo(libraryBesideTests()).canonicalFilePath());
}

QTEST_GUILESS_MAIN(TestProductDatabaseReader)
#include "tst_productdatabasereader.moc"
