#include "knativeworkspace.h"

#include "core/kcommon.h"
#include "core/kconfig.h"
#include "ktestenvironment.h"
#include "platform/kregistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QXmlStreamReader>

namespace {

// Where the first pricing product of the catalog keeps its recent files.
const QString PricingList = QStringLiteral("HKEY_CURRENT_USER\\Software\\Tarsel\\PRA4\\4.0\\RecentFiles");

const char* const FollowTheHome[] = { "XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME",
    "ATRIUM_HIVE", "ATRIUM_COMMON_DOCUMENTS" };

} // namespace

KNativeWorkspace::KNativeWorkspace()
{
    if (!m_dir.isValid() || !QDir().mkpath(home()))
        return;
    qputenv("HOME", QFile::encodeName(home()));
    for (const char* variable : FollowTheHome)
        qunsetenv(variable);
    qputenv("ATRIUM_MESSAGES", QFile::encodeName(path(QStringLiteral("messages"))));
    KConfig settings(settingsFile());
    if (!settings.setBackUpPath(home() + QLatin1Char('/')))
        qFatal("cannot write the test's settings");
    m_valid = QFileInfo::exists(settingsFile());
}

QString KNativeWorkspace::path(const QString& relative) const
{
    return relative.isEmpty() ? m_dir.path() : QDir(m_dir.path()).filePath(relative);
}

QString KNativeWorkspace::backupFolder() const
{
    return home() + QLatin1Char('/') + KCommon::backupFolderName();
}

QProcessEnvironment KNativeWorkspace::environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* variable : FollowTheHome)
        environment.remove(QString::fromLatin1(variable));
    environment.insert(QStringLiteral("HOME"), home());
    environment.insert(QStringLiteral("ATRIUM_MESSAGES"), path(QStringLiteral("messages")));
    return environment;
}

QString KNativeWorkspace::writeFile(
    const QString& relative, const QByteArray& content, const QDateTime& modified)
{
    return KTestEnvironment::writeFileAt(QDir(home()).filePath(relative), content, modified);
}

void KNativeWorkspace::setPricingList(const QStringList& paths) const
{
    KRegistryKey list(PricingList);
    list.removeKey();
    for (int i = 0; i < paths.size(); ++i)
        list.setValue(QStringLiteral("File%1").arg(i + 1), paths.at(i));
    if (!list.sync())
        qFatal("the pricing product's list cannot be written to the registry hive");
}

void KNativeWorkspace::addToPricingList(const QString& path) const
{
    KRegistryKey list(PricingList);
    list.setValue(QStringLiteral("File%1").arg(list.valueNames().size() + 1), path);
    if (!list.sync())
        qFatal("the pricing product's list cannot be written to the registry hive");
}

QMap<QString, QStringList> KNativeWorkspace::databaseVersions(const QString& file)
{
    QMap<QString, QStringList> versions;
    QFile database(file);
    if (!database.open(QIODevice::ReadOnly))
        return versions;
    QXmlStreamReader xml(&database);
    QString current;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("TarselFileProtect"))
            continue;
        if (xml.name() == QLatin1String("File")) {
            current = xml.attributes().value(QLatin1String("FileName")).toString();
            versions[current];
            while (xml.readNextStartElement()) {
                if (xml.name() == QLatin1String("Version"))
                    versions[current] << xml.attributes().value(QLatin1String("FileID")).toString();
                xml.skipCurrentElement();
            }
        } else {
            xml.skipCurrentElement();
        }
    }
    return versions;
}

QString KNativeWorkspace::backupsDisagreeWithDatabase() const
{
    QSet<QString> listed;
    const QMap<QString, QStringList> versions = databaseVersions(databaseFile());
    for (const QStringList& ids : versions)
        listed.unite(QSet<QString>(ids.cbegin(), ids.cend()));
    const QStringList files = QDir(backupFolder()).entryList(QDir::Files);
    const QSet<QString> copies(files.cbegin(), files.cend());
    QStringList problems;
    for (const QString& copy : copies - listed)
        problems << QStringLiteral("unlisted copy ") + copy;
    for (const QString& id : listed - copies)
        problems << QStringLiteral("version without a copy ") + id;
    problems.sort();
    return problems.join(QLatin1Char('\n'));
}
