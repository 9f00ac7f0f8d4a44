#include "discovery/kdesktoprecentfiles.h"

#include "core/kconfig.h"
#include "core/kfiletypemanager.h"
#include "discovery/kdiscoverylog.h"
#include "discovery/krecentkde.h"
#include "discovery/krecentlibreoffice.h"
#include "platform/kfileio.h"
#include "platform/kpaths.h"
#include "platform/kplatform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cerrno>

namespace {

QString below(const QString& folder, std::initializer_list<const char*> names)
{
    QString path = folder;
    for (const char* name : names)
        path += KPaths::nativeSeparator() + QLatin1String(name);
    return path;
}

bool sameFile(const KFileStatus& a, const KFileStatus& b)
{
    return a.exists == b.exists && a.isDir == b.isDir && a.size == b.size
        && a.modifiedMSecs == b.modifiedMSecs && a.inode == b.inode;
}

// Files that are not on a local disk of the user's: the documents portal, through which
// sandboxed programs see the files they were given (/run/user/<uid>/doc/...), and gvfs mounts
// of remote places (/run/user/<uid>/gvfs/..., formerly ~/.gvfs/...).
bool isOnDesktopMount(const QString& path, const QString& homeFolder)
{
    const QChar separator = KPaths::nativeSeparator();
    const QString runUser
        = separator + QStringLiteral("run") + separator + QStringLiteral("user") + separator;
    if (path.startsWith(runUser)) {
        const int end = path.indexOf(separator, runUser.size());
        const QStringRef user = path.midRef(runUser.size(), end - runUser.size());
        bool numeric = false;
        user.toUInt(&numeric);
        const QStringRef rest = end < 0 ? QStringRef() : path.midRef(end + 1);
        if (numeric
            && (rest.startsWith(QStringLiteral("doc") + separator)
                || rest.startsWith(QStringLiteral("gvfs") + separator)))
            return true;
    }
    return !homeFolder.isEmpty()
        && path.startsWith(homeFolder + separator + QStringLiteral(".gvfs") + separator);
}

// Opens a list, or a KDE entry, only when it is a regular file of at most `maxBytes`. Anything
// else is left out with a line that says why, and `leftOut` set; it stays false for a file that
// could not be opened (gone, or not readable).
std::unique_ptr<QFile> openList(const QString& path, qint64 maxBytes, bool* leftOut)
{
    std::unique_ptr<QFile> file = KFileIO::openRegularFile(path, maxBytes);
    const int error = errno;
    *leftOut = !file && (error == EFBIG || error == EINVAL);
    if (!file && error == EFBIG)
        qCWarning(lcDiscovery).noquote() << path << "is larger than" << maxBytes << "bytes; it is not read";
    else if (!file && error == EINVAL)
        qCWarning(lcDiscovery).noquote() << path << "is not a regular file; it is not read";
    return file;
}

QRegularExpression folderPatternExpression(QString pattern, const QString& homeFolder)
{
    const QChar separator = KPaths::nativeSeparator();
    pattern = pattern.trimmed();
    while (pattern.size() > 1 && pattern.endsWith(separator))
        pattern.chop(1);
    if (pattern.isEmpty())
        return QRegularExpression();
    if (pattern == QLatin1String("~"))
        pattern = homeFolder;
    else if (pattern.startsWith(QLatin1Char('~') + separator))
        pattern = homeFolder + pattern.mid(1);
    const bool anywhere = !pattern.startsWith(separator);
    const QString anyInName
        = QStringLiteral("[^") + QRegularExpression::escape(separator) + QStringLiteral("]");
    QString expression = anywhere
        ? QStringLiteral("(?:^|") + QRegularExpression::escape(separator) + QLatin1Char(')')
        : QStringLiteral("^");
    for (const QChar c : qAsConst(pattern)) {
        if (c == QLatin1Char('*'))
            expression += anyInName + QLatin1Char('*');
        else if (c == QLatin1Char('?'))
            expression += anyInName;
        else
            expression += QRegularExpression::escape(c);
    }
    if (pattern != separator) // the root folder ends with its separator already
        expression += QRegularExpression::escape(separator);
    return QRegularExpression(expression, QRegularExpression::DontCaptureOption);
}

} // namespace

KDesktopRecentSettings KDesktopRecentSettings::fromConfig()
{
    const KConfig* config = KConfig::instance();
    KDesktopRecentSettings settings;
    settings.xbel = config->readRecentlyUsedXbel();
    settings.libreOffice = config->readLibreOfficeHistory();
    settings.kde = config->readKdeRecentDocuments();
    settings.excludedFolders = config->recentExcludedFolders();
    return settings;
}

KDesktopRecentFiles::KDesktopRecentFiles(const KFileTypeManager* kinds)
    : m_kinds(kinds ? kinds : KFileTypeManager::instance())
{ }

bool KDesktopRecentFiles::matchesFolderPattern(
    const QString& path, const QString& pattern, const QString& homeFolder)
{
    const QRegularExpression expression = folderPatternExpression(pattern, homeFolder);
    return !expression.pattern().isEmpty() && expression.match(path).hasMatch();
}

QStringList KDesktopRecentFiles::documents(const KDesktopRecentSettings& settings)
{
    const KPlatform* platform = KPlatform::instance();
    const QString dataHome = platform->dataHomeFolder();
    m_homeFolder = platform->homeFolder();
    updateFilter(settings.excludedFolders, m_homeFolder);

    QStringList documents;
    QSet<QString> listed;
    if (settings.xbel) {
        refresh(&m_dataXbel, below(dataHome, { "recently-used.xbel" }), Format::Xbel);
        refresh(&m_homeXbel, below(m_homeFolder, { ".recently-used.xbel" }), Format::Xbel);
        refreshApps(below(m_homeFolder, { ".var", "app" }));
        for (Source* source : { &m_dataXbel, &m_homeXbel })
            addDocuments(source, &documents, &listed);
        for (Source& source : m_appXbels)
            addDocuments(&source, &documents, &listed);
    }
    if (settings.libreOffice) {
        refresh(&m_libreOffice,
            below(platform->configHomeFolder(), { "libreoffice", "4", "user", "registrymodifications.xcu" }),
            Format::LibreOffice);
        addDocuments(&m_libreOffice, &documents, &listed);
    }
    if (settings.kde) {
        refresh(&m_kde, below(dataHome, { "RecentDocuments" }), Format::KdeFolder);
        addDocuments(&m_kde, &documents, &listed);
    }
    return documents;
}

bool KDesktopRecentFiles::isSettled(const KFileStatus& before, const KFileStatus& after) const
{
    return sameFile(before, after)
        && before.modifiedMSecs < KPlatform::instance()->currentMSecsSinceEpoch() - SettleMSecs;
}

void KDesktopRecentFiles::refresh(Source* source, const QString& path, Format format)
{
    if (source->path != path) {
        *source = Source();
        source->path = path;
        source->format = format;
    }
    const KFileStatus before = KFileOps::status(path);
    if (source->settled && sameFile(before, source->seen))
        return;
    source->filterKey.clear();
    if (!(format == Format::KdeFolder ? before.isDir : before.isFile)) {
        if (before.exists && !before.isDir && !before.isFile)
            qCWarning(lcDiscovery).noquote() << path << "is not a regular file; it is not read";
        source->entries.clear();
        source->seen = before;
        source->settled = true;
        return;
    }
    QList<KRecentEntry> entries;
    const Outcome read = this->read(*source, &entries);
    const KFileStatus after = KFileOps::status(path);
    if (read == Outcome::Failed) {
        // Gone or unreadable while being read: the entries read before stand until the next try.
        source->settled = false;
        return;
    }
    source->entries = entries;
    source->seen = before;
    source->settled = isSettled(before, after);
}

KDesktopRecentFiles::Outcome KDesktopRecentFiles::read(const Source& source, QList<KRecentEntry>* entries)
{
    ++m_parseCount;
    if (source.format == Format::KdeFolder) {
        const QStringList names
            = QDir(source.path).entryList({ QStringLiteral("*.desktop") }, QDir::Files | QDir::Hidden);
        for (const QString& name : names) {
            const QString path = source.path + KPaths::nativeSeparator() + name;
            // One removed meanwhile changed the folder, which is read again.
            bool leftOut = false;
            const std::unique_ptr<QFile> file = openList(path, KRecentKde::MaxEntryBytes, &leftOut);
            if (!file)
                continue;
            KRecentEntry entry;
            entry.path = KRecentKde::parse(file.get(), m_homeFolder);
            entry.usedMSecs = KFileOps::status(path).modifiedMSecs;
            if (!entry.path.isEmpty() && !isOnDesktopMount(entry.path, m_homeFolder))
                entries->append(entry);
        }
    } else {
        bool leftOut = false;
        const std::unique_ptr<QFile> file = openList(source.path, MaxListBytes, &leftOut);
        if (!file)
            return leftOut ? Outcome::LeftOut : Outcome::Failed;
        QList<KRecentEntry> parsed;
        KReadResult result = KReadResult::Failed;
        if (source.format == Format::Xbel) {
            result = KRecentXbel::parse(file.get(), MaxListBytes, &parsed);
        } else {
            QStringList files;
            result = KRecentLibreOffice::parse(file.get(), MaxListBytes, &files);
            for (const QString& path : qAsConst(files))
                parsed.append({ path, -1 });
        }
        if (result == KReadResult::TooLong) {
            qCWarning(lcDiscovery).noquote()
                << source.path << "grew beyond" << MaxListBytes << "bytes while it was read; it is not read";
            return Outcome::LeftOut;
        }
        if (result == KReadResult::Failed)
            return Outcome::Failed;
        for (const KRecentEntry& entry : qAsConst(parsed)) {
            if (!isOnDesktopMount(entry.path, m_homeFolder))
                entries->append(entry);
        }
    }
    // Most recently used first; entries without a time keep their order, after the others.
    std::stable_sort(entries->begin(), entries->end(),
        [](const KRecentEntry& a, const KRecentEntry& b) { return a.usedMSecs > b.usedMSecs; });
    return Outcome::Read;
}

void KDesktopRecentFiles::refreshApps(const QString& folder)
{
    const KFileStatus before = KFileOps::status(folder);
    if (m_apps.path != folder || !m_apps.settled || !sameFile(before, m_apps.seen)) {
        const QStringList names = before.isDir
            ? QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name)
            : QStringList();
        QMap<QString, Source> apps;
        for (const QString& name : names)
            apps.insert(name, m_appXbels.value(name));
        m_appXbels = apps;
        m_apps.path = folder;
        m_apps.seen = before;
        m_apps.settled = isSettled(before, KFileOps::status(folder));
    }
    for (auto it = m_appXbels.begin(); it != m_appXbels.end(); ++it)
        refresh(&it.value(),
            below(folder + KPaths::nativeSeparator() + it.key(), { "data", "recently-used.xbel" }),
            Format::Xbel);
}

void KDesktopRecentFiles::updateFilter(const QStringList& patterns, const QString& homeFolder)
{
    QStringList kinds;
    for (int kind = 0; kind < KFileTypeManager::KindCount; ++kind)
        kinds << QString::number(m_kinds->fileExts(kind).size());
    // Kinds only grow, so their sizes tell whether the table changed.
    const QString key = homeFolder + QLatin1Char('\n') + kinds.join(QLatin1Char(',')) + QLatin1Char('\n')
        + patterns.join(QLatin1Char('\n'));
    if (key == m_filterKey)
        return;
    m_filterKey = key;
    m_excluded.clear();
    for (const QString& pattern : patterns) {
        const QRegularExpression expression = folderPatternExpression(pattern, homeFolder);
        if (!expression.pattern().isEmpty())
            m_excluded.append(expression);
    }
}

bool KDesktopRecentFiles::isExcluded(const QString& path) const
{
    for (const QRegularExpression& expression : m_excluded) {
        if (expression.match(path).hasMatch())
            return true;
    }
    return false;
}

void KDesktopRecentFiles::addDocuments(Source* source, QStringList* documents, QSet<QString>* listed)
{
    if (source->filterKey != m_filterKey) {
        source->documents.clear();
        for (const KRecentEntry& entry : qAsConst(source->entries)) {
            if (isExcluded(entry.path)
                || m_kinds->fileTypeOfSuffix(QFileInfo(entry.path).suffix()) == int(FileTypeKind::Unknown))
                continue;
            // A file that is gone is still listed: its record moves to the deleted files.
            const KFileStatus status = KFileOps::status(entry.path);
            if (status.exists && !status.isFile) {
                if (!status.isDir)
                    qCWarning(lcDiscovery).noquote() << entry.path << "is not a regular file; it is left out";
                continue;
            }
            source->documents.append(KPaths::foldCase(entry.path));
        }
        source->filterKey = m_filterKey;
    }
    for (const QString& document : qAsConst(source->documents)) {
        if (!listed->contains(document)) {
            listed->insert(document);
            documents->append(document);
        }
    }
}
