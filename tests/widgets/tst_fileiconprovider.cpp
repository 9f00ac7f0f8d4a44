#include "Widgets/icons/kfileiconprovider.h"
#include "core/kcommon.h"
#include "core/kfileiconsink.h"
#include "ktestenvironment.h"

#include <QFile>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {

QImage pixelsOf(const QIcon& icon, const QSize& size)
{
    return icon.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class TestFileIconProvider : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void xlsxInCapitalsGivesTheEmbeddedIcon();
    void unknownSuffixGivesTheUnknownIconAndStaysUnknown();
    void fileWithoutSuffixIsStoredUnderTheEmptySuffix();
    void vanishedPathAddsNothing();
    void providerInstallsItselfAsTheEnginesSink();
    void otherThreadsQueueTheLookupToTheGuiThread();
    void fileGoneBeforeTheQueuedLookupAddsNothing();
    void workerRegistersWhileTheGuiThreadReads();

private:
    QScopedPointer<KTestEnvironment> m_env;
};

void TestFileIconProvider::initTestCase()
{
    m_env.reset(new KTestEnvironment);
}

void TestFileIconProvider::xlsxInCapitalsGivesTheEmbeddedIcon()
{
    KFileIconProvider provider;
    const QImage embedded(QStringLiteral(":/Icons/Icons/excel.png"));
    QVERIFY(!embedded.isNull());

    const QIcon icon = provider.iconForFile(QStringLiteral("/home/ann/REPORT.XLSX"));
    QVERIFY(!icon.isNull());
    QCOMPARE(pixelsOf(icon, embedded.size()), embedded.convertToFormat(QImage::Format_ARGB32));

    // An existing spreadsheet does not replace the embedded picture: the first icon is kept.
    provider.registerFile(m_env->writeFile(QStringLiteral("sheets/budget.xlsx"), "PK"));
    QCOMPARE(pixelsOf(provider.iconForFile(QStringLiteral("x.xlsx")), embedded.size()),
        embedded.convertToFormat(QImage::Format_ARGB32));
}

void TestFileIconProvider::unknownSuffixGivesTheUnknownIconAndStaysUnknown()
{
    KFileIconProvider provider;
    const QImage unknown(KCommon::skinImagePath(QStringLiteral("unkownFile.png")));
    QVERIFY(!unknown.isNull());

    const QIcon icon = provider.iconForFile(QStringLiteral("/gone/plan.zq9"));
    QVERIFY(!icon.isNull());
    QCOMPARE(pixelsOf(icon, unknown.size()), unknown.convertToFormat(QImage::Format_ARGB32));
    QVERIFY(!provider.hasIcon(QStringLiteral("zq9")));
}

void TestFileIconProvider::fileWithoutSuffixIsStoredUnderTheEmptySuffix()
{
    KFileIconProvider provider;
    QVERIFY(!provider.hasIcon(QString()));
    provider.registerFile(m_env->writeFile(QStringLiteral("project/Makefile"), "all:\n"));
    QVERIFY(provider.hasIcon(QString()));
    const QIcon learnt = provider.iconForFile(QStringLiteral("/elsewhere/README"));
    QVERIFY(!learnt.isNull());
    QCOMPARE(learnt.cacheKey(), provider.iconForFile(QStringLiteral("Makefile")).cacheKey());
}

void TestFileIconProvider::vanishedPathAddsNothing()
{
    KFileIconProvider provider;
    const QString path = m_env->writeFile(QStringLiteral("tmp/old.qv7"), "x");
    QVERIFY(QFile::remove(path));
    provider.registerFile(path);
    provider.registerFile(QString());
    QVERIFY(!provider.hasIcon(QStringLiteral("qv7")));
}

void TestFileIconProvider::providerInstallsItselfAsTheEnginesSink()
{
    const QString path = m_env->writeFile(QStringLiteral("sink/notes.qs1"), "x");
    {
        KFileIconProvider provider;
        QCOMPARE(KFileIconSink::installed(), &provider);
        KFileIconSink::registerFile(path);
        QVERIFY(provider.hasIcon(QStringLiteral("qs1")));
    }
    QCOMPARE(KFileIconSink::installed(), nullptr);
    KFileIconSink::registerFile(path); // nowhere to go, and no harm
}

void TestFileIconProvider::otherThreadsQueueTheLookupToTheGuiThread()
{
    KFileIconProvider provider;
    const QString first = m_env->writeFile(QStringLiteral("queued/a.qq1"), "x");
    const QString second = m_env->writeFile(QStringLiteral("queued/b.QQ1"), "x");
    std::thread worker([&] {
        provider.registerFile(first);
        provider.registerFile(second);
    });
    worker.join();
    // Pending until the GUI thread takes the lookup.
    QVERIFY(!provider.hasIcon(QStringLiteral("qq1")));
    QTRY_VERIFY(provider.hasIcon(QStringLiteral("qq1")));
}

void TestFileIconProvider::fileGoneBeforeTheQueuedLookupAddsNothing()
{
    KFileIconProvider provider;
    const QString path = m_env->writeFile(QStringLiteral("queued/c.qq2"), "x");
    std::thread worker([&] { provider.registerFile(path); });
    worker.join();
    QVERIFY(QFile::remove(path));
    QCoreApplication::processEvents();
    QVERIFY(!provider.hasIcon(QStringLiteral("qq2")));

    // A later report of the same suffix is looked up again.
    QVERIFY(!m_env->writeFile(QStringLiteral("queued/d.qq2"), "x").isEmpty());
    std::thread again([&] { provider.registerFile(m_env->path(QStringLiteral("queued/d.qq2"))); });
    again.join();
    QTRY_VERIFY(provider.hasIcon(QStringLiteral("qq2")));
}

void TestFileIconProvider::workerRegistersWhileTheGuiThreadReads()
{
    KFileIconProvider provider;
    QStringList paths;
    for (int i = 0; i < 40; ++i)
        paths.append(m_env->writeFile(QStringLiteral("many/file%1.s%2").arg(i).arg(i % 20), "x"));

    std::atomic<bool> done { false };
    std::thread worker([&] {
        for (int round = 0; round < 5; ++round) {
            for (const QString& path : qAsConst(paths))
                KFileIconSink::registerFile(path);
        }
        done = true;
    });
    int nullIcons = 0;
    while (!done) {
        for (int i = 0; i < 20; ++i)
            nullIcons += provider.iconForFile(QStringLiteral("x.s%1").arg(i)).isNull() ? 1 : 0;
        QCoreApplication::processEvents();
    }
    worker.join();
    QCOMPARE(nullIcons, 0);
    for (int i = 0; i < 20; ++i)
        QTRY_VERIFY(provider.hasIcon(QStringLiteral("s%1").arg(i)));
}

QTEST_MAIN(TestFileIconProvider)
#include "tst_fileiconprovider.moc"
