#include "knativeworkspace.h"
#include "ktestenvironment.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

#include <functional>

namespace {

// How long any step of the story may take, however slow the build (sanitizers).
constexpr int StepTimeoutMs = 90000;

struct Run
{
    int exitCode = -1;
    QString out;
};

} // namespace

// The product as a user has it: the stand-in host with the plug-in on a private X server, on the
// demo workspace (months of project files and their backups, recent-file lists naming them),
// driven with the mouse and the keys through xdotool and with the host's messages through
// vaultkeep-msg. Every file the plug-in writes back is compared with what it should hold.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void aUserBacksUpRestoresAndBringsBack();

private:
    Run run(const QString& program, const QStringList& arguments);
    Run xdotool(const QStringList& arguments) { return run(QStringLiteral("xdotool"), arguments); }
    Run message(const QStringList& arguments) { return run(QStringLiteral(VK_MSG_TOOL), arguments); }
    // Polls `condition` until it holds or the step's time is up.
    static bool eventually(const std::function<bool()>& condition);
    // The windows whose title matches `pattern`, shown ones only when `visible`.
    QStringList windows(const QString& pattern, bool visible = false);
    QSize sizeOf(const QString& window);
    // The plug-in's main window: of its shown windows, the one of the main window's size.
    QString mainWindow();
    // A left click at `x`, `y` of `window`.
    bool click(const QString& window, int x, int y);
    // Keys pressed on the keyboard: they go to the window with the focus, or to a menu.
    bool keys(const QStringList& names);
    // The host's windows on the screen (its own, the plug-in's, their menus and boxes).
    int shownWindows();
    // The window with the keyboard's focus.
    QString focus() { return xdotool({ QStringLiteral("getwindowfocus") }).out; }
    // How many times the plug-in posted its total: once at the end of every cycle.
    int postedTotals();
    // The backups made in total, as the plug-in last posted them to the host; -1 before.
    int postedTotal();
    // The host's window.
    QString host();
    // How many version lists the plug-in built: their rows arrive after the dialog shows.
    int builtLists();

    KNativeWorkspace m_machine;
    QProcessEnvironment m_environment;
    QProcess m_xserver;
    QProcess m_host;
    QString m_hostOutput;
    QString m_hostErrors;
};

void TestEndToEnd::initTestCase()
{
    QVERIFY(m_machine.isValid());
    // A display of its own: the server writes the number it took. It must not reset when its
    // last client leaves (xdotool between the steps): a program connecting meanwhile fails.
    m_xserver.start(QStringLiteral("Xvfb"),
        { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"), QStringLiteral("0"),
            QStringLiteral("1280x800x24"), QStringLiteral("-nolisten"), QStringLiteral("tcp"),
            QStringLiteral("-noreset") });
    QVERIFY2(m_xserver.waitForStarted(), "Xvfb cannot be started (tools/install-deps installs it)");
    QVERIFY(
        eventually([this] { return m_xserver.canReadLine() || m_xserver.state() == QProcess::NotRunning; }));
    const QByteArray display = m_xserver.readLine().trimmed();
    QVERIFY2(!display.isEmpty(), "Xvfb gave no display number");

    m_environment = m_machine.environment();
    m_environment.insert(QStringLiteral("DISPLAY"), QLatin1Char(':') + QString::fromLatin1(display));
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    // Nothing here draws with OpenGL; the software GL driver Qt would load for every window
    // leaves a buffer behind when it is unloaded, which the leak checker takes for ours.
    m_environment.insert(QStringLiteral("QT_XCB_GL_INTEGRATION"), QStringLiteral("none"));
    m_environment.insert(
        QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vaultkeep.ui.versions.debug=true"));
    QVERIFY2(xdotool({ QStringLiteral("getmouselocation") }).exitCode == 0,
        "xdotool cannot reach the display (tools/install-deps installs it)");
}

void TestEndToEnd::cleanupTestCase()
{
    for (QProcess* process : { &m_host, &m_xserver }) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->terminate();
        if (!process->waitForFinished(10000)) {
            process->kill();
            process->waitForFinished();
        }
    }
}

Run TestEndToEnd::run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessEnvironment(m_environment);
    process.start(program, arguments);
    Run result;
    if (!process.waitForStarted() || !process.waitForFinished(StepTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    return result;
}

bool TestEndToEnd::eventually(const std::function<bool()>& condition)
{
    const QDeadlineTimer deadline(StepTimeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(50);
    }
    return true;
}

QStringList TestEndToEnd::windows(const QString& pattern, bool visible)
{
    QStringList arguments { QStringLiteral("search") };
    if (visible)
        arguments << QStringLiteral("--onlyvisible");
    arguments << QStringLiteral("--name") << pattern;
    const Run found = xdotool(arguments);
    return found.exitCode == 0 ? found.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts) : QStringList();
}

QSize TestEndToEnd::sizeOf(const QString& window)
{
    const Run geometry = xdotool({ QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window });
    const auto value = [&geometry](const char* name) {
        const QRegularExpression line(
            QStringLiteral("^%1=(\\d+)$").arg(QLatin1String(name)), QRegularExpression::MultilineOption);
        return line.match(geometry.out).captured(1).toInt();
    };
    return QSize(value("WIDTH"), value("HEIGHT"));
}

QString TestEndToEnd::mainWindow()
{
    const QStringList shown = windows(QStringLiteral("^TarselVaultkeep$"), true);
    for (const QString& window : shown) {
        if (sizeOf(window).width() >= 800)
            return window;
    }
    return QString();
}

bool TestEndToEnd::click(const QString& window, int x, int y)
{
    return xdotool({ QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x),
                       QString::number(y), QStringLiteral("click"), QStringLiteral("1") })
               .exitCode
        == 0;
}

bool TestEndToEnd::keys(const QStringList& names)
{
    return xdotool(QStringList { QStringLiteral("key") } + names).exitCode == 0;
}

int TestEndToEnd::shownWindows()
{
    const Run found = xdotool({ QStringLiteral("search"), QStringLiteral("--onlyvisible"),
        QStringLiteral("--pid"), QString::number(m_host.processId()) });
    return found.exitCode == 0 ? found.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size() : 0;
}

int TestEndToEnd::postedTotals()
{
    m_hostOutput += QString::fromUtf8(m_host.readAllStandardOutput());
    return m_hostOutput.count(QStringLiteral("backups made in total"));
}

QString TestEndToEnd::host()
{
    const QStringList found = windows(QStringLiteral("^Atrium"), true);
    return found.size() == 1 ? found.first() : QString();
}

int TestEndToEnd::builtLists()
{
    m_hostErrors += QString::fromUtf8(m_host.readAllStandardError());
    return m_hostErrors.count(QStringLiteral("version list built"));
}

int TestEndToEnd::postedTotal()
{
    const Run title = xdotool({ QStringLiteral("getwindowname"), host() });
    const QRegularExpressionMatch total
        = QRegularExpression(QStringLiteral("Vaultkeep: (\\d+) backups")).match(title.out);
    return total.hasMatch() ? total.captured(1).toInt() : -1;
}

void TestEndToEnd::aUserBacksUpRestoresAndBringsBack()
{
    // The demo workspace, and a project of the user's own in a folder of its own.
    Run demo = run(QStringLiteral(VK_DEMO_TOOL), { m_machine.path() });
    QVERIFY2(demo.exitCode == 0, qPrintable(demo.out));
    const QString edited
        = QRegularExpression(QStringLiteral("^edit: (.+)$"), QRegularExpression::MultilineOption)
              .match(demo.out)
              .captured(1);
    QVERIFY(QFile::exists(edited));
    const QByteArray ownPlan("e2e plan, first state\n");
    const QString plan = m_machine.writeFile(QStringLiteral("工程项目/e2e-folder/e2e-plan.pra4"), ownPlan);
    m_machine.addToPricingList(plan);
    const QString desktop = m_machine.home() + QStringLiteral("/Desktop");
    QVERIFY(QDir().mkpath(desktop));

    m_host.setProcessEnvironment(m_environment);
    m_host.start(QStringLiteral(VK_ATRIUM), QStringList());
    QVERIFY(m_host.waitForStarted());

    // The first cycle backs up what changed since the last backups; the host hears the total, and
    // the first backup ever made shows its tip beside the window.
    QVERIFY2(eventually([this] { return postedTotal() > 0; }),
        qPrintable(m_hostErrors + QString::fromUtf8(m_host.readAllStandardError())));
    const QString window = mainWindow();
    QVERIFY(!window.isEmpty());
    QVERIFY(eventually([this] { return windows(QStringLiteral("^TarselVaultkeep$"), true).size() == 2; }));
    const int totalAfterStart = postedTotal();
    QVERIFY(eventually(
        [&] { return KNativeWorkspace::databaseVersions(m_machine.databaseFile()).contains(plan); }));

    // The user changes a file, and backs it up at once from the home page.
    const QByteArray previous = KTestEnvironment::contentOf(edited);
    const QByteArray changed = previous + "e2e change\n";
    QVERIFY(!KTestEnvironment::writeFileAt(edited, changed, QDateTime::currentDateTime()).isEmpty());
    QVERIFY(click(window, 562, 152)); // "立即备份"
    QVERIFY(eventually([&] { return postedTotal() == totalAfterStart + 1; }));

    // Its versions, from a sibling program; closing them refreshes every view, which the host
    // hears, so that the next refresh it hears is a cycle's.
    const QString versionDialog = QStringLiteral("^文件备份列表$");
    const auto openVersions = [&]() -> QString {
        const int built = builtLists();
        const Run asked = message(
            { QStringLiteral("copydata"), QStringLiteral("main"), QStringLiteral("show-versions"), edited });
        if (asked.exitCode != 0 || !eventually([&] { return !windows(versionDialog, true).isEmpty(); })
            || !eventually([&] { return builtLists() > built; })) {
            return QString();
        }
        return windows(versionDialog, true).first();
    };
    const auto closeVersions = [&](const QString& versions) {
        const int refreshes = postedTotals();
        return xdotool({ QStringLiteral("windowfocus"), QStringLiteral("--sync"), versions,
                           QStringLiteral("key"), QStringLiteral("Escape") })
                   .exitCode
            == 0
            && eventually(
                [&] { return windows(versionDialog, true).isEmpty() && postedTotals() > refreshes; });
    };
    // The previous version is the second row, newest first.
    constexpr int SecondRow = 84 + 45 + 22;

    // The previous version to the desktop.
    QString versions = openVersions();
    QVERIFY(!versions.isEmpty());
    QVERIFY(click(versions, 276, SecondRow)); // the row's face: to the desktop
    const QString onDesktop = desktop + QLatin1Char('/') + QFileInfo(edited).fileName();
    QVERIFY(eventually([&] { return KTestEnvironment::contentOf(onDesktop) == previous; }));
    QVERIFY(closeVersions(versions));

    // The same version to its own place, over the changed file, once the user has confirmed it.
    versions = openVersions();
    QVERIFY(!versions.isEmpty());
    const int shown = shownWindows();
    QVERIFY(click(versions, 327, SecondRow)); // the row's arrow, then its one entry
    QVERIFY(eventually([&] { return shownWindows() == shown + 1; }));
    QVERIFY(keys({ QStringLiteral("Down"), QStringLiteral("Return") }));
    QVERIFY(eventually([&] { return focus() != versions && shownWindows() == shown + 1; })); // the question
    QVERIFY(click(focus(), 100, 153)); // its accept button
    QVERIFY(eventually([&] { return KTestEnvironment::contentOf(edited) == previous; }));
    QVERIFY(closeVersions(versions));

    // The user deletes the project with its folder; once a cycle has seen it gone, the deleted
    // page, searched for it, brings it back.
    QVERIFY(QDir(QFileInfo(plan).absolutePath()).removeRecursively());
    const int refreshes = postedTotals();
    QVERIFY(eventually([&] { return postedTotals() > refreshes + 1; }));
    QVERIFY(click(window, 403, 51)); // the deleted page's tab
    QVERIFY(click(window, 608, 90)); // its search field
    QVERIFY(keys({ QStringLiteral("e"), QStringLiteral("2"), QStringLiteral("e") }));
    QVERIFY(click(window, 532, 148)); // the only row's face: to the desktop
    QVERIFY(eventually(
        [&] { return KTestEnvironment::contentOf(desktop + QStringLiteral("/e2e-plan.pra4")) == ownPlan; }));

    // Closing the host lets the plug-in go: it saves the database and is unloaded.
    QCOMPARE(xdotool({ QStringLiteral("windowfocus"), QStringLiteral("--sync"), host(), QStringLiteral("key"),
                         QStringLiteral("ctrl+q") })
                 .exitCode,
        0);
    QVERIFY(m_host.waitForFinished(StepTimeoutMs));
    QVERIFY2(m_host.exitStatus() == QProcess::NormalExit && m_host.exitCode() == 0,
        qPrintable(m_hostErrors + QString::fromUtf8(m_host.readAllStandardError())));
    postedTotals();
    QVERIFY(m_hostOutput.contains(QStringLiteral("was unloaded")));

    // Every backup the database lists is in the backup folder, the changed state among them.
    QCOMPARE(m_machine.backupsDisagreeWithDatabase(), QString());
    bool changeKept = false;
    const QStringList kept = KNativeWorkspace::databaseVersions(m_machine.databaseFile()).value(edited);
    for (const QString& version : kept)
        changeKept = changeKept
            || KTestEnvironment::contentOf(m_machine.backupFolder() + QLatin1Char('/') + version) == changed;
    QVERIFY(changeKept);
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
