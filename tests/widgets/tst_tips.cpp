#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/controls/kclicklabel.h"
#include "Widgets/controls/kcustombutton.h"
#include "Widgets/tips/ktipmsgmanager.h"
#include "Widgets/tips/ktipuserdialog.h"
#include "Widgets/tips/ktipwidget.h"
#include "core/kcommon.h"
#include "core/kconfig.h"
#include "ktestenvironment.h"
#include "ktracestore.h"
#include "kwidgettest.h"

#include <QScreen>
#include <QtTest>

using namespace KWidgetTest;

namespace {

const QString OtherDrive = QStringLiteral("/media/ann/Data/");
constexpr qlonglong ThreeGiB = 3221225472LL;
const QDateTime Morning(QDate(2024, 6, 11), QTime(9, 30));

enum TipKind
{
    LowSpace,
    FolderTooLarge,
    FileTooLarge,
};

void showTip(TipKind kind, const QString& drive = OtherDrive)
{
    if (kind == LowSpace)
        KTipMsgManager::instance()->showCurrentDiskNotEnough(10 * qlonglong(MiB), drive);
    else if (kind == FolderTooLarge)
        KTipMsgManager::instance()->showBackedFolderTooLarge(ThreeGiB);
    else
        KTipMsgManager::instance()->showFileTooLarge(
            QStringLiteral("/w/模型.pra4"), ThreeGiB, 2 * 1024 * MiB);
}

// Runs the slide-in to its end, tick by tick, as its timer would.
void slideInFully(KTipWidget* tip)
{
    auto* timer = tip->findChild<QTimer*>(QStringLiteral("animateTimer"));
    for (int tick = 0; timer->isActive() && tick < 10000; ++tick)
        QMetaObject::invokeMethod(tip, "onAnimateTimerTimeout");
}

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
    void tipContents_data();
    void tipContents();
    void lowSpaceTipButtonsCarryTheDrive();
    void hoverDuringTheFadeRestoresTheTip();
    void firstBackupWindow();

private:
    KTestEnvironment m_env;
    KNewTraces m_traces { m_env.path(QStringLiteral("cache")) };
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
    m_traces.take();
}

void TestTips::cleanup()
{
    for (KTipWidget* tip : KTipMsgManager::instance()->tips())
        tip->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(KTipMsgManager::instance()->tips().isEmpty());
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
    QCOMPARE(KTipMsgManager::instance()->tips().size(), 1);
    QCOMPARE(stored(), QStringLiteral("2024-06-11"));
    // The other kind has a day of its own.
    showTip(kind == LowSpace ? FolderTooLarge : LowSpace);
    QCOMPARE(KTipMsgManager::instance()->tips().size(), 2);

    m_env.platform()->setCurrentDateTime(QDateTime(QDate(2024, 6, 11), QTime(23, 59, 59)));
    showTip(TipKind(kind));
    QCOMPARE(KTipMsgManager::instance()->tips().size(), 2);
    m_env.platform()->advanceClock(1000);
    showTip(TipKind(kind));
    QCOMPARE(KTipMsgManager::instance()->tips().size(), 3);
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
    QCOMPARE(KTipMsgManager::instance()->tips().size(), shown ? 1 : 0);
    QCOMPARE(m_traces.take().size(), shown ? 1 : 0);
    // A tip withheld leaves its day free.
    if (!shown) {
        QCOMPARE(kind == LowSpace ? KConfig::instance()->diskFreeTipDate()
                                  : KConfig::instance()->folderTooLargeTipDate(),
            QStringLiteral("1970-01-01"));
    }
}

void TestTips::tipContents_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("headline");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<QString>("trace");
    QTest::newRow("low space: the backup drive, a one-click move to the drive with room")
        << int(LowSpace) << "您的备份盘（D）空间不足无法备份"
        << QStringList { QStringLiteral("一键更换到Data(空间充足)"), QStringLiteral("更换到其他盘"),
               QStringLiteral("暂不理会") }
        << "当前磁盘D磁盘空间不足10485760G,充足磁盘/media/ann/Data/"
           "-2024-06-11G|右下角冒泡|Vaultkeep|自动发送";
    QTest::newRow("folder too large: 3 221 225 472 bytes read as 3 G")
        << int(FolderTooLarge) << "备份空间已占用3G，超过了您设置的预警范围"
        << QStringList { QStringLiteral("快捷清理..."), QStringLiteral("查看设置") }
        << "备份文件夹太大3G|右下角冒泡|Vaultkeep|自动发送";
    QTest::newRow("a file too large to version, named")
        << int(FileTooLarge) << "“模型.pra4”超过2GB，没有备份" << QStringList()
        << "文件过大未备份3GB|右下角冒泡|Vaultkeep|自动发送";
}

void TestTips::tipContents()
{
    QFETCH(int, kind);
    QFETCH(QString, headline);
    QFETCH(QStringList, buttons);
    QFETCH(QString, trace);

    showTip(TipKind(kind));
    QCOMPARE(KTipMsgManager::instance()->tips().size(), 1);
    KTipWidget* tip = KTipMsgManager::instance()->tips().first();
    QVERIFY(tip->isVisible());
    QCOMPARE(tip->windowTitle(), QStringLiteral("TarselVaultkeep"));
    QCOMPARE(tip->findChild<KClickLabel*>(QStringLiteral("headline"))->text(), headline);
    QStringList texts;
    for (const KCustomButton* button : tip->actionButtons()) {
        texts << button->text();
        QVERIFY(button->width() >= button->fontMetrics().horizontalAdvance(button->text()));
    }
    QCOMPARE(texts, buttons);
    QVERIFY(tip->findChild<KCustomButton*>(QStringLiteral("closeButton"))->geometry().right() < tip->width());
    // It stays until it is closed.
    QVERIFY(!tip->autoHide());
    QCOMPARE(m_traces.take(), QStringList { trace });

    // The headline and the logo lead to the main window.
    QSignalSpy show(KTipMsgManager::instance(), &KTipMsgManager::sigShowVaultkeep);
    QTest::mouseClick(tip->findChild<KClickLabel*>(QStringLiteral("headline")), Qt::LeftButton);
    QTest::mouseClick(tip->findChild<KCustomButton*>(QStringLiteral("logoButton")), Qt::LeftButton);
    QCOMPARE(show.count(), 2);
}

void TestTips::lowSpaceTipButtonsCarryTheDrive()
{
    showTip(LowSpace);
    QPointer<KTipWidget> tip = KTipMsgManager::instance()->tips().first();
    m_traces.take();
    QSignalSpy pressed(KTipMsgManager::instance(), &KTipMsgManager::sigDiskFreeSizeNotEnoughTipMsgBtnClicked);
    QTest::mouseClick(tip->actionButtons().at(0), Qt::LeftButton);
    QCOMPARE(pressed.count(), 1);
    QCOMPARE(pressed.first(), QVariantList({ 0, OtherDrive }));
    QCOMPARE(m_traces.take(), QStringList { QStringLiteral("点击右下角冒泡|右下角冒泡|Vaultkeep|自动发送") });
    // Any button closes the tip, and a closed tip is gone.
    QTRY_VERIFY(!tip);
}

void TestTips::hoverDuringTheFadeRestoresTheTip()
{
    auto* tip = new KTipWidget;
    tip->setAttribute(Qt::WA_DeleteOnClose);
    const QPointer<KTipWidget> alive(tip);
    KTipContent content;
    content.closePicture = KCommon::skinImagePath(QStringLiteral("tip_close.png"));
    content.logoPicture = KCommon::skinImagePath(QStringLiteral("long_logo.png"));
    content.headline = QStringLiteral("提示");
    content.hideDelayMs = 5000;
    content.size = QSize(300, 133);
    tip->setContent(content);
    slideInFully(tip);
    auto* delay = tip->findChild<QTimer*>(QStringLiteral("hideDelayTimer"));
    auto* fade = tip->findChild<QTimer*>(QStringLiteral("hideTimer"));
    QVERIFY(delay->isActive());
    QCOMPARE(delay->interval(), 5000);

    // The wait is over; two steps of the fade.
    delay->stop();
    fade->start();
    QMetaObject::invokeMethod(tip, "onHideTimerTimeout");
    QMetaObject::invokeMethod(tip, "onHideTimerTimeout");
    QVERIFY(qAbs(tip->windowOpacity() - 0.4) < 0.01);

    enter(tip);
    QCOMPARE(tip->windowOpacity(), 1.0);
    QVERIFY(!fade->isActive());
    leave(tip);
    QVERIFY(delay->isActive());
    QCOMPARE(delay->interval(), 5000);

    // Left alone, it fades in four steps and goes, saying how long it was shown.
    m_env.platform()->advanceClock(7400);
    delay->stop();
    fade->start();
    for (int step = 0; step < 5; ++step)
        QMetaObject::invokeMethod(tip, "onHideTimerTimeout");
    QTRY_VERIFY(!alive);
    QCOMPARE(
        m_traces.take(), QStringList { QStringLiteral("冒泡窗口显示时间7秒|右下角冒泡|Vaultkeep|自动发送") });
}

void TestTips::firstBackupWindow()
{
    QVERIFY(KConfig::instance()->setShowTipBackedMsgStatus(0));
    KTipMsgManager::instance()->showTipUserDialog();
    QCOMPARE(KConfig::instance()->showTipBackedMsgStatus(), 1);
    QCOMPARE(m_traces.take(), QStringList { QStringLiteral("第一次备份成功|右下角冒泡|Vaultkeep|自动发送") });

    QPointer<QWidget> dialog;
    for (QWidget* window : QApplication::topLevelWidgets())
        dialog = qobject_cast<KTipUserDialog*>(window) ? window : dialog.data();
    QVERIFY(dialog && dialog->isVisible());
    // In the lower right corner of the work area.
    QCOMPARE(dialog->geometry().bottomRight(),
        QGuiApplication::primaryScreen()->availableGeometry().bottomRight());
    auto* action = dialog->findChild<KCustomButton*>(QStringLiteral("actionButton"));

    // Its button leads to the main window once the click has been handled, and closes it.
    QSignalSpy show(KTipMsgManager::instance(), &KTipMsgManager::sigShowVaultkeep);
    QTest::mouseClick(action, Qt::LeftButton);
    QCOMPARE(show.count(), 0);
    QTRY_COMPARE(show.count(), 1);
    QTRY_VERIFY(!dialog);
}

QTEST_MAIN(TestTips)
#include "tst_tips.moc"
