// vaultkeep-demo: fills a throwaway workspace with what a user of the plug-in would have after
// several months: project files of every kind, their backup versions and protection database,
// a few deleted files, the pricing product's own backups, and the recent-file lists that name
// the files. tools/run-host --demo runs it with the home folder inside the workspace; it refuses
// to run on any other home folder.
//
//   vaultkeep-demo <workspace>
//
// It prints the file that run-host then changes every minute.

#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kuilanguage.h"
#include "discovery/kledgerbase.h"
#include "discovery/kproductcatalog.h"
#include "discovery/kproductinfo.h"
#include "kdemoworkspace.h"
#include "platform/kpaths.h"
#include "platform/kplatform.h"
#include "platform/kregistry.h"
#include "service/kfileservicemanager.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <algorithm>

namespace {

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

int fail(const QString& message)
{
    err() << "vaultkeep-demo: " << message << Qt::endl;
    return 1;
}

bool isInside(const QString& path, const QString& folder)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    const QString root = QFileInfo(folder).canonicalFilePath();
    return !canonical.isEmpty() && !root.isEmpty()
        && QString(canonical + QLatin1Char('/')).startsWith(root + QLatin1Char('/'));
}

// The recent-file key of the first catalog product whose code holds `code`.
QString productKey(const KProductCatalog& catalog, const QString& code)
{
    const auto& products = catalog.products();
    for (const KProductInfo* product : products) {
        if (product->code().contains(code) && !product->recentFile().isEmpty())
            return product->recentFile();
    }
    return QString();
}

bool writeList(const QString& keyPath, const QStringList& paths)
{
    KRegistryKey key(keyPath);
    for (int i = 0; i < paths.size(); ++i)
        key.setValue(QStringLiteral("File%1").arg(i + 1), paths.at(i));
    return key.sync();
}

// The lists each program keeps, naming every source of its kind.
bool writeRecentLists(const KDemoWorkspace::Built& built, QString* error)
{
    KProductCatalog catalog;
    if (!catalog.load(KProductCatalog::builtInPath())) {
        *error = QStringLiteral("the product catalog cannot be read");
        return false;
    }
    QStringList pricing, civil, rebar, installation, excel, word, powerPoint, drawings;
    for (const KDemoWorkspace::Source& source : built.sources) {
        const QString suffix = QFileInfo(source.path).suffix().toLower();
        switch (source.kind) {
        case 0:
            pricing << source.path;
            break;
        case 1:
            civil << source.path;
            break;
        case 2:
            rebar << source.path;
            break;
        case 3:
            installation << source.path;
            break;
        default:
            if (suffix.startsWith(QLatin1String("xls")))
                excel << source.path;
            else if (suffix.startsWith(QLatin1String("doc")))
                word << source.path;
            else if (suffix.startsWith(QLatin1String("ppt")))
                powerPoint << source.path;
            else
                drawings << source.path;
        }
    }
    const QString office = QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\11.0\\");
    if (!writeList(productKey(catalog, QStringLiteral("PRA4")), pricing)
        || !writeList(productKey(catalog, QStringLiteral("RBA")), rebar)
        || !writeList(productKey(catalog, QStringLiteral("INA")), installation)
        || !writeList(office + QStringLiteral("Excel\\Recent Files"), excel)
        || !writeList(office + QStringLiteral("Word\\Recent Files"), word)
        || !writeList(office + QStringLiteral("PowerPoint\\Recent File List"), powerPoint)
        || !writeList(
            QStringLiteral(
                "HKEY_CURRENT_USER\\Software\\Autodesk\\AutoCAD\\R15.0\\ACAD-1:804\\Recent File List"),
            drawings)) {
        *error = QStringLiteral("the recent-file lists cannot be written to the registry hive %1")
                     .arg(KPlatform::instance()->registryHiveFile());
        return false;
    }

    // The civil product keeps its list in its system database, in the common documents folder.
    const QString civilKey = productKey(catalog, QStringLiteral("CVA"));
    const QString database = KPlatform::instance()->commonDocumentsFolder() + QLatin1Char('/')
        + KPaths::fromWindowsRelative(civilKey.mid(civilKey.indexOf(QLatin1Char('\\')) + 1));
    QDir().mkpath(QFileInfo(database).absolutePath());
    if (!KLedgerbase::instance()->writeField(
            database, QStringLiteral("Options"), QStringLiteral("RecentOpenedFileList"), civil)) {
        *error
            = QStringLiteral("the civil product's list cannot be written to %1 (is libLedgerbase.so beside "
                             "vaultkeep-demo?)")
                  .arg(database);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.size() != 1)
        return fail(QStringLiteral("usage: vaultkeep-demo <workspace>"));
    const QString workspace = arguments.first();
    if (!isInside(QDir::homePath(), workspace)) {
        return fail(QStringLiteral("the home folder %1 is not inside %2: the demo only fills a throwaway "
                                   "workspace (tools/run-host --demo makes one)")
                        .arg(QDir::homePath(), workspace));
    }
    KFileServiceManager* engine = KFileServiceManager::instance();
    if (QFileInfo::exists(engine->databasePath()))
        return fail(
            QStringLiteral("%1 exists already: the workspace is not new").arg(engine->databasePath()));

    // Months of history stay: the seven-day clean-up is off, as a user may choose in the settings.
    if (!KConfig::instance()->setAutoClean7Days(false))
        return fail(
            QStringLiteral("the settings cannot be written to %1").arg(KConfig::instance()->filePath()));
    if (engine->loadDatabase())
        return fail(
            QStringLiteral("%1 appeared meanwhile: the workspace is not new").arg(engine->databasePath()));

    // The workspace speaks the interface's language: English file names for an English interface.
    const KPlatform* platform = KPlatform::instance();
    KUiLanguage::setCurrent(KUiLanguage::resolve(
        KUiLanguage::storedChoice(KUiLanguage::settingsFile(platform->configHomeFolder()))));
    const QDateTime now = platform->currentDateTime();
    const QString projects = QDir::homePath() + QLatin1Char('/') + KDemoWorkspace::projectsFolderName();
    KDemoWorkspace::Built built;
    QString error;
    if (!KDemoWorkspace::buildHistory(engine, projects, now, &built, &error))
        return fail(error);
    if (!engine->saveDatabase())
        return fail(
            QStringLiteral("the protection database cannot be written to %1").arg(engine->databasePath()));
    // The home page's total counts every backup made, those of the months before included.
    if (!KConfig::instance()->setTotalBackupCount(built.versions))
        return fail(QStringLiteral("the backup counter cannot be written to the registry"));
    if (!KDemoWorkspace::writeSelfBackups(KFileServiceManager::selfBackupFolder(), now, &error))
        return fail(error);
    if (!writeRecentLists(built, &error))
        return fail(error);

    out() << "vaultkeep-demo: " << built.sources.size() << " project files in " << projects << ", "
          << built.versions << " backup versions in " << KCommon::backupDirectory() << Qt::endl;
    out() << "edit: " << built.sources.first().path << Qt::endl;
    // What the screenshots search for, and a document, a spreadsheet and a picture to compare.
    const bool english = KUiLanguage::current() == KUiLanguage::Language::English;
    out() << "search: " << (english ? QStringLiteral("Sunshine") : QStringLiteral("阳光小区")) << Qt::endl;
    for (const QString& suffix :
        { QStringLiteral(".docx"), QStringLiteral(".xlsx"), QStringLiteral(".png") }) {
        const auto sample = std::find_if(built.sources.cbegin(), built.sources.cend(),
            [&suffix](const KDemoWorkspace::Source& source) { return source.path.endsWith(suffix); });
        if (sample != built.sources.cend())
            out() << "compare: " << sample->path << Qt::endl;
    }
    return 0;
}
