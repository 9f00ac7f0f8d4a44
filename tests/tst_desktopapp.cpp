#include "AtriumCommon/atriummessages.h"
#include "Widgets/home/khomewidget.h"
#include "Widgets/main/atriummsgframe.h"
#include "host/atrium/katriumwindow.h"
#include "host/atrium/ktrayicon.h"
#include "ktestenvironment.h"
#include "platform/kautostart.h"
#include "platform/kquitsignals.h"

#include <QMenu>
#include <QtTest>

#include <csignal>

namespace {

using Post = QPair<WPARAM, LPARAM>;

// The plug-in's window as far as the host's messages go: it keeps what reaches it.
class StandInPlugin final : public AtriumMsgFrame
{
public:
    StandInPlugin()
    {
        claimed = setWindowProperty(QString::fromLatin1(AtriumWindowProperty::VaultkeepMainFrame));
    }

    bool claimed = false;
    QVector<QPair<UINT, WPARAM>> received;

protected:
    bool nativeEvent(const QByteArray& eventType, void* message, long* result) override
    {
        if (eventType != KNativeMessageEventType)
            return AtriumMsgFrame::nativeEvent(eventType, message, result);
        const MSG* msg = static_cast<const MSG*>(message);
        received.append({ msg->message, msg->wParam });
        return true;
    }
};

QAction* menuAction(const KTrayIcon& tray, const char* name)
{
    return tray.menu()->findChild<QAction*>(QString::fromLatin1(name));
}

} // namespace

Q_DECLARE_METATYPE(KTrayState::Look)

// The application as the desktop sees it: one running instance, the tray icon that follows the
// plug-in and drives it, and the session's autostart entry.
class TestDesktopApp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void trayShowsWhatThePlugInPosts_data();
    void trayShowsWhatThePlugInPosts();
    void theHomePagesCyclesReachTheTray();
    void trayMenuDrivesThePlugIn_data();
    void trayMenuDrivesThePlugIn();
    void aSecondStartActivatesTheFirst();
    void autostartFollowsTheEntryAndTheSettingIsKept();
    void execArgumentsAreQuoted_data();
    void execArgumentsAreQuoted();
    void aStopSignalQuitsAsTheMenuDoes();

private:
    KTrayIcon* makeTray();

    KTestEnvironment m_env;
    QScopedPointer<KAtriumWindow> m_host;
    QScopedPointer<KTrayIcon> m_tray;
};

void TestDesktopApp::initTestCase()
{
    qRegisterMetaType<quintptr>("quintptr");
    qRegisterMetaType<qintptr>("qintptr");
}

void TestDesktopApp::init()
{
    m_host.reset(new KAtriumWindow(QString(), QString()));
    QString error;
    QVERIFY2(m_host->claimHostProperty(&error), qPrintable(error));
    m_tray.reset(makeTray());
}

void TestDesktopApp::cleanup()
{
    m_tray.reset();
    m_host.reset();
}

KTrayIcon* TestDesktopApp::makeTray()
{
    return new KTrayIcon(m_host.data(), m_env.path(QStringLiteral("vaultkeep.conf")),
        KAutostart(m_env.platform()->configHomeFolder(), QStringLiteral("org.example.vaultkeep")));
}

void TestDesktopApp::trayShowsWhatThePlugInPosts_data()
{
    using namespace AtriumMessage;
    QTest::addColumn<QVector<Post>>("posts");
    QTest::addColumn<KTrayState::Look>("look");
    QTest::addColumn<QString>("toolTipHas");
    QTest::addColumn<QString>("pauseText");

    QTest::newRow("nothing posted yet: starting") << QVector<Post> {} << KTrayState::Look::Starting
                                                  << QStringLiteral("尚未备份") << QStringLiteral("暂停保护");
    QTest::newRow("protection on, backed up at noon")
        << QVector<Post> { { StateProtection, 1 }, { StateLastBackup, 1767268800 } }
        << KTrayState::Look::Protecting << QStringLiteral("正在保护你的文件") << QStringLiteral("暂停保护");
    QTest::newRow("protection off: paused, the menu resumes")
        << QVector<Post> { { StateProtection, 0 } } << KTrayState::Look::Paused
        << QStringLiteral("保护已暂停") << QStringLiteral("恢复保护");
    QTest::newRow("a cycle copies") << QVector<Post> { { StateProtection, 1 }, { StateBackingUp, 1 } }
                                    << KTrayState::Look::BackingUp << QStringLiteral("正在备份")
                                    << QStringLiteral("暂停保护");
    QTest::newRow("the cycle ended") << QVector<Post> { { StateProtection, 1 }, { StateBackingUp, 1 },
        { StateBackingUp, 0 } } << KTrayState::Look::Protecting
                                     << QStringLiteral("正在保护你的文件") << QStringLiteral("暂停保护");
    QTest::newRow("a problem shows before a cycle at work")
        << QVector<Post> { { StateProtection, 1 }, { StateBackingUp, 1 }, { StateProblem, ShortOfRoom } }
        << KTrayState::Look::Problem << QStringLiteral("空间不足") << QStringLiteral("暂停保护");
    QTest::newRow("failed copies, protection off")
        << QVector<Post> { { StateProtection, 0 }, { StateProblem, CopiesFailed } }
        << KTrayState::Look::Problem << QStringLiteral("未能备份") << QStringLiteral("恢复保护");
    QTest::newRow("the off-site copy's last error, in words")
        << QVector<Post> { { StateProtection, 1 }, { StateOffsite, 40 }, { StateOffsite, OffsiteIdle },
               { StateOffsiteProblem, OffsiteUnreachable } }
        << KTrayState::Look::Protecting << QStringLiteral("异地备份: 无法连接备份位置")
        << QStringLiteral("暂停保护");
    QTest::newRow("the problem went away")
        << QVector<Post> { { StateProtection, 1 }, { StateProblem, CopiesFailed }, { StateProblem, 0 } }
        << KTrayState::Look::Protecting << QStringLiteral("正在保护你的文件") << QStringLiteral("暂停保护");
}

// Posted as the plug-in posts them, through the user's message sockets.
void TestDesktopApp::trayShowsWhatThePlugInPosts()
{
    QFETCH(QVector<Post>, posts);
    QFETCH(KTrayState::Look, look);
    QFETCH(QString, toolTipHas);
    QFETCH(QString, pauseText);

    QSignalSpy heard(m_host.data(), &KAtriumWindow::sigPluginState);
    for (const Post& post : posts)
        QVERIFY(postToAtriumMainFrame(AtriumMessage::VaultkeepState, post.first, post.second));
    QTRY_COMPARE(heard.count(), posts.size());
    QCOMPARE(m_tray->state().look(), look);
    const QString toolTip = m_tray->state().toolTip(m_env.platform()->currentDateTime());
    QVERIFY2(toolTip.contains(toolTipHas), qPrintable(toolTip));
    QCOMPARE(menuAction(*m_tray, "pause")->text(), pauseText);
}

// The plug-in's side: the home page tells the host what its cycles do.
void TestDesktopApp::theHomePagesCyclesReachTheTray()
{
    KHomeWidget home;
    const auto look = [this] {
        return m_tray->state().look();
    };
    home.onBackupStarted();
    QTRY_COMPARE(look(), KTrayState::Look::BackingUp);
    home.onBackupFinished(1767268800000, 3, 1);
    QTRY_COMPARE(look(), KTrayState::Look::Problem);
    QVERIFY(m_tray->state()
                .toolTip(QDateTime::fromSecsSinceEpoch(1767268900))
                .contains(QStringLiteral("未能备份")));
    KOffsiteStatus uploading;
    uploading.state = KOffsiteStatus::State::Running;
    uploading.progressPercent = 42;
    home.onOffsiteStatus(uploading);
    QTRY_VERIFY(m_tray->state()
                    .toolTip(QDateTime::fromSecsSinceEpoch(1767268900))
                    .contains(QStringLiteral("正在上传到异地备份 42%")));
    home.onDiskShortOfRoom();
    home.onBackupFinished(1767268900000, 2, 0);
    QTRY_COMPARE(look(), KTrayState::Look::Starting);
}

void TestDesktopApp::trayMenuDrivesThePlugIn_data()
{
    using namespace AtriumMessage;
    QTest::addColumn<LPARAM>("protection");
    QTest::addColumn<QByteArray>("action");
    QTest::addColumn<UINT>("message");
    QTest::addColumn<WPARAM>("wParam");

    QTest::newRow("open") << LPARAM(1) << QByteArray("open") << UINT(Activate) << WPARAM(0);
    QTest::newRow("back up now") << LPARAM(1) << QByteArray("backUpNow") << UINT(BackUpNow) << WPARAM(0);
    QTest::newRow("pause while protecting")
        << LPARAM(1) << QByteArray("pause") << UINT(SetProtection) << WPARAM(0);
    QTest::newRow("resume while paused")
        << LPARAM(0) << QByteArray("pause") << UINT(SetProtection) << WPARAM(1);
}

void TestDesktopApp::trayMenuDrivesThePlugIn()
{
    QFETCH(LPARAM, protection);
    QFETCH(QByteArray, action);
    QFETCH(UINT, message);
    QFETCH(WPARAM, wParam);

    StandInPlugin plugin;
    QVERIFY(plugin.claimed);
    QSignalSpy heard(m_host.data(), &KAtriumWindow::sigPluginState);
    QVERIFY(postToAtriumMainFrame(AtriumMessage::VaultkeepState, AtriumMessage::StateProtection, protection));
    QTRY_COMPARE(heard.count(), 1);
    menuAction(*m_tray, action.constData())->trigger();
    QTRY_COMPARE(plugin.received.size(), 1);
    QCOMPARE(plugin.received.first().first, message);
    QCOMPARE(plugin.received.first().second, wParam);
}

// A second start finds the first through the host's window property, which only one live
// window holds, and asks it for the plug-in's window; the first passes that on to the plug-in.
void TestDesktopApp::aSecondStartActivatesTheFirst()
{
    KAtriumWindow second { QString(), QString() };
    QString error;
    QVERIFY(!second.claimHostProperty(&error));

    QSignalSpy asked(m_host.data(), &KAtriumWindow::sigActivateRequested);
    QVERIFY(KAtriumWindow::activateRunningHost());
    QVERIFY(asked.wait());

    m_tray.reset();
    m_host.reset();
    // Its socket goes with the event loop's next turn.
    QTRY_VERIFY(!KAtriumWindow::activateRunningHost());
    QVERIFY(second.claimHostProperty(&error));
}

void TestDesktopApp::autostartFollowsTheEntryAndTheSettingIsKept()
{
    QAction* startWithSession = menuAction(*m_tray, "startWithSession");
    const QString entry
        = m_env.platform()->configHomeFolder() + QStringLiteral("/autostart/org.example.vaultkeep.desktop");
    QVERIFY(!startWithSession->isChecked());

    startWithSession->trigger();
    QVERIFY(startWithSession->isChecked());
    QCOMPARE(KTestEnvironment::modeOf(entry), 0600u);
    const QString written = QString::fromUtf8(KTestEnvironment::contentOf(entry));
    QVERIFY2(written.contains(QStringLiteral("Exec=%1 --minimized")
                                  .arg(KAutostart::quoteArgument(QCoreApplication::applicationFilePath()))),
        qPrintable(written));

    // What the desktop or the user did to the file is what the menu shows next.
    const auto shownChecked = [this, startWithSession] {
        emit m_tray->menu()->aboutToShow();
        return startWithSession->isChecked();
    };
    QVERIFY(!KTestEnvironment::writeFileAt(entry, written.toUtf8() + "Hidden=true\n", QDateTime()).isEmpty());
    QVERIFY(!shownChecked());
    QVERIFY(QFile::remove(entry));
    QVERIFY(!shownChecked());
    startWithSession->trigger();
    QVERIFY(shownChecked());
    startWithSession->trigger();
    QVERIFY(!QFileInfo::exists(entry));
    QVERIFY(!shownChecked());

    // Keeping to the tray is on until turned off, and stays off in the next start.
    QAction* keepRunning = menuAction(*m_tray, "keepRunning");
    QVERIFY(keepRunning->isChecked());
    keepRunning->trigger();
    m_tray.reset(makeTray());
    QVERIFY(!menuAction(*m_tray, "keepRunning")->isChecked());
}

void TestDesktopApp::execArgumentsAreQuoted_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("quoted");

    QTest::newRow("plain") << QStringLiteral("/usr/bin/vaultkeep") << QStringLiteral("/usr/bin/vaultkeep");
    QTest::newRow("a space") << QStringLiteral("/opt/my apps/vaultkeep")
                             << QStringLiteral("\"/opt/my apps/vaultkeep\"");
    QTest::newRow("shell characters, a field code")
        << QStringLiteral("/a$b`c\"d%f") << QStringLiteral("\"/a\\\\$b\\\\`c\\\\\"d%%f\"");
    QTest::newRow("a backslash") << QStringLiteral("/a\\b") << QStringLiteral("\"/a\\\\\\\\b\"");
}

void TestDesktopApp::execArgumentsAreQuoted()
{
    QFETCH(QString, argument);
    QFETCH(QString, quoted);
    QCOMPARE(KAutostart::quoteArgument(argument), quoted);
}

// The session's end sends SIGTERM, a terminal SIGINT: both reach the event loop as a request.
void TestDesktopApp::aStopSignalQuitsAsTheMenuDoes()
{
    KQuitSignals quitSignals;
    QSignalSpy asked(&quitSignals, &KQuitSignals::quitRequested);
    QVERIFY(::raise(SIGTERM) == 0);
    QVERIFY(asked.wait());
    QCOMPARE(asked.first().first().toInt(), SIGTERM);
}

QTEST_MAIN(TestDesktopApp)
#include "tst_desktopapp.moc"
