#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/settings/kcleandlg.h"
#include "Widgets/settings/kmovebackfolderwidget.h"
#include "Widgets/settings/koffsitedlg.h"
#include "Widgets/settings/ksettingdlg.h"
#include "Widgets/table/ktablewidgetdatetimeitem.h"
#include "Widgets/tips/ktipmsgmanager.h"
#include "Widgets/versions/kfileversiondlg.h"
#include "core/kfileobjectmgr.h"
#include "core/kuilanguage.h"
#include "ktestenvironment.h"
#include "plugin/kvaultkeep.h"
#include "service/kfileservicemanager.h"
#include "service/kservices.h"
#include "storage/kbackupfoldermove.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QTabWidget>
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

bool isChinese(QChar c)
{
    return (c.unicode() >= 0x3000 && c.unicode() <= 0x9fff)
        || (c.unicode() >= 0xff00 && c.unicode() <= 0xffef);
}

// "objectName: text" for every text of `window` a user reads that holds a Chinese character.
QStringList chineseTexts(QWidget* window)
{
    QStringList found;
    const auto check = [&found](const QWidget* widget, const QString& text) {
        if (std::any_of(text.begin(), text.end(), isChinese))
            found << QStringLiteral("%1 (%2): %3")
                         .arg(widget->objectName(), QString::fromLatin1(widget->metaObject()->className()),
                             text);
    };
    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);
    for (const QWidget* widget : qAsConst(widgets)) {
        if (!widget->isVisibleTo(window) && widget != window)
            continue;
        check(widget, widget->toolTip());
        if (widget->isWindow())
            check(widget, widget->windowTitle());
        if (const auto* label = qobject_cast<const QLabel*>(widget))
            check(widget, label->text());
        else if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
            check(widget, button->text());
        else if (const auto* box = qobject_cast<const QComboBox*>(widget))
            check(widget, box->currentText());
        else if (const auto* edit = qobject_cast<const QLineEdit*>(widget))
            check(widget, edit->placeholderText());
    }
    return found;
}

} // namespace

// The language the interface speaks: the desktop's or the user's choice.
class TestUiLanguage : public QObject
{
    Q_OBJECT

private slots:
    void desktopAndSettingChooseTheLanguage_data();
    void desktopAndSettingChooseTheLanguage();
    void theEnglishInterfaceWritesNoChinese();
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

// The window, its pages, dialogs, tips and message boxes, chosen English in the settings, on a
// machine whose file names are ASCII: every Chinese character left is a text not translated.
void TestUiLanguage::theEnglishInterfaceWritesNoChinese()
{
    KTestEnvironment env;
    const QString drive = env.addBackupDrive(QStringLiteral("D"));
    QVERIFY(KUiLanguage::storeChoice(
        KUiLanguage::settingsFile(env.platform()->configHomeFolder()), KUiLanguage::Choice::English));
    const auto end = qScopeGuard([] {
        KVaultkeepModule::shutDown();
        KUiLanguage::apply(Language::Chinese);
    });
    QWidget* window = createFrame();
    QCOMPARE(KUiLanguage::current(), Language::English);
    const QString project = env.writeFile(QStringLiteral("home/quote.pra4"), "project");
    QVERIFY(KFileServiceManager::instance()->collection(0)->backupFile(project, 0));
    window->show();
    // The backup's row, under its month, once the engine has listed it.
    QTRY_VERIFY(window->findChild<KTableWidgetDateTimeItem*>());

    QStringList found;
    auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    QVERIFY(tabs);
    for (int page = 0; page < tabs->count(); ++page) {
        tabs->setCurrentIndex(page);
        QCoreApplication::processEvents();
        found << chineseTexts(window);
    }

    const KServices services = KServices::process();
    KSettingDlg settings(services);
    KCleanDlg clean(services);
    KOffsiteDlg offsite(services.offsite);
    KFileVersionDlg versions(project, services);
    QSignalSpy built(&versions, &KFileVersionDlg::sigListBuilt);
    QList<QWidget*> windows { &settings, &clean, &offsite, &versions };
    for (QWidget* dialog : qAsConst(windows))
        dialog->show();
    QVERIFY(built.wait());
    for (QWidget* dialog : qAsConst(windows))
        found << chineseTexts(dialog);

    auto* tips = window->findChild<KTipMsgManager*>();
    tips->showCurrentDiskNotEnough(10 << 20, drive);
    tips->showBackedFolderTooLarge(3LL << 30);
    tips->showFileTooLarge(project, 5LL << 30, 1LL << 30);
    tips->showTipUserDialog();
    QCoreApplication::processEvents();
    for (QWidget* shown : QApplication::topLevelWidgets()) {
        if (shown->isVisible() && !windows.contains(shown))
            found << chineseTexts(shown);
    }

    // What message boxes say, for every reason they give.
    for (int reason = KUnprotectedReason::Protected; reason <= KUnprotectedReason::WaitingForBackup;
         ++reason) {
        KUnprotectedReason why;
        why.reason = KUnprotectedReason::Reason(reason);
        why.folder = QStringLiteral("/home/ann/tmp");
        const auto box = KYMessageBox::information(
            nullptr, QMessageBox::Information, KFileVersionDlg::notProtectedText(project, why));
        found << chineseTexts(box.get());
    }
    for (int problem = 0; problem <= int(KBackupFolderMove::Problem::Other); ++problem) {
        const QString text
            = KMoveBackFolderWidget::failureText(problem, project, QStringLiteral("/media/ann/backups"));
        if (std::any_of(text.begin(), text.end(), isChinese))
            found << text;
    }
    QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
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
