#include "core/kuilanguage.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using KUiLanguage::Choice;
using KUiLanguage::Language;

namespace {

// Set in a child of this program: the settings file whose choice it resolves and prints.
const char* const ResolveChildVariable = "VK_RESOLVE_LANGUAGE_OF";

int resolveInChild(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const Choice choice = KUiLanguage::storedChoice(qEnvironmentVariable(ResolveChildVariable));
    QTextStream(stdout) << (KUiLanguage::resolve(choice) == Language::Chinese ? "zh" : "en");
    return 0;
}

} // namespace

// The language the interface speaks: the desktop's or the user's choice. That nothing is left in
// Chinese in English is checked with the texts' fit, on the same windows.
class TestUiLanguage : public QObject
{
    Q_OBJECT

private slots:
    void desktopAndSettingChooseTheLanguage_data();
    void desktopAndSettingChooseTheLanguage();
    void qtsOwnDialogsSpeakTheLanguage();
};

void TestUiLanguage::desktopAndSettingChooseTheLanguage_data()
{
    QTest::addColumn<QString>("language"); // LANGUAGE
    QTest::addColumn<QString>("all"); // LC_ALL
    QTest::addColumn<QString>("messages"); // LC_MESSAGES
    QTest::addColumn<QString>("lang"); // LANG
    QTest::addColumn<QString>("setting"); // empty: none stored
    QTest::addColumn<QString>("expected");

    const QString none;
    const QString zhCN = QStringLiteral("zh_CN.UTF-8");
    const QString enUS = QStringLiteral("en_US.UTF-8");
    QTest::newRow("a desktop without a locale speaks English")
        << none << none << none << none << none << "en";
    QTest::newRow("the C locale speaks English") << none << none << none << "C.UTF-8" << none << "en";
    QTest::newRow("a Chinese desktop speaks Chinese") << none << none << none << zhCN << none << "zh";
    QTest::newRow("Taiwan's Chinese is Chinese too") << none << none << none << "zh_TW.UTF-8" << none << "zh";
    QTest::newRow("a German desktop gets English") << none << none << none << "de_DE.UTF-8" << none << "en";
    QTest::newRow("the messages' locale outranks LANG") << none << none << zhCN << enUS << none << "zh";
    QTest::newRow("LC_ALL outranks the messages' locale") << none << enUS << zhCN << zhCN << none << "en";
    QTest::newRow("LANGUAGE's first language outranks the locale")
        << "en:zh_CN" << none << none << zhCN << none << "en";
    QTest::newRow("LANGUAGE makes a C desktop Chinese") << "zh_CN:en" << none << none << "C" << none << "zh";
    QTest::newRow("following the system is the desktop's language")
        << none << none << none << zhCN << "system"
        << "zh";
    QTest::newRow("English chosen on a Chinese desktop") << "zh_CN" << none << none << zhCN << "en"
                                                         << "en";
    QTest::newRow("Chinese chosen on an English desktop") << none << none << none << enUS << "zh_CN"
                                                          << "zh";
    QTest::newRow("an unknown choice follows the desktop") << none << none << none << zhCN << "klingon"
                                                           << "zh";
}

void TestUiLanguage::desktopAndSettingChooseTheLanguage()
{
    QFETCH(QString, language);
    QFETCH(QString, all);
    QFETCH(QString, messages);
    QFETCH(QString, lang);
    QFETCH(QString, setting);
    QFETCH(QString, expected);

    QTemporaryDir home;
    const QString settingsFile = KUiLanguage::settingsFile(home.path());
    QVERIFY(QDir().mkpath(QFileInfo(settingsFile).path()));
    if (!setting.isEmpty()) {
        QFile file(settingsFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[ui]\nlanguage=" + setting.toUtf8() + "\n[tray]\nkeepRunning=true\n");
    }

    // Qt reads the desktop's languages once per process.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QList<QPair<QString, QString>> variables { { QStringLiteral("LANGUAGE"), language },
        { QStringLiteral("LC_ALL"), all }, { QStringLiteral("LC_MESSAGES"), messages },
        { QStringLiteral("LANG"), lang } };
    for (const auto& [name, value] : variables) {
        if (value.isEmpty())
            environment.remove(name);
        else
            environment.insert(name, value);
    }
    environment.insert(QString::fromLatin1(ResolveChildVariable), settingsFile);
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {});
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(QString::fromLatin1(child.readAllStandardOutput()), expected);
}

// Qt's buttons (its file dialog's, its message boxes') come from Debian's Qt translations.
void TestUiLanguage::qtsOwnDialogsSpeakTheLanguage()
{
    const auto cancel = [] {
        return QCoreApplication::translate("QPlatformTheme", "Cancel");
    };
    KUiLanguage::apply(Language::Chinese);
    QCOMPARE(cancel(), QStringLiteral("取消"));
    QVERIFY(KUiLanguage::apply(Language::English));
    QCOMPARE(cancel(), QStringLiteral("Cancel"));
    KUiLanguage::apply(Language::Chinese);
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet(ResolveChildVariable))
        return resolveInChild(argc, argv);
    QApplication app(argc, argv);
    TestUiLanguage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_uilanguage.moc"
