#include "AtriumCommon/atriummessages.h"
#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/main/atriummsgframe.h"
#include "Widgets/main/khostmessagehandler.h"
#include "Widgets/title/ksystemtitle.h"
#include "core/kfiletypemanager.h"
#include "ktestenvironment.h"
#include "ktracestore.h"
#include "kwidgettest.h"
#include "platform/kregistry.h"
#include "service/kfileservicemanager.h"

#include <QProcess>
#include <QTabWidget>
#include <QThread>
#include <QtTest>

using namespace KWidgetTest;

namespace {

const QString SkinKey = QStringLiteral("HKEY_CURRENT_USER\\SoftWare\\Tarsel\\Atrium\\Skin");

// The main window as far as host messages go: the message frame with its two properties, its
// title strip and three pages, its nativeEvent handing everything to the handler first.
class StandInMainWindow final : public AtriumMsgFrame
{
public:
    StandInMainWindow()
    {
        resize(800, 500);
        title = new KSystemTitle(this);
        title->setGeometry(1, 1, 798, 30);
        tabs = new QTabWidget(this);
        tabs->setGeometry(1, 32, 798, 468);
        for (int page = 0; page < 3; ++page)
            tabs->addTab(new QWidget, QString());
        handler = new KHostMessageHandler(KFileServiceManager::instance(), this, tabs, title, this);
        connect(handler, &KHostMessageHandler::sigClose, this, &QWidget::hide);
        claimed = setWindowProperty(QString::fromLatin1(AtriumWindowProperty::SkinSyncWithAtrium))
            && setWindowProperty(QString::fromLatin1(AtriumWindowProperty::VaultkeepMainFrame));
    }

    KSystemTitle* title;
    QTabWidget* tabs;
    KHostMessageHandler* handler;
    bool claimed = false;
    int messages = 0; // window messages that reached nativeEvent

protected:
    bool nativeEvent(const QByteArray& eventType, void* message, long* result) override
    {
        if (eventType == KNativeMessageEventType)
            ++messages;
        return handler->handleNativeEvent(eventType, message, result)
            || AtriumMsgFrame::nativeEvent(eventType, message, result);
    }
};

QStringList words(const char* text)
{
    return QString::fromUtf8(text).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

struct ToolRun
{
    int exitCode = -1;
    QString out;
    QString err;
};

} // namespace

// The messages of the host and its sibling programs, sent by the message tool from a process of
// its own, over the sockets a user's programs use.
class TestHostMessages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void aPathWithoutItsZeroByteIsReadToItsCount();
    void windowMessages_data();
    void windowMessages();
    void skinChangeReachesEveryTitleStrip();
    void aMessageFolderOthersMayEnterIsNamed_data();
    void aMessageFolderOthersMayEnterIsNamed();

private:
    // Runs `program` against the windows in `folder` (default: this test's) while this process answers.
    ToolRun run(const QString& program, const QStringList& arguments, const QString& folder = QString());
    ToolRun tool(const QStringList& arguments) { return run(QStringLiteral(VK_MSG_TOOL), arguments); }

    KTestEnvironment m_env;
    QScopedPointer<StandInMainWindow> m_window;
    KNewTraces m_traces { m_env.path(QStringLiteral("cache")) };
    QStringList m_happened; // the page's kind changing, versions asked for, in their order
};

void TestHostMessages::initTestCase()
{
    QVERIFY(!installHostWithPathmark(m_env, QStringLiteral("5.2.0.1")).isEmpty());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_env.path(QStringLiteral("cache"))));
    QVERIFY(KFileTypeManager::instance()->addFileExts(int(FileTypeKind::Rebar), QStringLiteral("GGJ")));
}

void TestHostMessages::init()
{
    m_window.reset(new StandInMainWindow);
    QVERIFY(m_window->claimed);
    m_window->show();
    m_traces.take();
    m_happened.clear();
    connect(KFileServiceManager::instance(), &KFileServiceManager::sigAfxMisCodePreUpdate, m_window.data(),
        [this](int type, int) { m_happened << QStringLiteral("page of kind %1").arg(type); });
    // Queued, as the main window connects it to the mis-edit page.
    connect(
        m_window->handler, &KHostMessageHandler::sigShowFileVersionDlg, m_window.data(),
        [this](const QString& file) { m_happened << QStringLiteral("versions of ") + file; },
        Qt::QueuedConnection);
    connect(m_window->handler, &KHostMessageHandler::sigSetProtection, m_window.data(), [this](bool on) {
        m_happened << (on ? QStringLiteral("protection on") : QStringLiteral("protection off"));
    });
}

void TestHostMessages::cleanup()
{
    m_window.reset();
}

ToolRun TestHostMessages::run(const QString& program, const QStringList& arguments, const QString& folder)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(
        QStringLiteral("ATRIUM_MESSAGES"), folder.isEmpty() ? m_env.platform()->messageFolder() : folder);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    // This process answers while the tool waits: its event loop must run.
    QDeadlineTimer deadline(30000);
    while (process.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(5);
    ToolRun run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    run.err = QString::fromUtf8(process.readAllStandardError()).trimmed();
    return run;
}

void TestHostMessages::aPathWithoutItsZeroByteIsReadToItsCount()
{
    QString requested;
    connect(m_window->handler, &KHostMessageHandler::sigShowFileVersionDlg, m_window.data(),
        [&requested](const QString& file) { requested = file; });
    // Sent by a program that counts its bytes without the zero, from a thread of its own.
    const QByteArray path = QStringLiteral("/home/ann/钢筋.GGJ").toUtf8();
    const HWND window = findWindowByProperty(QString::fromLatin1(AtriumWindowProperty::VaultkeepMainFrame));
    LRESULT answer = 0;
    QScopedPointer<QThread> sender(
        QThread::create([&] { sendCopyData(window, AtriumMessage::ShowFileVersions, path, &answer); }));
    sender->start();
    QTRY_VERIFY(sender->isFinished());
    QCOMPARE(requested, QString::fromUtf8(path));
}

void TestHostMessages::windowMessages_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("startAs"); // "shown", "hidden" or "minimised"
    QTest::addColumn<int>("startPage");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("toFront");
    QTest::addColumn<QStringList>("traces");
    QTest::addColumn<QStringList>("happened");
    const QStringList shown { QStringLiteral("收到正常显示窗口消息||Vaultkeep|自动发送") };
    const QString known = QStringLiteral("/home/ann/工程/钢筋 2024.GGJ");
    const QString unknown = QStringLiteral("/home/ann/notes.xyz");
    QTest::newRow("copy-data 27 of a protected kind switches the page to it before the versions open")
        << words("copydata main 27") + QStringList { known } << "hidden" << 0 << "0" << 1 << true << shown
        << QStringList { QStringLiteral("page of kind 2"), QStringLiteral("versions of ") + known };
    QTest::newRow("copy-data 27 of an unknown suffix keeps the page's kind, the versions still open")
        << words("copydata main 27") + QStringList { unknown } << "hidden" << 0 << "0" << 1 << true << shown
        << QStringList { QStringLiteral("versions of ") + unknown };
    QTest::newRow("copy-data 28 shows a hidden window on its page")
        << words("copydata main 28") << "hidden" << 2 << "0" << 2 << true
        << QStringList { QStringLiteral("收到显示窗口消息||Vaultkeep|自动发送") } << QStringList();
    QTest::newRow("2054 restores a minimised window on the deleted page")
        << words("post main 2054") << "minimised" << 0 << "" << 2 << true
        << QStringList { QStringLiteral("收到显示误删找回窗口消息||Vaultkeep|自动发送") } << QStringList();
    QTest::newRow("copy-data 5 answers 1 and changes nothing")
        << words("copydata main 5 x") << "minimised" << 0 << "1" << 0 << false << QStringList()
        << QStringList();
    QTest::newRow("an unknown message changes nothing")
        << words("post main 2030") << "hidden" << 1 << "" << 1 << false << QStringList() << QStringList();
    QTest::newRow("quit hides the window")
        << words("post main quit") << "shown" << 1 << "" << 1 << false
        << QStringList { QStringLiteral("收到退出消息||Vaultkeep|自动发送") } << QStringList();
    QTest::newRow("activate shows it again on its page")
        << words("post main 2029") << "hidden" << 1 << "" << 1 << true
        << QStringList { QStringLiteral("收到激活Vaultkeep消息||Vaultkeep|自动发送") } << QStringList();
    QTest::newRow("back up now is handed to the window")
        << words("post main backup-now") << "hidden" << 1 << "" << 1 << false
        << QStringList { QStringLiteral("收到立即备份消息||Vaultkeep|自动发送") } << QStringList();
    QTest::newRow("the tray's pause turns protection off")
        << words("post main protection 0") << "hidden" << 1 << "" << 1 << false
        << QStringList { QStringLiteral("收到关闭保护消息||Vaultkeep|自动发送") }
        << QStringList { QStringLiteral("protection off") };
    QTest::newRow("and resuming turns it on")
        << words("post main protection 1") << "hidden" << 1 << "" << 1 << false
        << QStringList { QStringLiteral("收到开启保护消息||Vaultkeep|自动发送") }
        << QStringList { QStringLiteral("protection on") };
}

void TestHostMessages::windowMessages()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, startAs);
    QFETCH(int, startPage);
    QFETCH(QString, answer);
    QFETCH(int, page);
    QFETCH(bool, toFront);
    QFETCH(QStringList, traces);
    QFETCH(QStringList, happened);

    m_window->tabs->setCurrentIndex(startPage);
    if (startAs == QLatin1String("hidden"))
        m_window->hide();
    else if (startAs == QLatin1String("minimised"))
        m_window->showMinimized();
    const QList<HWND> before = m_env.platform()->foregroundRequests();
    QSignalSpy backUpNow(m_window->handler, SIGNAL(sigBackUpNow()));

    const ToolRun run = tool(arguments);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, answer);
    QTRY_COMPARE(m_window->messages, 1);
    QTRY_COMPARE(m_happened.size(), happened.size());
    QCOMPARE(m_happened, happened);
    QCOMPARE(m_traces.take(), traces);
    QCOMPARE(backUpNow.count(), arguments.contains(QStringLiteral("backup-now")) ? 1 : 0);
    QCOMPARE(m_window->tabs->currentIndex(), page);
    QCOMPARE(m_window->isVisible(), toFront || startAs == QLatin1String("minimised"));
    QCOMPARE(m_window->isMinimized(), !toFront && startAs == QLatin1String("minimised"));
    QCOMPARE(m_env.platform()->foregroundRequests().size(), before.size() + (toFront ? 1 : 0));
    if (toFront)
        QCOMPARE(m_env.platform()->foregroundRequests().last(), reinterpret_cast<HWND>(m_window->winId()));
}

// The host's skin, from the registry, on every title strip; the built-in one when its picture is gone.
void TestHostMessages::skinChangeReachesEveryTitleStrip()
{
    // Another window of the plug-in, a dialog with a title strip of its own.
    QWidget dialog;
    auto* dialogTitle = new KSystemTitle(&dialog);
    dialog.show();
    const QString picture = m_env.path(QStringLiteral("green.png"));
    QVERIFY(writeStrip(picture, { QColor(20, 160, 60) }, 40, 30));
    KRegistryKey skin(SkinKey);
    skin.setValue(QStringLiteral("Path"), m_env.path());
    skin.setValue(QStringLiteral("Name"), QStringLiteral("green.png"));
    QVERIFY(skin.sync());
    const auto shows = [](KSystemTitle* title, const QString& file) {
        return title->palette()
                   .brush(QPalette::Window)
                   .texture()
                   .toImage()
                   .convertToFormat(QImage::Format_ARGB32)
            == QImage(file).convertToFormat(QImage::Format_ARGB32);
    };

    QCOMPARE(tool(words("post skin-sync skin")).exitCode, 0);
    QTRY_VERIFY(shows(m_window->title, picture));
    QVERIFY(shows(dialogTitle, picture));
    QCOMPARE(m_traces.take(), QStringList { QStringLiteral("收到换肤消息||Vaultkeep|自动发送") });

    QVERIFY(QFile::remove(picture));
    QCOMPARE(tool(words("post skin-sync skin")).exitCode, 0);
    QTRY_VERIFY(shows(m_window->title, QStringLiteral(":/Icons/Icons/皮肤背景.jpg")));
    KRegistryKey(SkinKey).removeKey();
}

void TestHostMessages::aMessageFolderOthersMayEnterIsNamed_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("the host") << QStringLiteral(VK_ATRIUM) << QStringList();
    QTest::newRow("the message tool") << QStringLiteral(VK_MSG_TOOL) << words("post main activate");
}

void TestHostMessages::aMessageFolderOthersMayEnterIsNamed()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    const QString folder = m_env.makeFolder(QStringLiteral("open-messages")).chopped(1);
    QVERIFY(QFile::setPermissions(folder,
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
            | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther));
    const ToolRun ran = run(program, arguments, folder);
    QCOMPARE(ran.exitCode, 1);
    // In the program's own words, not only in a log line.
    const QString says = QFileInfo(program).fileName() + QStringLiteral(": .*")
        + QRegularExpression::escape(folder + QStringLiteral(" has mode 0755"));
    QVERIFY2(
        ran.err.contains(QRegularExpression(QLatin1Char('^') + says, QRegularExpression::MultilineOption)),
        qPrintable(ran.err));
    QVERIFY(QDir(folder).isEmpty());
}

QTEST_MAIN(TestHostMessages)
#include "tst_hostmessages.moc"
