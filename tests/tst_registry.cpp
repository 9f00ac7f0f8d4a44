#include "kfakeplatform.h"
#include "ktestenvironment.h"
#include "platform/kiniformat.h"
#include "platform/kregistry.h"

#include <QProcess>
#include <QtTest>

namespace {

// Set in a child process: the folder of the machine whose hive it reads or writes.
const char MachineVariable[] = "VAULTKEEP_TEST_REGISTRY_MACHINE";

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

class TestRegistry : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void keyPathsAndValueNamesIgnoreCase();
    void writesReachAnotherProcess_data();
    void writesReachAnotherProcess();
    void aHiveWrittenElsewhereReadsAsUtf8WhateverItsCase();
    void removingAKeyTakesItsSubkeys();

private:
    // Runs this test program as a second process on the same hive.
    QString inOtherProcess(const QStringList& arguments);

    KTestEnvironment m_env;
};

void TestRegistry::init()
{
    KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software")).removeKey();
}

QString TestRegistry::inOtherProcess(const QStringList& arguments)
{
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(MachineVariable), m_env.platform()->baseFolder());
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    if (!child.waitForFinished(60000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        return QStringLiteral("<the other process failed>");
    return QString::fromUtf8(child.readAllStandardOutput());
}

void TestRegistry::keyPathsAndValueNamesIgnoreCase()
{
    {
        KRegistryKey key(QStringLiteral("HKEY_CURRENT_USER\\SoftWare\\Tarsel\\Atrium"));
        key.setValue(QStringLiteral("UserName"), QStringLiteral("ann"));
    }
    KRegistryKey same(QStringLiteral("hkey_current_user\\Software\\TARSEL\\atrium\\"));
    QVERIFY(same.exists());
    QCOMPARE(same.value(QStringLiteral("username")).toString(), QStringLiteral("ann"));
    same.setValue(QStringLiteral("USERNAME"), QStringLiteral("bob"));
    QCOMPARE(same.valueNames().size(), 1); // one value, not two spellings of it
    QCOMPARE(KRegistryKey(QStringLiteral("HKCU\\Software\\Tarsel\\Atrium"))
                 .value(QStringLiteral("UserName"))
                 .toString(),
        QStringLiteral("bob"));
    QCOMPARE(KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel")).subKeyNames(),
        QStringList { QStringLiteral("atrium") });
}

void TestRegistry::writesReachAnotherProcess_data()
{
    QTest::addColumn<QString>("value");
    QTest::newRow("a plain path") << QStringLiteral("/home/ann/plan.pra4");
    QTest::newRow("commas") << QStringLiteral("/w/a,b, c.xls");
    QTest::newRow("a backslash at the end") << QStringLiteral("D:\\projects\\");
    QTest::newRow("quotes, semicolons and equals signs") << QStringLiteral("say \"a=b\"; then");
    QTest::newRow("blanks at both ends") << QStringLiteral("  padded ");
    QTest::newRow("a leading at sign") << QStringLiteral("@Variant(x)");
    QTest::newRow("line breaks and tabs") << QStringLiteral("one\ntwo\r\tthree");
    QTest::newRow("Chinese") << QStringLiteral("D:\\工程\\预算 书.pra4");
    QTest::newRow("a number") << QStringLiteral("42");
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
    QCOMPARE(KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel\\Atrium\\Item 1"))
                 .value(QStringLiteral("Escaped"))
                 .toString(),
        QStringLiteral("工程 x"));
    // A write keeps everything else, in one spelling.
    KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel\\Atrium"))
        .setValue(QStringLiteral("Next"), 2);
    const QSettings::SettingsMap written = KIniFormat::parse(
        KTestEnvironment::contentOf(m_env.platform()->registryHiveFile()), KIniFormat::Dialect::Settings);
    QCOMPARE(
        written.value(QStringLiteral("software/tarsel/atrium/username")).toString(), QStringLiteral("张三"));
    QCOMPARE(written.value(QStringLiteral("software/tarsel/atrium/next")).toString(), QStringLiteral("2"));
    QCOMPARE(written.size(), 5);
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
