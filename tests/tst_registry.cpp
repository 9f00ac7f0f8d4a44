#include "core/kconfig.h"
#include "kfakeplatform.h"
#include "ktestenvironment.h"
#include "platform/kregistry.h"

#include <QtTest>

#include <atomic>
#include <sys/stat.h>
#include <thread>

namespace {

// Set in a child process: the folder of the machine whose hive it reads or writes.
const char MachineVariable[] = "VAULTKEEP_TEST_REGISTRY_MACHINE";

const QString CounterKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel\\Atrium\\Apps\\Vaultkeep");

// Other programs' sections, `bytes` long.
QByteArray otherPrograms(int bytes, const char* name)
{
    QByteArray text;
    text.reserve(bytes + 100);
    for (int i = 0; text.size() < bytes; ++i)
        text += "[Software\\" + QByteArray(name) + "\\Item" + QByteArray::number(i) + "]\nPath=C:\\w\\"
            + QByteArray::number(i) + ".dwg\n\n";
    return text;
}

// The child: "read <key> <name>" prints the value, "write <key> <name> <value>" writes it, and
// "read-as-qt <setting>" prints what a plain QSettings on the hive reads, as any Qt program would.
int runChild(const QString& machineFolder, const QStringList& arguments)
{
    KFakePlatform machine(machineFolder);
    KPlatform::setInstance(&machine);
    if (arguments.value(0) == QLatin1String("read-as-qt")) {
        const QSettings hive(machine.registryHiveFile(), QSettings::IniFormat);
        QTextStream(stdout) << hive.value(arguments.value(1)).toString();
        return 0;
    }
    KRegistryKey key(arguments.value(1));
    if (arguments.value(0) == QLatin1String("read")) {
        QTextStream(stdout) << key.value(arguments.value(2)).toString();
        return 0;
    }
    key.setValue(arguments.value(2), arguments.value(3));
    return key.sync() ? 0 : 1;
}

} // namespace

// The registry hive and the settings file: what is read, what a write keeps, who may read them.
class TestRegistry : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void writesReachAnotherProcess_data();
    void writesReachAnotherProcess();
    void aHiveWrittenElsewhereReadsAsUtf8WhateverItsCase();
    void removingAKeyTakesItsSubkeys();
    void aWriteKeepsEveryOtherByte_data();
    void aWriteKeepsEveryOtherByte();
    void aFileThatCannotBeReadIsNeverWritten_data();
    void aFileThatCannotBeReadIsNeverWritten();
    void switchesAreOffOnlyForLowerCaseFalse();
    void aCounterReadsZeroUnlessANumberAndTwoThreadsLoseNothing();
    void excludedFoldersDefaultOnlyWhileAbsent();

private:
    // Runs this test program as a second process on the same hive.
    QString inOtherProcess(const QStringList& arguments);

    KTestEnvironment m_env;
};

void TestRegistry::init()
{
    KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software")).removeKey();
    QFile::remove(KConfig::instance()->filePath());
}

QString TestRegistry::inOtherProcess(const QStringList& arguments)
{
    return QString::fromUtf8(KTestEnvironment::runSelf(
        arguments, { { QString::fromLatin1(MachineVariable), m_env.platform()->baseFolder() } }));
}

void TestRegistry::writesReachAnotherProcess_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("a backslash at the end") << QStringLiteral("D:\\projects\\");
    QTest::newRow("commas, quotes, semicolons and equals signs")
        << QStringLiteral("say \"a=b\"; then a,b, c");
    QTest::newRow("a leading at sign") << QStringLiteral("@Variant(x)");
    QTest::newRow("blanks at both ends, line breaks and tabs") << QStringLiteral("  one\ntwo\r\tthree ");
    QTest::newRow("Chinese, and hex digits after it") << QStringLiteral("D:\\工程\\预算 书1a.pra4");
}

void TestRegistry::writesReachAnotherProcess()
{
    QFETCH(QString, value);
    const QString keyPath = QStringLiteral("HKEY_CURRENT_USER\\Software\\Values");
    KRegistryKey key(keyPath);
    key.setValue(QStringLiteral("Mine"), value);
    QVERIFY(key.sync());
    QCOMPARE(inOtherProcess({ QStringLiteral("read"), keyPath, QStringLiteral("mine") }), value);
    QCOMPARE(inOtherProcess({ QStringLiteral("read-as-qt"), QStringLiteral("software/values/mine") }), value);

    // And back: this process, which has read the hive already, sees the other's write.
    QCOMPARE(KRegistryKey(keyPath).value(QStringLiteral("Theirs")).toString(), QString());
    QCOMPARE(
        inOtherProcess({ QStringLiteral("write"), keyPath, QStringLiteral("Theirs"), value }), QString());
    QCOMPARE(KRegistryKey(keyPath).value(QStringLiteral("theirs")).toString(), value);
    QCOMPARE(KRegistryKey(keyPath).value(QStringLiteral("mine")).toString(), value);
}

void TestRegistry::aHiveWrittenElsewhereReadsAsUtf8WhateverItsCase()
{
    // As another program (or a person) might write it: UTF-8, names in any case, Qt's escapes,
    // a path ending in a backslash and a list-like value, both unquoted.
    const QByteArray text = "[Software\\Tarsel\\Atrium]\n"
                            "UserName=\xE5\xBC\xA0\xE4\xB8\x89\n"
                            "Path=D:\\dir\\\n"
                            "Next=1\n"
                            "Files=a.xls,b.xls\n"
                            "[software\\tarsel\\atrium\\Item%201]\n"
                            "Escaped=\\x5de5\\x7a0b x\n";
    QVERIFY(!m_env.writeFile(m_env.platform()->registryHiveFile(), text).isEmpty());
    const KRegistryKey key(QStringLiteral("HKEY_CURRENT_USER\\SOFTWARE\\tarsel\\ATRIUM"));
    QCOMPARE(key.value(QStringLiteral("username")).toString(), QStringLiteral("张三"));
    QCOMPARE(key.value(QStringLiteral("PATH")).toString(), QStringLiteral("D:\\dir\\"));
    QCOMPARE(key.value(QStringLiteral("next")).toString(), QStringLiteral("1"));
    QCOMPARE(key.value(QStringLiteral("files")).toString(), QStringLiteral("a.xls,b.xls"));
    QCOMPARE(key.subKeyNames(), QStringList { QStringLiteral("item 1") });
    QCOMPARE(KRegistryKey(QStringLiteral("HKCU\\Software\\Tarsel\\Atrium\\")).valueNames().size(), 4);
    QCOMPARE(KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel\\Atrium\\Item 1"))
                 .value(QStringLiteral("Escaped"))
                 .toString(),
        QStringLiteral("工程 x"));
    // A write changes that value's line alone, in the file's own spelling.
    KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel\\Atrium"))
        .setValue(QStringLiteral("NEXT"), 2);
    QCOMPARE(KTestEnvironment::contentOf(m_env.platform()->registryHiveFile()),
        QByteArray(text).replace("Next=1", "Next=2"));
}

void TestRegistry::removingAKeyTakesItsSubkeys()
{
    KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\A\\B\\C")).setValue(QStringLiteral("v"), 1);
    KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\AB")).setValue(QStringLiteral("v"), 1);
    KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\a")).removeKey();
    QVERIFY(!KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\A\\B\\C")).exists());
    QVERIFY(!KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\A")).exists());
    QVERIFY(KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\AB")).exists());
}

void TestRegistry::aWriteKeepsEveryOtherByte_data()
{
    // The counter goes up twice in a hive other programs share (the second write moves the lines
    // the first one lengthened without reading the file again); two settings are written into the
    // settings file.
    QTest::addColumn<bool>("hive");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    const QByteArray counter = "[Software\\Tarsel\\Atrium\\Apps\\Vaultkeep]\nValue=9\n";
    const QByteArray written = "[Software\\Tarsel\\Atrium\\Apps\\Vaultkeep]\nValue=11\n";
    const QByteArray theirs = "[Software\\Other]\nName=x\n";
    static const char nul[] = "[Software\\Other]\nBroken=a\0b\n\0\n";
    const QByteArray withNul(nul, sizeof nul - 1);
    QTest::newRow("a NUL byte before other programs' keys")
        << true << withNul + counter + theirs << withNul + written + theirs;
    const QByteArray notUtf8 = "[Software\\\xB9\xA4]\nA=1\n";
    const QByteArray notUtf8Lines = "\xFF\xFE=\xC0\nPath=D:\\\xB9\xA4\n";
    QTest::newRow("text that is not UTF-8 in a section name, a key and a value")
        << true << notUtf8 + counter + notUtf8Lines + theirs << notUtf8 + written + notUtf8Lines + theirs;
    QTest::newRow("CRLF line ends, a comment and blanks around the value")
        << true
        << QByteArray("; theirs\r\n[Software\\Tarsel\\Atrium\\Apps\\Vaultkeep]\r\nValue = 9 \r\nB=1\r\n")
        << QByteArray("; theirs\r\n[Software\\Tarsel\\Atrium\\Apps\\Vaultkeep]\r\nValue = 11\r\nB=1\r\n");
    QTest::newRow("a new value after a last line without a line break")
        << true << theirs + "[Software\\Tarsel\\Atrium\\Apps\\Vaultkeep]\nCount=1"
        << theirs + "[Software\\Tarsel\\Atrium\\Apps\\Vaultkeep]\nCount=1\nvalue=2\n";
    QTest::newRow("the counter twice, once as Qt spells it")
        << true << "[software]\ntarsel\\atrium\\apps\\vaultkeep\\Value=9\n" + theirs + counter
        << "[software]\ntarsel\\atrium\\apps\\vaultkeep\\Value=11\n" + theirs + written;
    const QByteArray before = otherPrograms(5 * MiB, "Before");
    const QByteArray after = otherPrograms(5 * MiB, "After");
    QTest::newRow("a 10 MiB hive") << true << before + counter + after << before + written + after;
    QTest::newRow("the settings file, with keys it does not know")
        << false << QByteArray("[General]\r\nAutoBack=true\r\nTheirs=\xB9\r\n\r\n[Theirs]\r\nA=1\r\n")
        << QByteArray("[General]\r\nAutoBack=false\r\nTheirs=\xB9\r\nShowTipBackedMsgStatus=2\r\n\r\n"
                      "[Theirs]\r\nA=1\r\n");
}

void TestRegistry::aWriteKeepsEveryOtherByte()
{
    QFETCH(bool, hive);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    KConfig* config = KConfig::instance();
    const QString file = hive ? m_env.platform()->registryHiveFile() : config->filePath();
    QVERIFY(!m_env.writeFile(file, before).isEmpty());
    QVERIFY(KTestEnvironment::setMode(file, 0644)); // as other programs leave it
    // What is written is private, whatever the process's umask lets through.
    const mode_t umask = ::umask(0);
    const auto restore = qScopeGuard([umask] { ::umask(umask); });
    if (hive) {
        QVERIFY(config->addToTotalBackupCount(1));
        QVERIFY(config->addToTotalBackupCount(1));
    } else {
        QVERIFY(config->setAutoBack(false));
        QVERIFY(config->setShowTipBackedMsgStatus(2));
    }
    QCOMPARE(KTestEnvironment::contentOf(file), after);
    QCOMPARE(KTestEnvironment::modeOf(file), 0600u);
}

void TestRegistry::aFileThatCannotBeReadIsNeverWritten_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("only NUL bytes, as a crash leaves a file") << QStringLiteral("zeros");
    QTest::newRow("a FIFO") << QStringLiteral("fifo");
    QTest::newRow("a hive larger than 64 MiB") << QStringLiteral("large");
}

void TestRegistry::aFileThatCannotBeReadIsNeverWritten()
{
    QFETCH(QString, kind);
    const QString hive = m_env.platform()->registryHiveFile();
    QFile::remove(hive);
    const bool fifo = kind == QLatin1String("fifo");
    if (fifo) {
        QCOMPARE(::mkfifo(QFile::encodeName(hive).constData(), 0600), 0);
    } else {
        QFile file(hive);
        QVERIFY(file.open(QIODevice::WriteOnly));
        if (kind == QLatin1String("large"))
            QVERIFY(file.write("[Software\\Other]\nA=1\n") > 0);
        QVERIFY(file.resize(kind == QLatin1String("large") ? 64 * MiB + 1 : 4096));
    }
    // (Reading the FIFO would block the test.)
    const QByteArray before = fifo ? QByteArray() : KTestEnvironment::contentOf(hive);

    QTest::ignoreMessage(
        QtWarningMsg, QRegularExpression(QStringLiteral("is kept as it is and not written")));
    KRegistryKey key(CounterKey);
    key.setValue(QStringLiteral("Value"), 7);
    QVERIFY(!key.sync());
    QCOMPARE(QFileInfo(hive).isFile(), !fifo);
    QCOMPARE(fifo ? QByteArray() : KTestEnvironment::contentOf(hive), before);
    // The process goes on with what it wrote, and writes it once the file is usable again.
    QCOMPARE(KRegistryKey(CounterKey).value(QStringLiteral("value")).toInt(), 7);
    QVERIFY(QFile::remove(hive));
    QVERIFY(key.sync());
    QCOMPARE(KTestEnvironment::contentOf(hive),
        QByteArray("[software\\tarsel\\atrium\\apps\\vaultkeep]\nvalue=7\n"));
    QCOMPARE(KTestEnvironment::modeOf(hive), 0600u);
}

void TestRegistry::switchesAreOffOnlyForLowerCaseFalse()
{
    // As any Qt program writes the file.
    const std::pair<const char*, bool (KConfig::*)() const> switches[]
        = { { "AutoBack", &KConfig::autoBack }, { "AutoClean7Days", &KConfig::autoClean7Days },
              { "isTipWhenDiskSizeIsSmall", &KConfig::isTipWhenDiskSizeIsSmall },
              { "ReadRecentlyUsedXbel", &KConfig::readRecentlyUsedXbel },
              { "ReadLibreOfficeHistory", &KConfig::readLibreOfficeHistory },
              { "ReadKdeRecentDocuments", &KConfig::readKdeRecentDocuments } };
    for (const char* stored : { "false", "False" }) {
        for (const auto& [key, isOn] : switches) {
            QSettings(KConfig::instance()->filePath(), QSettings::IniFormat)
                .setValue(QLatin1String(key), QLatin1String(stored));
            QVERIFY2((KConfig::instance()->*isOn)() == (stored[0] == 'F'), key);
        }
    }
}

void TestRegistry::aCounterReadsZeroUnlessANumberAndTwoThreadsLoseNothing()
{
    KConfig* config = KConfig::instance();
    QCOMPARE(config->totalBackupCount(), 0);
    KRegistryKey key(CounterKey);
    key.setValue(QStringLiteral("Value"), QStringLiteral("many"));
    QVERIFY(key.sync());
    QCOMPARE(config->totalBackupCount(), 0);
    // The scanner's thread counts a cycle's backups while a restore on the GUI thread counts one.
    const int additions = 300;
    std::atomic<int> failed { 0 };
    std::thread other([config, &failed] {
        for (int i = 0; i < additions; ++i)
            failed += config->addToTotalBackupCount(1) ? 0 : 1;
    });
    for (int i = 0; i < additions; ++i)
        QVERIFY(config->addToTotalBackupCount(1));
    other.join();
    QCOMPARE(failed.load(), 0);
    QCOMPARE(config->totalBackupCount(), 2 * additions);
}

void TestRegistry::excludedFoldersDefaultOnlyWhileAbsent()
{
    KConfig* config = KConfig::instance();
    QCOMPARE(config->recentExcludedFolders(),
        (QStringList { m_env.platform()->tempFolder(), m_env.platform()->cacheFolder() }));
    // An empty list as the file holds it, read afresh.
    QVERIFY(m_env.writeFile(config->filePath(), "[General]\nRecentExcludedFolders=@Invalid()\n").size());
    QCOMPARE(config->recentExcludedFolders(), QStringList());
    QVERIFY(config->setRecentExcludedFolders({ QStringLiteral("~/a, b") }));
    QCOMPARE(config->recentExcludedFolders(), QStringList { QStringLiteral("~/a, b") });
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString machine = qEnvironmentVariable(MachineVariable);
    if (!machine.isEmpty())
        return runChild(machine, app.arguments().mid(1));
    TestRegistry test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_registry.moc"
