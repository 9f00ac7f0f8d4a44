#include "Widgets/controls/kcustombutton.h"
#include "Widgets/settings/koffsitedlg.h"
#include "Widgets/settings/ksettingdlg.h"
#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "core/kuilanguage.h"
#include "discovery/kdiskfilemanager.h"
#include "kfakekeyring.h"
#include "ktestenvironment.h"
#include "kwidgettest.h"
#include "platform/kfilelock.h"
#include "service/kfileservicemanager.h"
#include "service/koffsiteservice.h"
#include "storage/kbackupfoldermove.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSpinBox>
#include <QtTest>

namespace {

constexpr qint64 GiB = qint64(1) << 30;
const QString RangeError = QStringLiteral("      您输入的大小已超出范围，请重新输入");

} // namespace

using KWidgetTest::child;

class TestSettingDialog : public QObject
{
    Q_OBJECT

public:
    explicit TestSettingDialog(KTestEnvironment* env)
        : m_env(*env)
    { }

private slots:
    void init();
    void driveListTellsFreeSpaceAndSelectsTheBackupDrive_data();
    void driveListTellsFreeSpaceAndSelectsTheBackupDrive();
    void reminderSizeIsValidatedBeforeSaving_data();
    void reminderSizeIsValidatedBeforeSaving();
    void savingStoresTheDriveTheSizeAndTheReminderSwitch();
    void sevenDayCleanUpIsRequestedOnlyWhenSwitchedOn();
    void offsiteSettingsAreStoredAndThePasswordOnlyInTheKeyring_data();
    void offsiteSettingsAreStoredAndThePasswordOnlyInTheKeyring();

private:
    // A fixed drive below the test's folder with `freeMiB` free, created on disk.
    QString addDrive(const QString& name, quint64 freeMiB);

    int m_case = 0;
    KTestEnvironment& m_env;
};

void TestSettingDialog::init()
{
    ++m_case;
    m_env.platform()->clearDrives();
    m_env.platform()->setSystemDriveRoot(QString());
    QSettings(KConfig::instance()->filePath(), QSettings::IniFormat).clear();
    QFile::remove(KBackupFolderMove::journalPath()); // what an earlier case's drive change left
    KCommon::refreshDrives();
}

QString TestSettingDialog::addDrive(const QString& name, quint64 freeMiB)
{
    const QString root = m_env.makeFolder(QStringLiteral("case%1/%2").arg(m_case).arg(name));
    m_env.platform()->addDrive(
        root, KDriveKind::Fixed, KFileSystemKind::Ntfs, freeMiB * MiB, 4 * freeMiB * MiB);
    KCommon::refreshDrives();
    return root;
}

void TestSettingDialog::driveListTellsFreeSpaceAndSelectsTheBackupDrive_data()
{
    QTest::addColumn<quint64>("freeMiB");
    QTest::addColumn<bool>("system");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("range");
    // Below the smallest reminder size the range still holds that size, not an upside-down range.
    QTest::newRow("150 MiB free is short of room")
        << quint64(150) << false << QStringLiteral("  0.1G空闲(不足)") << QStringLiteral("(0.5G-0.5G)");
    QTest::newRow("151 MiB free is enough")
        << quint64(151) << false << QStringLiteral("  0.1G空闲(充足)") << QStringLiteral("(0.5G-0.5G)");
    QTest::newRow("the system drive is advised against, whatever its room")
        << quint64(204800) << true << QStringLiteral("  200.0G空闲 (系统盘，不建议使用)")
        << QStringLiteral("(0.5G-200.0G)");
}

void TestSettingDialog::driveListTellsFreeSpaceAndSelectsTheBackupDrive()
{
    QFETCH(quint64, freeMiB);
    QFETCH(bool, system);
    QFETCH(QString, shown);
    QFETCH(QString, range);
    const QString first = addDrive(QStringLiteral("first"), 3000);
    const QString drive = addDrive(QStringLiteral("D"), freeMiB);
    if (system)
        m_env.platform()->setSystemDriveRoot(drive);
    QVERIFY(KConfig::instance()->setBackUpPath(drive));

    KSettingDlg dialog(KServices::process());
    auto* drives = child<QComboBox>(dialog, "cbxSavePath");
    QCOMPARE(drives->count(), 2);
    QCOMPARE(drives->itemData(0).toString(), first);
    QCOMPARE(drives->currentIndex(), 1);
    QCOMPARE(drives->currentText(), QStringLiteral("D") + shown);
    QCOMPARE(child<QLabel>(dialog, "lblTipRange")->text(), range);
    drives->setCurrentIndex(0);
    QCOMPARE(child<QLabel>(dialog, "lblTipRange")->text(), QStringLiteral("(0.5G-2.9G)"));
}

void TestSettingDialog::reminderSizeIsValidatedBeforeSaving_data()
{
    QTest::addColumn<bool>("reminder");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("save"); // "OK" clicked, or a key pressed on the widget named
    QTest::addColumn<bool>("saved");
    QTest::addColumn<qint64>("tipSize");
    // The drive has 2.5 GiB free; the stored reminder size is 1 GiB.
    const QString ok = QStringLiteral("OK");
    QTest::newRow("0.4 is below the range") << true << QStringLiteral("0.4") << ok << false << GiB;
    QTest::newRow("0.5 is the smallest size") << true << QStringLiteral("0.5") << ok << true << GiB / 2;
    QTest::newRow("the drive's free space is the largest size")
        << true << QStringLiteral("2.5") << ok << true << qint64(2.5 * GiB);
    QTest::newRow("a tenth more than the free space is rejected")
        << true << QStringLiteral("2.6") << ok << false << GiB;
    QTest::newRow("an empty field is no number") << true << QString() << ok << false << GiB;
    QTest::newRow("a lone point is no number") << true << QStringLiteral(".") << ok << false << GiB;
    QTest::newRow("without the reminder the range is not checked, and the size still kept")
        << false << QStringLiteral("7000") << ok << true << 7000 * GiB;
    QTest::newRow("without the reminder a size below 0.5 keeps the stored one")
        << false << QStringLiteral("0.2") << ok << true << GiB;
    // Return in the field saves through the field and reaches the dialog as well: once only.
    QTest::newRow("Return in the size field saves once")
        << true << QStringLiteral("2.0") << QStringLiteral("Return editTipSize") << true << 2 * GiB;
    QTest::newRow("keypad Enter on OK saves once")
        << true << QStringLiteral("2.0") << QStringLiteral("Enter btnOk") << true << 2 * GiB;
    QTest::newRow("keypad Enter on the drive list does not save")
        << true << QStringLiteral("2.0") << QStringLiteral("Enter cbxSavePath") << false << GiB;
}

void TestSettingDialog::reminderSizeIsValidatedBeforeSaving()
{
    QFETCH(bool, reminder);
    QFETCH(QString, typed);
    QFETCH(QString, save);
    QFETCH(bool, saved);
    QFETCH(qint64, tipSize);
    const QString drive = addDrive(QStringLiteral("D"), 2560);
    QVERIFY(KConfig::instance()->setBackUpPath(drive));
    QVERIFY(KConfig::instance()->setTipSizeEnabled(reminder));

    KSettingDlg dialog(KServices::process());
    QSignalSpy accepted(&dialog, &QDialog::accepted);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    auto* size = child<QLineEdit>(dialog, "editTipSize");
    QCOMPARE(size->text(), QStringLiteral("1.0"));
    QCOMPARE(size->isEnabled(), reminder);
    size->setText(typed);
    auto* ok = child<KCustomButton>(dialog, "btnOk");
    if (save == QLatin1String("OK")) {
        ok->click();
    } else {
        auto* focused = child<QWidget>(dialog, qPrintable(save.section(QLatin1Char(' '), 1)));
        focused->setFocus();
        QCOMPARE(dialog.focusWidget(), focused);
        const bool keypad = save.startsWith(QLatin1String("Enter"));
        QTest::keyClick(
            focused, keypad ? Qt::Key_Enter : Qt::Key_Return, keypad ? Qt::KeypadModifier : Qt::NoModifier);
    }

    QCOMPARE(dialog.result(), saved ? int(QDialog::Accepted) : int(QDialog::Rejected));
    QCOMPARE(accepted.size(), saved ? 1 : 0);
    if (save == QLatin1String("OK")) {
        QCOMPARE(child<QLabel>(dialog, "lblError")->text(), saved ? QString() : RangeError);
        QCOMPARE(ok->isEnabled(), saved);
    }
    QCOMPARE(KConfig::instance()->tipSize(), tipSize);
    QCOMPARE(KConfig::instance()->tipSizeEnabled(), reminder);
}

// A size refused waits for an edit or another drive; the drive saved is stored with the journal of
// the move the main window runs; the reminder switched off is stored so; cancelling stores nothing.
void TestSettingDialog::savingStoresTheDriveTheSizeAndTheReminderSwitch()
{
    const QString small = addDrive(QStringLiteral("D"), 1024);
    const QString large = addDrive(QStringLiteral("E"), 4096);
    QVERIFY(KConfig::instance()->setBackUpPath(small));
    KSettingDlg dialog(KServices::process());
    auto* size = child<QLineEdit>(dialog, "editTipSize");
    auto* ok = child<KCustomButton>(dialog, "btnOk");
    size->setText(QStringLiteral("3.0"));
    ok->click();
    QVERIFY(!ok->isEnabled());
    size->setText(QStringLiteral("3.1")); // an edit enables saving again
    QVERIFY(ok->isEnabled());
    ok->click();
    QVERIFY(!ok->isEnabled());
    size->setText(QStringLiteral("3.0"));
    ok->click();
    QVERIFY(!ok->isEnabled());
    auto* drives = child<QComboBox>(dialog, "cbxSavePath");
    drives->setCurrentIndex(drives->findData(large)); // with its room 3.0 fits
    QVERIFY(ok->isEnabled());
    ok->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(KConfig::instance()->backUpPath(), large);
    QCOMPARE(KConfig::instance()->tipSize(), 3 * GiB);
    QVERIFY(QFile::exists(KBackupFolderMove::journalPath()));

    // The interface language goes to the host's settings file, which the next start reads.
    const QString hostSettings = KUiLanguage::settingsFile(m_env.platform()->configHomeFolder());
    for (const bool save : { false, true }) {
        KSettingDlg again(KServices::process());
        child<QCheckBox>(again, "chkTipSize")->setChecked(false);
        QVERIFY(!child<QLineEdit>(again, "editTipSize")->isEnabled());
        auto* otherDrives = child<QComboBox>(again, "cbxSavePath");
        if (!save)
            otherDrives->setCurrentIndex(otherDrives->findData(small));
        auto* language = child<QComboBox>(again, "cbxLanguage");
        QCOMPARE(language->currentData().toInt(), int(KUiLanguage::Choice::System));
        language->setCurrentIndex(language->findData(int(KUiLanguage::Choice::English)));
        child<KCustomButton>(again, save ? "btnOk" : "btnCancel")->click();
        QCOMPARE(again.result(), save ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QCOMPARE(KConfig::instance()->backUpPath(), large);
        QCOMPARE(KConfig::instance()->tipSizeEnabled(), !save);
        QCOMPARE(KConfig::instance()->isTipWhenDiskSizeIsSmall(), !save);
        QCOMPARE(KUiLanguage::storedChoice(hostSettings),
            save ? KUiLanguage::Choice::English : KUiLanguage::Choice::System);
    }
    KSettingDlg reopened(KServices::process());
    QCOMPARE(child<QComboBox>(reopened, "cbxLanguage")->currentText(), QStringLiteral("English"));
}

void TestSettingDialog::sevenDayCleanUpIsRequestedOnlyWhenSwitchedOn()
{
    QVERIFY(KConfig::instance()->setBackUpPath(addDrive(QStringLiteral("D"), 4096)));
    QVERIFY(KConfig::instance()->setAutoClean7Days(false));
    KDiskFileManager* scanner = KDiskFileManager::instance();
    KFileServiceManager* engine = KFileServiceManager::instance();
    if (!scanner->isAttached(engine))
        scanner->attach(engine);
    const QDateTime start(QDate(2024, 5, 1), QTime(9, 0));
    // A version ten days old when the scanner's cycle runs.
    const auto versionTenDaysOld = [&](const QString& name) {
        m_env.platform()->setCurrentDateTime(start);
        const QString source = m_env.writeFile(QStringLiteral("case%1/%2").arg(m_case).arg(name), "v", start);
        engine->collection(4)->backupFile(source, 4);
        m_env.platform()->advanceClock(10LL * 24 * 3600 * 1000);
        return source;
    };
    const QString first = versionTenDaysOld(QStringLiteral("first.txt"));
    scanner->runCycle(); // the clean-up every start asks for, with the setting off
    QVERIFY(engine->findFile(first));
    // Switched on, then saved again with it on: only the first save asks for a clean-up.
    for (const QString& name : { QStringLiteral("on.txt"), QStringLiteral("again.txt") }) {
        const QString source = versionTenDaysOld(name);
        KSettingDlg dialog(KServices::process());
        child<QCheckBox>(dialog, "chkAutoClean")->setChecked(true);
        child<KCustomButton>(dialog, "btnOk")->click();
        scanner->runCycle();
        QCOMPARE(bool(engine->findFile(source)), name == QLatin1String("again.txt"));
    }
    m_env.platform()->setCurrentDateTime(QDateTime());
    QVERIFY(engine->cleanAll());
}

void TestSettingDialog::offsiteSettingsAreStoredAndThePasswordOnlyInTheKeyring_data()
{
    QTest::addColumn<bool>("keyring");
    QTest::newRow("with a keyring") << true;
    QTest::newRow("without one, for this session, and the dialog says so") << false;
}

void TestSettingDialog::offsiteSettingsAreStoredAndThePasswordOnlyInTheKeyring()
{
    QFETCH(bool, keyring);
    const QByteArray password = QByteArrayLiteral("Zq9-only-in-the-keyring");
    const QString repository = m_env.path(QStringLiteral("case%1/offsite").arg(m_case));
    // Whatever restic writes stays in the folder searched below.
    qputenv("HOME", QFile::encodeName(m_env.path(QStringLiteral("home"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_env.path(QStringLiteral("home/.cache"))));
    // Something to upload, for restic to run with the password.
    const QString drive = addDrive(QStringLiteral("D"), 4096);
    QVERIFY(KConfig::instance()->setBackUpPath(drive));
    const QString version = KCommon::backupFolderName() + QStringLiteral("/{1}_20261206101010_20261207");
    QVERIFY(!KTestEnvironment::writeFileAt(KCommon::joinPath(drive, version), "v", QDateTime()).isEmpty());
    auto* fake = new KFakeKeyring(QByteArray(), keyring);
    KOffsiteService service(KFileServiceManager::instance(), KConfig::instance(), m_env.platform(), fake);
    service.start();
    QTRY_COMPARE(service.keyringAvailable(), keyring);
    KServices services = KServices::process();
    services.offsite = &service;
    KSettingDlg settings(services);

    QString shown; // on, keep days, interval, the note that there is no keyring, as the dialog opens
    KWidgetTest::whenModalShown([&](QWidget* modal) {
        const auto field = [modal](const char* name) {
            return modal->findChild<QWidget*>(QLatin1String(name));
        };
        auto* enabled = qobject_cast<QCheckBox*>(field("chkEnabled"));
        auto* keepDays = qobject_cast<QSpinBox*>(field("spinKeepDays"));
        auto* interval = qobject_cast<QSpinBox*>(field("spinInterval"));
        shown = QStringLiteral("%1 %2 %3 %4")
                    .arg(int(enabled->isChecked()))
                    .arg(keepDays->value())
                    .arg(interval->value())
                    .arg(int(field("lblKeyring")->isVisible()));
        enabled->setChecked(true);
        qobject_cast<QLineEdit*>(field("editRepository"))->setText(repository);
        qobject_cast<QLineEdit*>(field("editPassword"))->setText(QString::fromLatin1(password));
        keepDays->setValue(30);
        interval->setValue(15);
        QTest::mouseClick(qobject_cast<QPushButton*>(field("btnOk")), Qt::LeftButton);
    });
    QTest::mouseClick(child<KCustomButton>(settings, "btnOffsite"), Qt::LeftButton);
    QCOMPARE(shown, QStringLiteral("0 90 60 %1").arg(int(!keyring)));

    KConfig* config = KConfig::instance();
    QVERIFY(config->offsiteEnabled());
    QCOMPARE(config->offsiteRepository(), repository);
    QCOMPARE(config->offsiteKeepDays(), 30);
    QCOMPARE(config->offsiteIntervalMinutes(), 15);
    QVERIFY(service.hasPassword());
    QTRY_COMPARE(fake->stored(), keyring ? password : QByteArray());
    // The copy ran with it (and failed: there is no repository), then stopped with the service.
    QTRY_VERIFY(service.status().lastProblem != KOffsiteProblem::None
        || service.status().state == KOffsiteStatus::State::NotInstalled);
    service.shutdown();
    QDirIterator files(m_env.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString file = files.next();
        QVERIFY2(!KTestEnvironment::contentOf(file).contains(password), qPrintable(file));
    }
}

VK_WIDGET_TEST_MAIN(TestSettingDialog)

#include "tst_settingdialog.moc"
