// atrium: the stand-in host. It loads libKVaultkeep.so (beside itself, or from the installed
// library folder), shows the plug-in's window and its own, and on closing lets the plug-in go
// and unloads it.
//
// vaultkeep: the same program as users start it, built from this file with VAULTKEEP_APP_ID. The
// host's own window, which lists what the plug-in posts, stays hidden unless --diagnostics asks
// for it; closing the plug-in's window then ends the program.
//
//   atrium [--plugin <file>]
//          [--screenshots <folder> [--versions-of <file>] [--settings-dialog] [--search <text>]
//                                  [--compare-of <file>]...]
//   atrium --paint-skins <folder>
//   vaultkeep [--diagnostics] [--minimized] [the options of atrium]
//
// vaultkeep runs once per user: a second start asks the running one to show its window and ends.
// It sits in the desktop's tray; closing the window keeps it protecting there unless the tray's
// menu says otherwise. --minimized (the session's autostart) starts it in the tray alone.
//
// With --screenshots it photographs the plug-in's pages once the plug-in has reported its first
// cycle, prints the files it wrote and ends.

#include "AtriumCommon/atriummessages.h"
#include "core/kcommon.h"
#include "core/kuilanguage.h"
#include "katriumwindow.h"
#include "khostskins.h"
#include "kpluginlibrary.h"
#include "kscreenshottour.h"
#include "ktrayicon.h"
#include "platform/kautostart.h"
#include "platform/kfileio.h"
#include "platform/kfilelock.h"
#include "platform/kplatform.h"
#include "platform/kquitsignals.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>
#include <QScreen>
#include <QTextStream>
#include <QTimer>

#include <functional>
#include <optional>

namespace {

#ifdef VAULTKEEP_APP_ID
constexpr bool IsApplication = true;
#else
constexpr bool IsApplication = false;
#endif

// How long the plug-in may take to report its first cycle before a tour gives up.
constexpr int FirstCycleTimeoutMs = 120000;
// A session that starts the program before its panel: how long a start in the tray waits for a
// tray before it shows the window after all.
constexpr int TrayWaitMs = 15000;
constexpr int TrayPollMs = 500;

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

// The plug-in's window at the top left of the screen, the host's beside it when there is room.
void place(QWidget* frame, QWidget* host)
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QPoint corner = screen.topLeft() + QPoint(40, 40);
    frame->move(corner);
    const int right = corner.x() + frame->width() + 20;
    if (right + host->width() <= screen.right())
        host->move(right, corner.y());
    else
        host->move(corner.x(), qMin(corner.y() + frame->height() + 20, screen.bottom() - host->height()));
}

// Without the host's window, the plug-in hiding its window (its close button, or the host's
// message 2027) ends the program as closing the host's window does. A window the window manager
// minimises is hidden spontaneously and stays. Queued: the plug-in is still on the stack.
class KEndWithFrame final : public QObject
{
public:
    KEndWithFrame(QWidget* frame, QObject* parent, std::function<void()> end)
        : QObject(parent)
        , m_end(std::move(end))
    {
        frame->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Hide && !event->spontaneous())
            QMetaObject::invokeMethod(this, m_end, Qt::QueuedConnection);
        return QObject::eventFilter(watched, event);
    }

private:
    const std::function<void()> m_end;
};

// What the command line asks for.
struct HostOptions
{
    QString plugin;
    bool diagnostics = true; // the host's own window shows
    QString paintSkinsInto; // empty: run the plug-in
    QString screenshotsInto; // empty: no photographs
    QString versionsOf;
    QStringList comparisonsOf;
    bool settingsDialog = false;
    bool minimized = false;
    std::optional<QString> search;
};

void setUpApplication()
{
    QCoreApplication::setApplicationName(
        IsApplication ? QStringLiteral("vaultkeep") : QStringLiteral("atrium"));
#ifdef VAULTKEEP_APP_ID
    QGuiApplication::setDesktopFileName(QStringLiteral(VAULTKEEP_APP_ID));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral(VAULTKEEP_APP_ID)));
#endif
    QCoreApplication::setApplicationVersion(QStringLiteral(VAULTKEEP_VERSION));
    // The plug-in's window hides when closed; the host ends when its own window closes.
    QApplication::setQuitOnLastWindowClosed(false);
}

// Ends the program on --help, --version or an unknown option, as the parser does.
HostOptions parseArguments(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The stand-in host of the Vaultkeep plug-in."));
    parser.addHelpOption();
    const QCommandLineOption pluginOption(QStringLiteral("plugin"),
        QStringLiteral(
            "The plug-in to load (default: libKVaultkeep.so beside the program or in its library folder)."),
        QStringLiteral("file"), KPluginLibrary::defaultPath());
    const QCommandLineOption screenshotsOption(QStringLiteral("screenshots"),
        QStringLiteral("Photograph the plug-in's pages into <folder> after its first cycle, then end."),
        QStringLiteral("folder"));
    const QCommandLineOption versionsOption(QStringLiteral("versions-of"),
        QStringLiteral("With --screenshots: also the version dialog of <file>."), QStringLiteral("file"));
    const QCommandLineOption settingsOption(QStringLiteral("settings-dialog"),
        QStringLiteral("With --screenshots: also the settings and clean-up dialogs, and the clean-up's "
                       "question."));
    const QCommandLineOption searchOption(QStringLiteral("search"),
        QStringLiteral("With --screenshots: the mis-edit page searching for <text>."),
        QStringLiteral("text"));
    const QCommandLineOption skinsOption(QStringLiteral("paint-skins"),
        QStringLiteral("Paint the host's skins into <folder> and end (the build does this)."),
        QStringLiteral("folder"));
    const QCommandLineOption compareOption(QStringLiteral("compare-of"),
        QStringLiteral("With --screenshots: also the comparison of <file>'s oldest version with the file, as "
                       "compare-<suffix>.png (may be repeated)."),
        QStringLiteral("file"));
    parser.addOptions({ pluginOption, screenshotsOption, versionsOption, settingsOption, searchOption,
        compareOption, skinsOption });
    const QCommandLineOption diagnosticsOption(QStringLiteral("diagnostics"),
        QStringLiteral("Also show the host's window, which lists what the plug-in posts."));
    const QCommandLineOption minimizedOption(
        QStringLiteral("minimized"), QStringLiteral("Start in the tray, without showing the window."));
    if (IsApplication)
        parser.addOptions({ diagnosticsOption, minimizedOption });
    parser.process(app);

    HostOptions options;
    options.plugin = parser.value(pluginOption);
    options.diagnostics = !IsApplication || parser.isSet(diagnosticsOption);
    options.paintSkinsInto = parser.value(skinsOption);
    options.screenshotsInto = parser.value(screenshotsOption);
    options.versionsOf = parser.value(versionsOption);
    options.comparisonsOf = parser.values(compareOption);
    options.settingsDialog = parser.isSet(settingsOption);
    options.minimized = IsApplication && parser.isSet(minimizedOption);
    if (parser.isSet(searchOption))
        options.search = parser.value(searchOption);
    return options;
}

// The application's tray icon; none for the stand-in host or a photographing run.
KTrayIcon* makeTray(KAtriumWindow& window, const HostOptions& options)
{
#ifdef VAULTKEEP_APP_ID
    if (!options.screenshotsInto.isEmpty())
        return nullptr;
    KPlatform* platform = KPlatform::instance();
    const QString settingsFile = KUiLanguage::settingsFile(platform->configHomeFolder());
    const QString settingsFolder = QFileInfo(settingsFile).path();
    if (!KFileIO::makeFolder(settingsFolder))
        err() << "vaultkeep: cannot make " << settingsFolder << ": the tray's setting will not be kept"
              << Qt::endl;
    auto* tray = new KTrayIcon(&window, settingsFile,
        KAutostart(platform->configHomeFolder(), QStringLiteral(VAULTKEEP_APP_ID)), &window);
    QObject::connect(tray, &KTrayIcon::quitRequested, &window, &QWidget::close);
    return tray;
#else
    Q_UNUSED(window)
    Q_UNUSED(options)
    return nullptr;
#endif
}

// Shows the plug-in's window, unless the program starts in the tray and a tray shows it; a
// session may start the program before its panel, so a start in the tray waits for one a while.
void showFrame(QWidget* frame, const KTrayIcon* tray, const HostOptions& options)
{
    if (!options.minimized || !tray) {
        frame->show();
        return;
    }
    if (tray->isAvailable())
        return;
    auto* poll = new QTimer(frame);
    poll->setInterval(TrayPollMs);
    QObject::connect(poll, &QTimer::timeout, frame, [frame, tray, poll, waited = 0]() mutable {
        waited += TrayPollMs;
        if (tray->isAvailable() || waited >= TrayWaitMs) {
            if (!tray->isAvailable())
                frame->show();
            poll->deleteLater();
        }
    });
    poll->start();
}

// Loads the plug-in and shows its window, beside the host's when that shows; null, with the
// reason told, when the plug-in cannot be had.
QWidget* loadPlugin(
    KAtriumWindow& window, KPluginLibrary& plugin, const KTrayIcon* tray, const HostOptions& options)
{
    QString error;
    if (!plugin.load(&error)) {
        err() << "atrium: cannot load the plug-in: " << error << Qt::endl;
        return nullptr;
    }
    QWidget* frame = plugin.createFrame();
    place(frame, &window);
    showFrame(frame, tray, options);
    if (options.diagnostics)
        window.show();
    else
        new KEndWithFrame(frame, &window, [&plugin, &window, tray] {
            // The window also hides when the plug-in is released for another reason.
            if (plugin.isLoaded() && !(tray && tray->keepsRunningWhenClosed()))
                window.close();
        });
    // Another start of the program asks for the window.
    QObject::connect(&window, &KAtriumWindow::sigActivateRequested, &window,
        [&window] { window.postToPlugin(AtriumMessage::Activate, 0, QStringLiteral("activate (2029)")); });
    out() << "atrium: the plug-in " << plugin.path() << " is loaded" << Qt::endl;
    return frame;
}

// Takes the host's window property, which one host of the user holds at a time. True when this
// process goes on; otherwise `status` is what it ends with: 0 when it found the application
// running and asked it for its window.
bool claimOrActivate(KAtriumWindow& window, int& status)
{
    const auto activated = [] {
        if (!IsApplication || !KAtriumWindow::activateRunningHost())
            return false;
        out() << "vaultkeep: it runs already; its window was asked to show" << Qt::endl;
        return true;
    };
    status = 0;
    QString error;
    if (activated())
        return false;
    if (window.claimHostProperty(&error))
        return true;
    // Of two starts at once, the one that lost the property finds the other's window.
    if (activated())
        return false;
    err() << "atrium: cannot carry ATRIUM_MAIN_FRAME: " << error << Qt::endl;
    status = 1;
    return false;
}

// Photographs what the options ask for once the plug-in has reported its first cycle, then
// closes the host's window; `status` becomes 1 when anything failed.
void startScreenshotTour(QWidget* frame, KAtriumWindow& window, const HostOptions& options, int& status)
{
    auto* tour = new KScreenshotTour(frame, options.screenshotsInto, qApp);
    const auto showVersions = [&window](const QString& path) -> KScreenshotTour::Opener {
        return [&window, path] {
            window.sendCopyDataToPlugin(AtriumMessage::ShowFileVersions, path.toUtf8() + '\0',
                QStringLiteral("show the versions of %1 (copy-data 27)").arg(path));
            return QString();
        };
    };
    if (!options.versionsOf.isEmpty())
        tour->addDialog("KFileVersionDlg", QStringLiteral("versions.png"), showVersions(options.versionsOf));
    for (const QString& path : options.comparisonsOf) {
        tour->addComparison(
            QStringLiteral("compare-%1.png").arg(QFileInfo(path).suffix().toLower()), showVersions(path));
    }
    if (options.settingsDialog) {
        // The settings, the clean-up they open, and its question before cleaning, which is
        // answered no.
        tour->addDialog(
            "KSettingDlg", QStringLiteral("settings.png"),
            [] { return KScreenshotTour::clickLater("KMainWidget", QStringLiteral("btnSetting")); },
            KScreenshotTour::After::KeepOpen);
        tour->addDialog(
            "KCleanDlg", QStringLiteral("cleanup.png"),
            [] { return KScreenshotTour::clickLater("KSettingDlg", QStringLiteral("btnQuickClean")); },
            KScreenshotTour::After::KeepOpen);
        tour->addDialog("KYMessageBox", QStringLiteral("cleanup-question.png"),
            [] { return KScreenshotTour::clickLater("KCleanDlg", QStringLiteral("btnCleanAll")); });
        tour->closeDialog("KCleanDlg");
        tour->closeDialog("KSettingDlg");
    }
    if (options.search)
        tour->setMisCodeSearch(*options.search);
    QObject::connect(
        tour, &KScreenshotTour::finished, &window, [tour, &window, &status](const QString& failure) {
            for (const QString& written : tour->written())
                out() << "atrium: wrote " << written << Qt::endl;
            if (!failure.isEmpty()) {
                err() << "atrium: " << failure << Qt::endl;
                status = 1;
            }
            window.close();
        });
    // The tour begins once the plug-in has reported its first cycle.
    QObject::connect(&window, &KAtriumWindow::sigTotalBackups, tour, [tour] {
        static bool started = false;
        if (!started) {
            started = true;
            tour->start();
        }
    });
    QTimer::singleShot(FirstCycleTimeoutMs, &window, [&window, &status] {
        if (window.totalBackups() >= 0)
            return;
        err() << "atrium: the plug-in did not report a cycle within " << FirstCycleTimeoutMs / 1000 << " s"
              << Qt::endl;
        status = 1;
        window.close();
    });
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    setUpApplication();
    const HostOptions options = parseArguments(app);

    if (!options.paintSkinsInto.isEmpty()) {
        QString error;
        if (KHostSkins::paint(options.paintSkinsInto, &error))
            return 0;
        err() << "atrium: " << error << Qt::endl;
        return 1;
    }

    // The host's texts and the plug-in's speak the language chosen in the settings, or the desktop's.
    KUiLanguage::applyChosen(KPlatform::instance()->configHomeFolder());
    KAtriumWindow window(options.plugin, KHostSkins::defaultFolder());
    int claimStatus = 0;
    if (!claimOrActivate(window, claimStatus))
        return claimStatus;
    // The property is the user's per message folder; the database is the home folder's. A host
    // started with other message folders on the same home never runs a second engine on it.
    const QString lockPath = KCommon::hostDataFolder() + QStringLiteral("vaultkeep.lock");
    const KFileLock instanceLock(lockPath, KFileLock::DontWait);
    if (!instanceLock.isLocked()) {
        err() << "atrium: another host uses the plug-in's data (" << lockPath << " is locked); this one ends"
              << Qt::endl;
        return 1;
    }
    KTrayIcon* tray = makeTray(window, options);
    KPluginLibrary plugin(options.plugin);
    QWidget* frame = loadPlugin(window, plugin, tray, options);
    if (!frame)
        return 1;
    QObject::connect(&window, &KAtriumWindow::sigClosing, &app, [&plugin, &app] {
        const bool unloaded = plugin.release();
        out() << "atrium: the plug-in saved its database and was "
              << (unloaded ? "unloaded" : "released (the system keeps the library loaded)") << Qt::endl;
        app.quit();
    });

    // The session's end or a service manager's stop quits as the menu does: the database is saved.
    KQuitSignals quitSignals;
    QObject::connect(&quitSignals, &KQuitSignals::quitRequested, &window, &QWidget::close);

    int status = 0;
    if (!options.screenshotsInto.isEmpty())
        startScreenshotTour(frame, window, options, status);
    const int exitCode = app.exec();
    return status ? status : exitCode;
}
