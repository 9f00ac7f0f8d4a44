#include "AtriumCommon/atriumuserdatalogutils.h"
#include "ktestenvironment.h"
#include "ktracestore.h"
#include "platform/kregistry.h"

#include <QLibrary>
#include <QRegularExpression>
#include <QtTest>

#include <thread>

namespace {

const QString HostKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel\\Atrium");
constexpr int FlushMs = 10000;

} // namespace

class TestUsageTrace : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void librarySearch_data();
    void librarySearch();
    void recordsFromTwoThreadsAreStoredExactly();
    void recordTexts_data();
    void recordTexts();
    void aHostWithoutVersionSendsAnEmptyVersion();
    void withoutALibraryNothingHappens();
    void libraryKeepsTheNewestRecordsUpToItsMaximum();

private:
    void useCacheHome(const QString& folder);

    QScopedPointer<KTestEnvironment> m_env;
    QString m_host; // the host of the process-wide binding, with the library beside it
    int m_row = 0;
};

void TestUsageTrace::initTestCase()
{
    m_env.reset(new KTestEnvironment);
    m_host = installHostWithPathmark(*m_env, QStringLiteral("5.2.0.1"));
    QVERIFY(!m_host.isEmpty());
}

void TestUsageTrace::init()
{
    useCacheHome(m_env->path(QStringLiteral("cache")));
    KRegistryKey(HostKey).removeKey();
    KRegistryKey host(HostKey);
    host.setValue(QStringLiteral("UserName"), QStringLiteral("张三"));
    host.setValue(QStringLiteral("tag"), 2);
}

void TestUsageTrace::useCacheHome(const QString& folder)
{
    // Read by the library when it is bound; keeps the trace file out of the real cache.
    qputenv("XDG_CACHE_HOME", QFile::encodeName(folder));
}

void TestUsageTrace::librarySearch_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("library"); // where the library lies; empty for nowhere
    QTest::addColumn<QString>("version"); // the registry's Version; null for none
    QTest::addColumn<QString>("registryPath"); // the registry's Path; null for none
    QTest::addColumn<QString>("expected"); // the path looked at; empty for none

    const auto lib = [](const char* folder) -> QString {
        return QString::fromUtf8(folder) + QStringLiteral("libPathmark.so");
    };
    QTest::newRow("a library beside the host executable is used")
        << "inst/bin/atrium" << lib("inst/bin/") << QString() << QString() << lib("inst/bin/");
    QTest::newRow("a host in a Core folder looks in the Service folder beside it")
        << "inst/Core/atrium" << lib("inst/Service/") << QString() << QString()
        << lib("inst/Core/../Service/");
    QTest::newRow("Core matches in any case") << "inst/cORe/atrium" << lib("inst/Service/") << QString()
                                              << QString() << lib("inst/cORe/../Service/");
    QTest::newRow("an apps host in any case uses the version folder under its base")
        << "Inst/APPS/tool/atrium" << lib("Inst/Core/2.5/Service/") << "2.5" << QString()
        << lib("Inst/Core/2.5/Service/");
    QTest::newRow("the last apps folder is cut and an empty version means 1")
        << "inst/apps/x/apps/atrium" << lib("inst/apps/x/Core/1/Service/") << QStringLiteral("") << QString()
        << lib("inst/apps/x/Core/1/Service/");
    QTest::newRow("a channels host uses its base")
        << "inst/channels/beta/atrium" << lib("inst/Core/3/Service/") << "3" << QString()
        << lib("inst/Core/3/Service/");
    QTest::newRow("without the version folder the plain Service folder is used")
        << "inst/apps/atrium" << lib("inst/Core/Service/") << "9" << QString() << lib("inst/Core/Service/");
    QTest::newRow("any other host takes its base from the registry's Path")
        << "other/bin/atrium" << lib("inst/Core/4/Service/") << "4"
        << "inst" << lib("inst/Core/4/Service/");
    QTest::newRow("a Path that is no folder gives no library") << "other/bin/atrium" << QString() << "4"
                                                               << "missing" << QString();
    QTest::newRow("a missing file at the chosen place binds nothing")
        << "inst/apps/atrium" << QString() << QString() << QString() << lib("inst/Core/Service/");
}

void TestUsageTrace::librarySearch()
{
    QFETCH(QString, host);
    QFETCH(QString, library);
    QFETCH(QString, version);
    QFETCH(QString, registryPath);
    QFETCH(QString, expected);

    const QString root = m_env->path(QStringLiteral("search/%1").arg(++m_row));
    const QString hostPath = m_env->writeFile(QStringLiteral("search/%1/").arg(m_row) + host, "host");
    if (!library.isEmpty())
        QVERIFY(!installPathmark(QFileInfo(root + QLatin1Char('/') + library).absolutePath()).isEmpty());
    KRegistryKey key(HostKey);
    if (!version.isNull())
        key.setValue(QStringLiteral("Version"), version);
    if (!registryPath.isNull())
        key.setValue(QStringLiteral("Path"), QString(root + QLatin1Char('/') + registryPath));
    key.sync();
    useCacheHome(root + QStringLiteral("/cache"));

    const AtriumUserDataLogUtils utils(hostPath);
    QCOMPARE(utils.libraryPath(), expected.isEmpty() ? QString() : root + QLatin1Char('/') + expected);
    QCOMPARE(utils.isBound(), !library.isEmpty());
}

void TestUsageTrace::recordsFromTwoThreadsAreStoredExactly()
{
    constexpr int PerThread = 60;
    const auto writer = [](bool manual) {
        for (int i = 0; i < PerThread; ++i) {
            const QString operation = QStringLiteral("%1 %2")
                                          .arg(manual ? QStringLiteral("手动") : QStringLiteral("自动"))
                                          .arg(i);
            if (manual)
                writeManualTrace(operation, QStringLiteral("设置对话框"), QStringLiteral("Vaultkeep"));
            else
                writeAutoTrace(operation, QStringLiteral("清理界面"), QStringLiteral("Vaultkeep"));
        }
    };
    // Both threads race for the process-wide object's first use too.
    std::thread automatic(writer, false);
    std::thread manual(writer, true);
    automatic.join();
    manual.join();
    QVERIFY(AtriumUserDataLogUtils::instance()->waitForUpload(FlushMs));

    const QVector<KStoredTrace> traces
        = readStoredTraces(traceDatabase(m_env->path(QStringLiteral("cache"))));
    QCOMPARE(traces.size(), 2 * PerThread);
    const QRegularExpression stamp(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}$"));
    QStringList automaticRecords;
    QStringList manualRecords;
    for (const KStoredTrace& trace : traces) {
        QVERIFY2(stamp.match(trace.time).hasMatch(), qPrintable(trace.time));
        const QString texts = QStringList { trace.user, trace.application, trace.operation, trace.page,
            trace.product, trace.version }
                                  .join(QLatin1Char('|'));
        (trace.kind == QStringLiteral("手动操作;;正式版") ? manualRecords : automaticRecords) << texts;
    }
    // Each thread's records arrive complete and in the order it wrote them.
    for (int i = 0; i < PerThread; ++i) {
        QCOMPARE(automaticRecords.value(i),
            QStringLiteral("张三|Atrium|自动 %1|清理界面|Vaultkeep|版本号=5.2.0.1,App=atrium").arg(i));
        QCOMPARE(manualRecords.value(i),
            QStringLiteral("张三|Atrium|手动 %1|设置对话框|Vaultkeep|版本号=5.2.0.1,App=atrium").arg(i));
    }
}

void TestUsageTrace::recordTexts_data()
{
    QTest::addColumn<QVariant>("tag");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("kindText");
    QTest::newRow("a release host's manual record has two semicolons in a row")
        << QVariant(2) << QStringLiteral("手动操作;") << QStringLiteral("手动操作;;正式版");
    QTest::newRow("a preview host") << QVariant(1) << QStringLiteral("自动发送;")
                                    << QStringLiteral("自动发送;;体验版");
    QTest::newRow("any other edition is a test edition")
        << QVariant(7) << QStringLiteral("自动发送;") << QStringLiteral("自动发送;;测试版");
    QTest::newRow("no edition is a test edition")
        << QVariant() << QStringLiteral("自动发送;") << QStringLiteral("自动发送;;测试版");
}

void TestUsageTrace::recordTexts()
{
    QFETCH(QVariant, tag);
    QFETCH(QString, kind);
    QFETCH(QString, kindText);
    KRegistryKey key(HostKey);
    if (tag.isValid())
        key.setValue(QStringLiteral("tag"), tag);
    else
        key.removeValue(QStringLiteral("tag"));
    key.sync();

    const AtriumUserDataLogUtils utils(m_host);
    AtriumTraceRecord record;
    record.kind = kind;
    const AtriumTraceCall defaults = utils.prepare(record);
    QCOMPARE(defaults.kindText, kindText);
    QCOMPARE(defaults.user, QStringLiteral("张三"));
    QCOMPARE(defaults.application, QStringLiteral("Atrium"));
    QCOMPARE(defaults.versionText, QStringLiteral("版本号=5.2.0.1,App=atrium"));

    record.user = QStringLiteral("ann");
    record.version = QStringLiteral("1.0");
    const AtriumTraceCall own = utils.prepare(record);
    QCOMPARE(own.user, QStringLiteral("ann"));
    QCOMPARE(own.versionText, QStringLiteral("版本号=1.0,App=atrium"));
}

void TestUsageTrace::aHostWithoutVersionSendsAnEmptyVersion()
{
    m_env->platform()->setFileVersion(QString());
    QTest::ignoreMessage(QtDebugMsg, "Get file verstion error! ");
    const AtriumUserDataLogUtils utils(m_host);
    m_env->platform()->setFileVersion(QStringLiteral("5.2.0.1"));
    QCOMPARE(utils.prepare(AtriumTraceRecord()).versionText, QStringLiteral("版本号=,App=atrium"));
}

void TestUsageTrace::withoutALibraryNothingHappens()
{
    const QString cache = m_env->path(QStringLiteral("nolibrary/cache"));
    useCacheHome(cache);
    const AtriumUserDataLogUtils utils(m_env->writeFile(QStringLiteral("nolibrary/bin/atrium"), "host"));
    QVERIFY(utils.libraryPath().isEmpty());
    QVERIFY(!utils.isBound());
    AtriumTraceRecord record;
    record.operation = QStringLiteral("保存");
    utils.send(record);
    QVERIFY(!utils.waitForUpload(0));
    QVERIFY(!QFileInfo::exists(cache));
}

void TestUsageTrace::libraryKeepsTheNewestRecordsUpToItsMaximum()
{
    // A copy of its own, so that its file and maximum do not touch the other bindings.
    QLibrary library(installPathmark(m_env->path(QStringLiteral("trim"))));
    const auto setFileName = reinterpret_cast<SetCacheFileNameFunction>(library.resolve("SetCacheFileName"));
    const auto setMaxCount
        = reinterpret_cast<SetCacheItemMaxCountFunction>(library.resolve("SetCacheItemMaxCount"));
    const auto upload = reinterpret_cast<UploadUserTraceInfoFunction>(library.resolve("UploadUserTraceInfo"));
    const auto wait
        = reinterpret_cast<WaitForUpLoadUserTraceLogFunction>(library.resolve("WaitForUpLoadUserTraceLog"));
    QVERIFY(setFileName && setMaxCount && upload && wait);

    const QString file = m_env->path(QStringLiteral("trim/records.db"));
    QCOMPARE(setFileName(u""), 0);
    QCOMPARE(setFileName(reinterpret_cast<const char16_t*>(file.utf16())), 1);
    QCOMPARE(setMaxCount(0), 0);
    QCOMPARE(setMaxCount(5), 1);
    for (int i = 0; i < 12; ++i) {
        const QString operation = QStringLiteral("第%1次").arg(i);
        QCOMPARE(
            upload(u"ann", nullptr, reinterpret_cast<const char16_t*>(operation.utf16()), u"", u"", u"", u""),
            1);
        if (i == 3)
            QCOMPARE(wait(FlushMs), 1); // some stored early, the rest in a later batch
    }
    QCOMPARE(wait(FlushMs), 1);

    const QVector<KStoredTrace> traces = readStoredTraces(file);
    QCOMPARE(traces.size(), 5);
    for (int i = 0; i < traces.size(); ++i)
        QCOMPARE(traces.at(i).operation, QStringLiteral("第%1次").arg(7 + i));
    QCOMPARE(traces.first().user, QStringLiteral("ann"));
    QCOMPARE(traces.first().application, QString()); // a null string is stored empty
}

QTEST_GUILESS_MAIN(TestUsageTrace)
#include "tst_usagetrace.moc"
