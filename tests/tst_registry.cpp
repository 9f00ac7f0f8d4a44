#include "ktestenvironment.h"
#include "platform/kregistry.h"

#include <QtTest>

class TestRegistry : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void keyPathsAndValueNamesIgnoreCase();
    void valuesReachAnotherReaderOfTheHive();
    void removingAKeyTakesItsSubkeys();

private:
    KTestEnvironment m_env;
};

void TestRegistry::init()
{
    KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software")).removeKey();
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

void TestRegistry::valuesReachAnotherReaderOfTheHive()
{
    KRegistryKey key(QStringLiteral("HKEY_CURRENT_USER\\Software\\Values"));
    key.setValue(QStringLiteral("Count"), 42);
    key.setValue(QStringLiteral("Path"), QStringLiteral("D:\\工程\\a b.pra4"));
    key.sync();
    // Another process reads the file itself.
    QSettings file(m_env.platform()->registryHiveFile(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("software/values/count")).toInt(), 42);
    QCOMPARE(
        file.value(QStringLiteral("software/values/path")).toString(), QStringLiteral("D:\\工程\\a b.pra4"));
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

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
