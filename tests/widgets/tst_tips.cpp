#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/controls/kclicklabel.h"
#include "Widgets/controls/kcustombutton.h"
#include "Widgets/tips/ktipmsgmanager.h"
#include "Widgets/tips/ktipuserdialog.h"
#include "Widgets/tips/ktipwidget.h"
#include "core/kconfig.h"
#include "kfakenotifications.h"
#include "ktestenvironment.h"
#include "ktracestore.h"
#include "kwidgettest.h"

#include <QtTest>

namespace {

const QString OtherDrive = QStringLiteral("/media/ann/Data/");
constexpr qlonglong ThreeGiB = 3221225472LL;
const QDateTime Morning(QDate(2024, 6, 11), QTime(9, 30));

enum TipKind
{
    LowSpace,
    FolderTooLarge,
    FileTooLarge,
    FirstBackup,
};

enum Server
{
    NoServer,
    WithoutActions,
    Refusing,
    Present,
};

} // namespace

class TestTips : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void eachTipShowsOnceADay_data();
    void eachTipShowsOnceADay();
    void withheldTips_data();
    void withheldTips();
    void aTipGoesWhereTheUserSeesItAndItsButtonsAct_data();
    void aTipGoesWhereTheUserSeesItAndItsButtonsAct();
    void aLongDriveNameWidensItsButton();

private:
    void showTip(TipKind kind, const QString& drive = OtherDrive);

    KTestEnvironment m_env;
    KNewTraces m_traces { m_env.path(QStringLiteral("cache")) };
    KFakeNotifications m_notifications;
    std::unique_ptr<KTipMsgManager> m_tips;
    QStringList m_done; // what the main window is asked to do
};

void TestTips::initTestCase()
{
    QVERIFY(!installHostWithPathmark(m_env, QStringLiteral("5.2.0.1")).isEmpty());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_env.path(QStringLiteral("cache"))));
    m_env.addBackupDrive(QStringLiteral("D"));
}

void TestTips::init()
{
    m_env.platform()->setCurrentDateTime(Morning);
    KConfig* config = KConfig::instance();
    QVERIFY(config->setDiskFreeTipDate(QStringLiteral("1970-01-01")));
    QSettings(config->filePath(), QSettings::IniFormat)
        .remove(QStringLiteral("backedFolderTooLargeTipDateTime"));
    QVERIFY(config->setTipWhenDiskSizeIsSmall(true));
    QVERIFY(config->setTipsAsNotifications(true));
    m_notifications.setServer(false);
    m_notifications.setRefusing(false);
    m_traces.take();
    m_done.clear();

    KServices services;
    services.platform = m_env.platform();
    services.config = config;
    services.notifications = &m_notifications;
    m_tips = std::make_unique<KTipMsgManager>(services);
    connect(m_tips.get(), &KTipMsgManager::sigDiskFreeSizeNotEnoughTipMsgBtnClicked, this,
        [this](int index, const QString& drive) {
            m_done << QStringLiteral("move %1 %2").arg(index).arg(drive);
        });
    connect(m_tips.get(), &KTipMsgManager::sigFolderToolLargeTipMsgBtnClicked, this,
        [this](int index) { m_done << QStringLiteral("folder %1").arg(index); });
    connect(
        m_tips.get(), &KTipMsgManager::sigShowVaultkeep, this, [this] { m_done << QStringLiteral("open"); });
}

void TestTips::cleanup()
{
    m_tips.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // Nothing the manager made outlives it.
    QVERIFY(m_notifications.open().isEmpty());
    QVERIFY(KWidgetTest::windowsOf<KTipUserDialog>().isEmpty());
}

void TestTips::showTip(TipKind kind, const QString& drive)
{
    if (kind == LowSpace)
        m_tips->showCurrentDiskNotEnough(10 * qlonglong(MiB), drive);
    else if (kind == FolderTooLarge)
        m_tips->showBackedFolderTooLarge(ThreeGiB);
    else if (kind == FileTooLarge)
        m_tips->showFileTooLarge(QStringLiteral("/w/模型.pra4"), ThreeGiB, 2 * 1024 * MiB);
    else
        m_tips->showTipUserDialog();
}

void TestTips::eachTipShowsOnceADay_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("dateKey");
    QTest::newRow("the low-space tip") << int(LowSpace) << "currentDiskFreeSizeNotEnoughLastTipDateTime";
    QTest::newRow("the folder-too-large tip") << int(FolderTooLarge) << "backedFolderTooLargeTipDateTime";
}

void TestTips::eachTipShowsOnceADay()
{
    QFETCH(int, kind);
    QFETCH(QString, dateKey);
    const auto stored = [&dateKey] {
        return QSettings(KConfig::instance()->filePath(), QSettings::IniFormat).value(dateKey).toString();
    };

    showTip(TipKind(kind));
    showTip(TipKind(kind));
    QCOMPARE(m_tips->tips().size(), 1);
    QCOMPARE(stored(), QStringLiteral("2024-06-11"));
    // The other kind has a day of its own.
    showTip(kind == LowSpace ? FolderTooLarge : LowSpace);
    QCOMPARE(m_tips->tips().size(), 2);

    m_env.platform()->setCurrentDateTime(QDateTime(QDate(2024, 6, 11), QTime(23, 59, 59)));
    showTip(TipKind(kind));
    QCOMPARE(m_tips->tips().size(), 2);
    m_env.platform()->advanceClock(1000);
    showTip(TipKind(kind));
    QCOMPARE(m_tips->tips().size(), 3);
    QCOMPARE(stored(), QStringLiteral("2024-06-12"));
}

void TestTips::withheldTips_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("reminders");
    QTest::addColumn<QString>("drive");
    QTest::addColumn<bool>("shown");
    QTest::newRow("no folder-too-large tip while the user wants no reminders")
        << int(FolderTooLarge) << false << OtherDrive << false;
    QTest::newRow("the low-space tip all the same") << int(LowSpace) << false << OtherDrive << true;
    QTest::newRow("no low-space tip without a drive to move to")
        << int(LowSpace) << true << QString() << false;
}

void TestTips::withheldTips()
{
    QFETCH(int, kind);
    QFETCH(bool, reminders);
    QFETCH(QString, drive);
    QFETCH(bool, shown);
    QVERIFY(KConfig::instance()->setTipWhenDiskSizeIsSmall(reminders));
    showTip(TipKind(kind), drive);
    QCOMPARE(m_tips->tips().size(), shown ? 1 : 0);
    QCOMPARE(m_traces.take().size(), shown ? 1 : 0);
    // A tip withheld leaves its day free.
    if (!shown) {
        QCOMPARE(kind == LowSpace ? KConfig::instance()->diskFreeTipDate()
                                  : KConfig::instance()->folderTooLargeTipDate(),
            QStringLiteral("1970-01-01"));
    }
}

// What each tip says, on a panel or in a notification, and the trace it leaves.
struct Texts
{
    QString headline;
    QStringList buttons;
    QString trace;
};

Texts textsOf(TipKind kind)
{
    switch (kind) {
    case LowSpace:
        return { QStringLiteral("您的备份盘（D）空间不足无法备份"),
            { QStringLiteral("一键更换到Data(空间充足)"), QStringLiteral("更换到其他盘"),
                QStringLiteral("暂不理会") },
            QStringLiteral("当前磁盘D磁盘空间不足10485760G,充足磁盘/media/ann/Data/"
                           "-2024-06-11G|右下角冒泡|Vaultkeep|自动发送") };
    case FolderTooLarge: // 3 221 225 472 bytes read as 3 G
        return { QStringLiteral("备份空间已占用3G，超过了您设置的预警范围"),
            { QStringLiteral("快捷清理..."), QStringLiteral("查看设置") },
            QStringLiteral("备份文件夹太大3G|右下角冒泡|Vaultkeep|自动发送") };
    case FileTooLarge:
        return { QStringLiteral("“模型.pra4”超过2GB，没有备份"), {},
            QStringLiteral("文件过大未备份3GB|右下角冒泡|Vaultkeep|自动发送") };
    case FirstBackup:
        break;
    }
    return { QStringLiteral("第一个工程文件已备份成功！"), { QStringLiteral("打开Vaultkeep") },
        QStringLiteral("第一次备份成功|右下角冒泡|Vaultkeep|自动发送") };
}

void TestTips::aTipGoesWhereTheUserSeesItAndItsButtonsAct_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("server");
    QTest::addColumn<bool>("wanted");
    QTest::addColumn<bool>("notified");
    QTest::addColumn<QString>("press"); // a button's position, or the tip itself
    QTest::addColumn<QString>("done");
    QTest::newRow("low space, notified: the first action moves to the drive with room")
        << int(LowSpace) << int(Present) << true << true << "0"
        << "move 0 /media/ann/Data/";
    QTest::newRow("folder too large, notified: the second action opens the settings")
        << int(FolderTooLarge) << int(Present) << true << true << "1"
        << "folder 1";
    QTest::newRow("first backup, notified: its action opens the window")
        << int(FirstBackup) << int(Present) << true << true << "0"
        << "open";
    QTest::newRow("a file too large, notified")
        << int(FileTooLarge) << int(Present) << true << true << "default"
        << "open";
    QTest::newRow("a panel without a server") << int(LowSpace) << int(NoServer) << true << false << "1"
                                              << "move 1 /media/ann/Data/";
    QTest::newRow("a panel while the user wants no notifications")
        << int(FolderTooLarge) << int(Present) << false << false << "0"
        << "folder 0";
    QTest::newRow("a panel where the server shows no actions")
        << int(LowSpace) << int(WithoutActions) << true << false << "2"
        << "move 2 /media/ann/Data/";
    QTest::newRow("a panel of a file too large: its headline opens the window")
        << int(FileTooLarge) << int(NoServer) << true << false << "default"
        << "open";
    QTest::newRow("the first-backup window when the server refuses")
        << int(FirstBackup) << int(Refusing) << true << false << "0"
        << "open";
}

void TestTips::aTipGoesWhereTheUserSeesItAndItsButtonsAct()
{
    QFETCH(int, kind);
    QFETCH(int, server);
    QFETCH(bool, wanted);
    QFETCH(bool, notified);
    QFETCH(QString, press);
    QFETCH(QString, done);
    const Texts texts = textsOf(TipKind(kind));
    m_notifications.setServer(server != NoServer, server != WithoutActions);
    m_notifications.setRefusing(server == Refusing);
    QVERIFY(KConfig::instance()->setTipsAsNotifications(wanted));

    showTip(TipKind(kind));
    QCOMPARE(m_traces.take(), QStringList { texts.trace });
    if (notified) {
        QCOMPARE(m_notifications.open().size(), 1);
        QVERIFY(m_tips->tips().isEmpty() && KWidgetTest::windowsOf<KTipUserDialog>().isEmpty());
        const KDesktopNotifications::Notification notification = m_notifications.open().first();
        QCOMPARE(notification.summary, texts.headline);
        QVERIFY(!notification.body.isEmpty());
        QStringList shown { notification.actions.first().key };
        for (int i = 1; i < notification.actions.size(); ++i)
            shown << notification.actions.at(i).text;
        QCOMPARE(shown, QStringList { QStringLiteral("default") } + texts.buttons);
        m_notifications.invoke(m_notifications.open().firstKey(), press);
    } else if (kind == FirstBackup) {
        QTRY_VERIFY(!KWidgetTest::windowsOf<KTipUserDialog>().isEmpty());
        const QPointer<QWidget> window = KWidgetTest::windowsOf<KTipUserDialog>().value(0);
        QTest::mouseClick(window->findChild<KCustomButton*>(QStringLiteral("actionButton")), Qt::LeftButton);
        QTRY_VERIFY(!window);
    } else {
        QCOMPARE(m_tips->tips().size(), 1);
        const QPointer<KTipWidget> tip = m_tips->tips().first();
        QVERIFY(tip->isVisible() && !tip->autoHide());
        QCOMPARE(tip->findChild<KClickLabel*>(QStringLiteral("headline"))->text(), texts.headline);
        QStringList shown;
        for (const KCustomButton* button : tip->actionButtons())
            shown << button->text();
        QCOMPARE(shown, texts.buttons);
        if (press == QLatin1String("default")) {
            QTest::mouseClick(tip->findChild<KClickLabel*>(QStringLiteral("headline")), Qt::LeftButton);
        } else {
            QTest::mouseClick(tip->actionButtons().at(press.toInt()), Qt::LeftButton);
            // Any button closes the tip, and a closed tip is gone.
            QTRY_VERIFY(!tip);
        }
    }
    QTRY_COMPARE(m_done, QStringList { done });
    if (kind == LowSpace && press != QLatin1String("default"))
        QCOMPARE(
            m_traces.take(), QStringList { QStringLiteral("点击右下角冒泡|右下角冒泡|Vaultkeep|自动发送") });
}

void TestTips::aLongDriveNameWidensItsButton()
{
    showTip(LowSpace, QStringLiteral("/media/ann/二〇二四年的项目备份硬盘/"));
    QCOMPARE(m_tips->tips().size(), 1);
    const KCustomButton* move = m_tips->tips().first()->actionButtons().first();
    QVERIFY(move->text().contains(QStringLiteral("二〇二四年的项目备份硬盘")));
    QVERIFY(move->width() >= move->fontMetrics().horizontalAdvance(move->text()));
}

QTEST_MAIN(TestTips)
#include "tst_tips.moc"
