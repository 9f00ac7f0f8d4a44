#include "ktestenvironment.h"
#include "platform/kregistry.h"

#include <QtTest>

class TestRegistry : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void keyPathsAndValueNamesIgnoreCase();
    void valuesKeepTextAndNumbers();
    void listingsComeBackSorted();
    void otherHivesAreNotAvailable();
    void removingAKeyTakesItsSubkeys();
    void writesReachAnotherReaderOfTheHive();

private:
    QScopedPointer<KTestEnvironment> m_env;
};

void TestRegistry::initTestCase()
{
    m_env.reset(new KTestEnvironment);
}

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
    QCOMPARE(KRegistryKey(QStringLiteral("HKCU\\Software\\Tarsel\\Atrium")).value(QStringLiteral("UserName")).toString(),
        QStringLiteral("bob"));
    QCOMPARE(KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel")).subKeyNames(),
        QStringList { QStringLiteral("atrium") });
}

void TestRegistry::valuesKeepTextAndNumbers()
{
    KRegistryKey key(QStringLiteral("HKEY_CURRENT_USER\\Software\\Values"));
    key.setValue(QStringLiteral("Count"), 42);
    key.setValue(QStringLiteral("Path"), QStringLiteral("D:\\工程\\a b.pra4"));
    key.setValue(QStringLiteral("Broken"), QStringLiteral("12abc"));
    key.sync();

    const KRegistryKey reread(QStringLiteral("HKEY_CURRENT_USER\\Software\\Values"));
    QCOMPARE(reread.value(QStringLiteral("Count")).toInt(), 42);
    QCOMPARE(reread.value(QStringLiteral("Path")).toString(), QStringLiteral("D:\\工程\\a b.pra4"));
    QCOMPARE(reread.value(QStringLiteral("Broken")).toInt(), 0);
    QCOMPARE(reread.value(QStringLiteral("Missing"), 7).toInt(), 7);
    QVERIFY(!KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\Nothing")).exists());
}

void TestRegistry::listingsComeBackSorted()
{
    KRegistryKey key(QStringLiteral("HKEY_CURRENT_USER\\Software\\Mru\\File MRU"));
    key.setValue(QStringLiteral("Item 2"), QStringLiteral("c"));
    key.setValue(QStringLiteral("Item 10"), QStringLiteral("b"));
    key.setValue(QStringLiteral("Item 1"), QStringLiteral("a"));
    KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\Mru\\File MRU\\Sub B")).setValue(QStringLiteral("x"), 1);
    KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\Mru\\File MRU\\Sub A")).setValue(QStringLiteral("x"), 1);

    const QStringList names = { QStringLiteral("item 1"), QStringLiteral("item 10"), QStringLiteral("item 2") };
    QCOMPARE(key.valueNames(), names);
    const QVector<QPair<QString, QString>> values = key.values();
    QCOMPARE(values.size(), 3);
    QCOMPARE(values.at(1), qMakePair(QStringLiteral("item 10"), QStringLiteral("b")));
    QCOMPARE(key.subKeyNames(), (QStringList { QStringLiteral("sub a"), QStringLiteral("sub b") }));
}

void TestRegistry::otherHivesAreNotAvailable()
{
    KRegistryKey machine(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\Tarsel"));
    QVERIFY(!machine.isValid());
    machine.setValue(QStringLiteral("x"), 1);
    QVERIFY(!machine.exists());
    QVERIFY(!machine.value(QStringLiteral("x")).isValid());
    QVERIFY(!KRegistryKey(QString()).isValid());
    QVERIFY(!KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel")).exists());
}

void TestRegistry::removingAKeyTakesItsSubkeys()
{
    KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\A\\B\\C")).setValue(QStringLiteral("v"), 1);
    KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\A")).setValue(QStringLiteral("v"), 1);
    KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\AB")).setValue(QStringLiteral("v"), 1);
    KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\a")).removeKey();
    QVERIFY(!KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\A\\B\\C")).exists());
    QVERIFY(!KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\A")).exists());
    QVERIFY(KRegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\AB")).exists());
}

void TestRegistry::writesReachAnotherReaderOfTheHive()
{
    KRegistryKey writer(QStringLiteral("HKEY_CURRENT_USER\\Software\\Shared"));
    writer.setValue(QStringLiteral("n"), 1);
    writer.sync();
    // Another process reads the file itself.
    QSettings file(m_env->platform()->registryHiveFile(), QSettings::IniFormat);
    QCOMPARE(file.value(QStringLiteral("software/shared/n")).toInt(), 1);
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
