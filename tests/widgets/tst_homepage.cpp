#include "AtriumCommon/atriummessages.h"
#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/controls/kcustombutton.h"
#include "Widgets/home/khomewidget.h"
#include "Widgets/main/atriummsgframe.h"
#include "core/kconfig.h"
#include "discovery/kdiskfilemanager.h"
#include "ktestenvironment.h"
#include "ktracestore.h"
#include "kwidgettest.h"
#include "service/kfileservicemanager.h"
#include "service/kservices.h"
#include "storage/kdiskinfothread.h"

#include <QLabel>
#include <QProgressBar>
#include <QPropertyAnimation>
#include <QSettings>
#include <QtTest>

#include <algorithm>
#include <cmath>

using KWidgetTest::child;

namespace {

using Post = QPair<qulonglong, qlonglong>; // wParam, lParam of message 2053

// The host's main window: it carries "ATRIUM_MAIN_FRAME" and keeps what the plug-in posts it.
class StandInHost final : public AtriumMsgFrame
{
public:
    StandInHost() { claimed = setWindowProperty(QString::fromLatin1(AtriumWindowProperty::AtriumMainFrame)); }

    bool claimed = false;
    QList<Post> posted;

protected:
    bool nativeEvent(const QByteArray& eventType, void* message, long* result) override
    {
        const MSG* msg = static_cast<const MSG*>(message);
        if (eventType == KNativeMessageEventType && msg->message == AtriumMessage::VaultkeepState) {
            posted << Post(msg->wParam, msg->lParam);
            return true;
        }
        return AtriumMsgFrame::nativeEvent(eventType, message, result);
    }
};

// The posts about the switch only: the scanner, once started, also reports totals.
QList<Post> statePosts(QList<Post> posted)
{
    posted.erase(
        std::remove_if(posted.begin(), posted.end(), [](const Post& post) { return post.first == 0; }),
        posted.end());
    return posted;
}

// WCAG 2's contrast ratio of two colours.
double contrast(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

} // namespace

// The plug-in's own, on `platform`.
KServices services(KPlatform* platform)
{
    KServices result = KServices::process();
    result.platform = platform;
    return result;
}

class TestHomePage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    // First: the process's first counter update is a one-time event.
    void firstCounterUpdatePostsTheTotalThenTheState();
    void withoutAHostNothingIsPosted();
    void theSwitchTurnsProtectionOffAndOn();
    void diskReport_data();
    void diskReport();
    void backUpNowAndTheCyclesActivity_data();
    void backUpNowAndTheCyclesActivity();
    void offsiteLine_data();
    void offsiteLine();

private:
    QString storedAutoBack() const;
    void makePage(const KServices& services)
    {
        m_page.reset(new KHomeWidget);
        m_page->setServices(services);
    }

    KTestEnvironment m_env;
    QScopedPointer<KHomeWidget> m_page;
    KNewTraces m_traces { m_env.path(QStringLiteral("cache")) };
};

void TestHomePage::initTestCase()
{
    QVERIFY(!installHostWithPathmark(m_env, QStringLiteral("5.2.0.1")).isEmpty());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_env.path(QStringLiteral("cache"))));
    m_env.addBackupDrive(QStringLiteral("D"));
    // The scanner the switch starts cycles quickly, so that it stops promptly.
    KDiskFileManager::instance()->setCycleInterval(20);
}

void TestHomePage::init()
{
    QVERIFY(KConfig::instance()->setAutoBack(true));
    m_traces.take();
}

void TestHomePage::cleanup()
{
    m_page.reset();
    KDiskFileManager::instance()->stopThread();
}

QString TestHomePage::storedAutoBack() const
{
    return QSettings(KConfig::instance()->filePath(), QSettings::IniFormat)
        .value(QStringLiteral("AutoBack"))
        .toString();
}

void TestHomePage::firstCounterUpdatePostsTheTotalThenTheState()
{
    StandInHost host;
    QVERIFY(host.claimed);
    makePage(KServices::process());
    KFileServiceManager* engine = KFileServiceManager::instance();
    emit engine->sigUpdateHomePage(1287, 46, 3);
    QCOMPARE(child<QLabel>(*m_page, "lblTotalBackedTime")->text()
            + child<QLabel>(*m_page, "lblBackedNumber")->text()
            + child<QLabel>(*m_page, "lblDeletedNumber")->text(),
        QStringLiteral("1287463"));
    emit engine->sigUpdateHomePage(1288, 46, 3);
    // The switch's state when the page is built, then with the first update only.
    QTRY_COMPARE(host.posted, QList<Post>({ Post(1, 1), Post(0, 1287), Post(1, 1), Post(0, 1288) }));
    QCOMPARE(
        m_traces.take(), QStringList { QStringLiteral("Vaultkeep处于开启状态|首页|Vaultkeep|自动发送") });
}

void TestHomePage::withoutAHostNothingIsPosted()
{
    makePage(KServices::process());
    emit KFileServiceManager::instance()->sigUpdateHomePage(7, 2, 0);
    QCOMPARE(child<QLabel>(*m_page, "lblTotalBackedTime")->text(), QStringLiteral("7"));

    // A host that comes later hears only what happens from then on.
    StandInHost host;
    QVERIFY(host.claimed);
    emit KFileServiceManager::instance()->sigUpdateHomePage(8, 2, 0);
    QTRY_COMPARE(host.posted, QList<Post> { Post(0, 8) });
}

// Set from outside, the state is posted but neither stored nor traced; the user's clicks are both.
void TestHomePage::theSwitchTurnsProtectionOffAndOn()
{
    StandInHost host;
    makePage(KServices::process());
    const auto setFromOutside = [this](int state) {
        return QMetaObject::invokeMethod(m_page.data(), "onSetOpenCloseType", Q_ARG(int, state));
    };
    QVERIFY(setFromOutside(0));
    QVERIFY(KDiskFileManager::instance()->isRunning());
    QVERIFY(setFromOutside(1));
    QCOMPARE(m_page->openCloseState(), 1);
    QTRY_VERIFY(!KDiskFileManager::instance()->isRunning());
    QCOMPARE(storedAutoBack(), QStringLiteral("true"));
    QCOMPARE(m_traces.take(), QStringList());

    auto* button = child<KCustomButton>(*m_page, "btnOpenClose");
    QTest::mouseClick(button, Qt::LeftButton);
    // The switch answers once the click has been handled.
    QCOMPARE(m_page->openCloseState(), 1);
    QTRY_COMPARE(m_page->openCloseState(), 0);
    QVERIFY(KDiskFileManager::instance()->isRunning());
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE(m_page->openCloseState(), 1);
    QCOMPARE(storedAutoBack(), QStringLiteral("false"));
    QTRY_VERIFY(!KDiskFileManager::instance()->isRunning());
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_COMPARE(m_page->openCloseState(), 0);
    QCOMPARE(storedAutoBack(), QStringLiteral("true"));

    QTRY_COMPARE(statePosts(host.posted),
        QList<Post>({ Post(1, 1), Post(1, 1), Post(1, 0), Post(1, 1), Post(1, 0), Post(1, 1) }));
    QCOMPARE(m_traces.take(),
        QStringList({ QStringLiteral("打开Vaultkeep|首页|Vaultkeep|手动操作"),
            QStringLiteral("关闭Vaultkeep|首页|Vaultkeep|手动操作"),
            QStringLiteral("打开Vaultkeep|首页|Vaultkeep|手动操作") }));
}

void TestHomePage::diskReport_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<double>("freeMiB");
    QTest::addColumn<double>("totalMiB");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("barWidth");
    QTest::addColumn<bool>("ample");
    QTest::newRow("150.0 of 1000.0 MiB: short of room, a bar cut to 30 pixels, E, 0.1 G")
        << "E:/" << 150.0 << 1000.0 << "E盘,剩余0.1G" << 30 << false;
    QTest::newRow("150.5 MiB is ample") << "E:/" << 150.5 << 1000.0 << "E盘,剩余0.1G" << 30 << true;
    QTest::newRow("a mounted volume is named by its mount, as the desktop names it")
        << "/media/ann/Data/" << 120000.0 << 480000.0 << "Data,剩余117.2G" << 50 << true;
    QTest::newRow("the home folder's volume is the home folder")
        << "~/" << 120000.0 << 480000.0 << "主文件夹,剩余117.2G" << 50 << true;
    QTest::newRow("a total of 0 shows no bar") << "D:\\" << 0.0 << 0.0 << "D盘,剩余0.0G" << 0 << false;
    QTest::newRow("more free than total fills the track")
        << "D:\\" << 900.0 << 800.0 << "D盘,剩余0.9G" << 201 << true;
}

void TestHomePage::diskReport()
{
    QFETCH(QString, root);
    QFETCH(double, freeMiB);
    QFETCH(double, totalMiB);
    QFETCH(QString, text);
    QFETCH(int, barWidth);
    QFETCH(bool, ample);
    if (root == QLatin1String("~/"))
        root = m_env.platform()->homeFolder() + QLatin1Char('/');

    makePage(services(m_env.platform()));
    // Reported as the disk monitor reports it, from its thread.
    emit KDiskInfoThread::instance()->sigSetHomeDiskFree(root, freeMiB, totalMiB);
    QCOMPARE(child<QLabel>(*m_page, "lblDiskTipText")->text(), text);

    auto* animation = m_page->findChild<QPropertyAnimation*>();
    animation->setCurrentTime(animation->duration());
    QCOMPARE(child<QLabel>(*m_page, "lblFreeDiskBg")->width(), barWidth);
    QCOMPARE(child<QLabel>(*m_page, "lblBottomTip")->text().contains(QStringLiteral("充足")), ample);
    // With last week's growth known, a roomy drive says when it fills; a short one keeps its warning.
    emit KDiskInfoThread::instance()->sigDaysUntilFull(42);
    emit KDiskInfoThread::instance()->sigSetHomeDiskFree(root, freeMiB, totalMiB);
    QCOMPARE(child<QLabel>(*m_page, "lblBottomTip")->text().contains(QStringLiteral("42 天后")), ample);
    if (barWidth == 0 || barWidth > 200)
        return;

    // The drive's text crosses the bar and the rest of the track: every colour of both, across
    // the height of its line, as the widgets paint them, must leave it readable.
    auto* drive = child<QLabel>(*m_page, "lblDiskTipText");
    drive->ensurePolished();
    const QColor ink = drive->palette().color(QPalette::WindowText);
    const int top = (drive->height() - drive->fontMetrics().height()) / 2;
    auto* bar = child<QLabel>(*m_page, "lblFreeDiskBg");
    auto* track = child<QLabel>(*m_page, "lblTatalSizeBG");
    const QList<QPair<QLabel*, int>> samples { { bar, bar->width() / 2 },
        { track, (bar->width() + track->width()) / 2 } };
    double worst = 100;
    for (const auto& sample : samples) {
        const QImage painted = sample.first->grab().toImage();
        for (int y = top; y < top + drive->fontMetrics().height(); ++y)
            worst = qMin(worst, contrast(ink, painted.pixelColor(sample.second, y)));
    }
    QVERIFY2(worst >= 4.5, qPrintable(QStringLiteral("contrast %1:1").arg(worst, 0, 'f', 2)));
}

void TestHomePage::backUpNowAndTheCyclesActivity_data()
{
    // What the engine and the scanner reported, minutes from now, and the line shown.
    QTest::addColumn<QString>("reports");
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("buttonEnabled");
    QTest::newRow("a cycle running shows what it checked and copied")
        << "started; progress 12 3"
        << "正在备份: 已检查 12 个文件，已备份 3 个" << false;
    QTest::newRow("after it, when it ended and when the next is due")
        << "started; finished -5; next 3"
        << "最近备份: 5 分钟前 · 下次: 3 分钟后" << true;
    QTest::newRow("a moment ago, and the next one is due") << "finished -0.2; next 0"
                                                           << "最近备份: 刚刚 · 下次: 即将开始" << true;
    QTest::newRow("hours ago, and no next one while protection is off") << "finished -185; next -1"
                                                                        << "最近备份: 3 小时前" << true;
    QTest::newRow("the minutes follow the clock") << "finished -5; next 3; clock 2"
                                                  << "最近备份: 7 分钟前 · 下次: 1 分钟后" << true;
}

void TestHomePage::backUpNowAndTheCyclesActivity()
{
    QFETCH(QString, reports);
    QFETCH(QString, line);
    QFETCH(bool, buttonEnabled);
    KFakePlatform* platform = m_env.platform();
    platform->setCurrentDateTime(QDateTime(QDate(2024, 3, 20), QTime(12, 0)));
    makePage(services(platform));
    const auto at = [platform](double minutes) {
        return qlonglong(platform->currentMSecsSinceEpoch() + minutes * 60000);
    };
    for (const QString& report : reports.split(QStringLiteral("; "))) {
        const QStringList words = report.split(QLatin1Char(' '));
        bool ok = false;
        if (words.at(0) == QLatin1String("started"))
            ok = QMetaObject::invokeMethod(m_page.data(), "onBackupStarted");
        else if (words.at(0) == QLatin1String("progress"))
            ok = QMetaObject::invokeMethod(m_page.data(), "onBackupProgress", Q_ARG(int, words.at(1).toInt()),
                Q_ARG(int, words.at(2).toInt()));
        else if (words.at(0) == QLatin1String("finished"))
            ok = QMetaObject::invokeMethod(m_page.data(), "onBackupFinished",
                Q_ARG(qlonglong, at(words.at(1).toDouble())), Q_ARG(int, 3), Q_ARG(int, 0));
        else if (words.at(0) == QLatin1String("next"))
            ok = QMetaObject::invokeMethod(m_page.data(), "onNextBackupAt",
                Q_ARG(qlonglong, words.at(1) == QLatin1String("-1") ? -1 : at(words.at(1).toDouble())));
        else if (words.at(0) == QLatin1String("clock"))
            ok = (platform->advanceClock(words.at(1).toInt() * 60000),
                QMetaObject::invokeMethod(m_page.data(), "onRefreshActivity"));
        QVERIFY2(ok, qPrintable(report));
    }
    QCOMPARE(child<QLabel>(*m_page, "lblActivity")->text(), line);
    auto* button = child<QPushButton>(*m_page, "btnBackupNow");
    QCOMPARE(button->isEnabled(), buttonEnabled);

    // The button asks the window to back up now.
    QSignalSpy asked(m_page.data(), SIGNAL(sigBackUpNow()));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(asked.count(), buttonEnabled ? 1 : 0);
    platform->setCurrentDateTime(QDateTime());
}

void TestHomePage::offsiteLine_data()
{
    QTest::addColumn<KOffsiteStatus>("status");
    QTest::addColumn<QString>("line"); // empty: hidden
    QTest::addColumn<int>("bar"); // its value; -2 hidden
    const qint64 now = QDateTime(QDate(2024, 3, 20), QTime(12, 0)).toMSecsSinceEpoch();
    using State = KOffsiteStatus::State;
    KOffsiteStatus status;
    QTest::newRow("off: no line") << status << QString() << -2;
    status.state = State::Idle;
    status.lastBackupMSecs = now - 125 * 60000;
    status.lastAddedBytes = 3 * 1024 * 1024 / 2;
    status.nextBackupMSecs = now + 15 * 60000;
    QTest::newRow("after an upload: when, what it added, the next")
        << status << QStringLiteral("异地备份: 2 小时前 · 新增 1.50MB · 下次: 15 分钟后") << -2;
    status.state = State::Running;
    status.progressPercent = 40;
    QTest::newRow("uploading: a bar after the words") << status << QStringLiteral("正在上传到异地备份") << 40;
    status.state = State::Idle;
    status.checkFailed = true;
    QTest::newRow("a failed check") << status << offsiteProblemText(KOffsiteProblem::Damaged) << -2;
    status.state = State::NotInstalled;
    QTest::newRow("no restic: how to install it")
        << status << offsiteProblemText(KOffsiteProblem::NotInstalled) << -2;
}

void TestHomePage::offsiteLine()
{
    QFETCH(KOffsiteStatus, status);
    QFETCH(QString, line);
    QFETCH(int, bar);
    m_env.platform()->setCurrentDateTime(QDateTime(QDate(2024, 3, 20), QTime(12, 0)));
    makePage(services(m_env.platform()));
    m_page->resize(900, 520);
    m_page->show();
    m_page->onOffsiteStatus(status);
    auto* label = child<QLabel>(*m_page, "lblOffsite");
    auto* progress = child<QProgressBar>(*m_page, "barOffsite");
    QCOMPARE(label->isVisible(), !line.isEmpty());
    QCOMPARE(label->text(), line);
    QCOMPARE(progress->isVisible(), bar != -2);
    if (bar != -2) {
        QCOMPARE(progress->value(), bar);
        QVERIFY(progress->x() > label->x() + label->fontMetrics().horizontalAdvance(line));
    }
    // It covers nothing else on the page.
    const QList<QWidget*> others = m_page->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    for (QWidget* other : others) {
        if (other != label && other != progress && other->objectName() != QLatin1String("lblBG")
            && other->isVisible())
            QVERIFY2(!other->geometry().intersects(label->geometry()), qPrintable(other->objectName()));
    }
    m_env.platform()->setCurrentDateTime(QDateTime());
}

QTEST_MAIN(TestHomePage)
#include "tst_homepage.moc"
