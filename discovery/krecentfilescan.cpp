#include "discovery/krecentfilescan.h"

#include "core/kcommon.h"
#include "discovery/kproductdatabasereader.h"
#include "platform/kfileops.h"
#include "platform/kpaths.h"
#include "platform/kplatform.h"
#include "platform/kregistry.h"

#include <QFileInfo>

namespace {

const QString OfficeRoot = QStringLiteral("HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\%1.0\\%2\\");
const QStringList OfficePrograms
    = { QStringLiteral("Word"), QStringLiteral("Excel"), QStringLiteral("PowerPoint") };

// A list that refuses texts it holds already, without searching it.
class UniqueList
{
public:
    explicit UniqueList(QStringList* list)
        : m_list(list)
        , m_seen(list->cbegin(), list->cend())
    { }
    bool contains(const QString& text) const { return m_seen.contains(text); }
    void append(const QString& text)
    {
        if (!contains(text)) {
            m_list->append(text);
            m_seen.insert(text);
        }
    }

private:
    QStringList* m_list;
    QSet<QString> m_seen;
};

enum class OfficeEntry
{
    PlainPath,
    MruEntry,
    ReadingLocation
};

// Office programs write the same document in several spellings; the key is the folded folder,
// a separator and the file name.
void addOfficeDocument(QString text, OfficeEntry kind, UniqueList* list)
{
    if (kind == OfficeEntry::MruEntry) {
        const int star = text.indexOf(QLatin1Char('*'));
        if (star >= 0)
            text = text.mid(star + 1); // flags such as "[F00000000][T01D...]" come before the star
        text = KPaths::upperCaseDriveLetter(KPaths::foldCase(text));
    } else if (kind == OfficeEntry::ReadingLocation) {
        text = KPaths::upperCaseDriveLetter(text);
    }
    if (text.isEmpty())
        return;
    const QFileInfo file(text);
    const QString key = KPaths::foldCase(
        KCommon::joinPath(KPaths::toNativeSeparators(file.absolutePath()), file.fileName()));
    if (list->contains(key) || (kind != OfficeEntry::PlainPath && list->contains(text)))
        return;
    list->append(key);
}

void addValuesOf(const QString& keyPath, OfficeEntry kind, UniqueList* list)
{
    const auto values = KRegistryKey(keyPath).values();
    for (const auto& value : values)
        addOfficeDocument(value.second, kind, list);
}

QStringList subKeysOf(const QString& keyPath)
{
    return KRegistryKey(keyPath).subKeyNames();
}

} // namespace

void KRecentFileScan::readOfficeDocuments(QStringList* list) const
{
    UniqueList documents(list);
    for (int version = 8; version <= 20; ++version) {
        const auto key = [version](const QString& program, const QString& rest) -> QString {
            return OfficeRoot.arg(version).arg(program) + rest;
        };
        if (version <= 11) {
            addValuesOf(key(QStringLiteral("Word"), QStringLiteral("Recent Files")), OfficeEntry::PlainPath,
                &documents);
            addValuesOf(key(QStringLiteral("Excel"), QStringLiteral("Recent Files")), OfficeEntry::PlainPath,
                &documents);
            addValuesOf(key(QStringLiteral("PowerPoint"), QStringLiteral("Recent File List")),
                OfficeEntry::PlainPath, &documents);
        }
        if (version >= 15) {
            for (const QString& program : OfficePrograms) {
                const QString userMru = key(program, QStringLiteral("User MRU"));
                const QStringList identities = subKeysOf(userMru);
                for (const QString& identity : identities)
                    addValuesOf(userMru + QLatin1Char('\\') + identity + QStringLiteral("\\File MRU"),
                        OfficeEntry::MruEntry, &documents);
            }
            for (const QString& program : OfficePrograms) {
                const QString locations = key(program, QStringLiteral("Reading Locations"));
                const QStringList documentKeys = subKeysOf(locations);
                for (const QString& document : documentKeys) {
                    const QString path = KRegistryKey(locations + QLatin1Char('\\') + document)
                                             .value(QStringLiteral("File Path"))
                                             .toString();
                    if (!path.isEmpty())
                        addOfficeDocument(path, OfficeEntry::ReadingLocation, &documents);
                }
            }
        }
        for (const QString& program : OfficePrograms)
            addValuesOf(key(program, QStringLiteral("File MRU")), OfficeEntry::MruEntry, &documents);
    }

    // The office suite keeps one subkey per document, with its path.
    for (const char* program : { "wps", "et" }) {
        const QString files
            = QStringLiteral("HKEY_CURRENT_USER\\Software\\Kingsoft\\Office\\6.0\\%1\\RecentFiles\\files")
                  .arg(QLatin1String(program));
        const QStringList documentKeys = subKeysOf(files);
        for (const QString& document : documentKeys) {
            const QString path
                = KRegistryKey(files + QLatin1Char('\\') + document).value(QStringLiteral("path")).toString();
            if (!path.isEmpty())
                documents.append(KPaths::foldCase(path));
        }
    }
}

void KRecentFileScan::readCadDrawings(QStringList* list) const
{
    static const QList<QPair<const char*, const char*>> releases = {
        { "15.0", "1" },
        { "16.0", "201" },
        { "16.1", "301" },
        { "16.2", "4001" },
        { "17.0", "5001" },
        { "17.1", "6001" },
        { "17.2", "7001" },
        { "18.0", "5001" },
        { "18.2", "7001" },
        { "19.0", "B001" },
    };
    UniqueList drawings(list);
    for (const auto& release : releases) {
        for (const char* language : { "804", "409" }) {
            const QString keyPath = QStringLiteral(
                "HKEY_CURRENT_USER\\Software\\Autodesk\\AutoCAD\\R%1\\ACAD-%2:%3\\Recent File List")
                                        .arg(QLatin1String(release.first), QLatin1String(release.second),
                                            QLatin1String(language));
            const auto values = KRegistryKey(keyPath).values();
            for (const auto& value : values) {
                QString path = value.second;
                const int star = path.indexOf(QLatin1Char('*'));
                if (star >= 0)
                    path = path.mid(star + 1);
                if (!path.isEmpty())
                    drawings.append(KPaths::foldCase(path));
            }
        }
    }
}

void KRecentFileScan::readProductList(const QString& keyPath, QStringList* list)
{
    const QStringList values = KRegistryKey(keyPath).valueTexts();
    // The list of the last read while the values are the same (a comparison that ends at once
    // then), so that the cycle can tell at a glance that it was handed the files it had.
    static std::mutex mutex;
    static QHash<QString, QPair<QStringList, QStringList>> lastRead;
    const std::lock_guard<std::mutex> locker(mutex);
    QPair<QStringList, QStringList>& last = lastRead[keyPath];
    if (last.first != values) {
        last.first = values;
        last.second.clear();
        last.second.reserve(values.size());
        for (const QString& value : values) {
            if (!value.isEmpty())
                last.second.append(KPaths::foldCase(value));
        }
    }
    if (list->isEmpty())
        *list = last.second;
    else
        list->append(last.second);
}

void KRecentFileScan::readCivilModels(const QString& recentFile, QStringList* list)
{
    const int separator = recentFile.indexOf(QLatin1Char('\\'));
    const QString relative = KPaths::fromWindowsRelative(recentFile.mid(separator + 1));
    const QString database = KPlatform::instance()->commonDocumentsFolder() + QLatin1Char('/') + relative;
    const KFileStatus status = KFileOps::status(database);
    if (!status.isFile)
        return;

    QString text;
    {
        const std::lock_guard<std::mutex> locker(m_civilMutex);
        const auto known = m_civilTimes.constFind(database);
        if (known != m_civilTimes.cend() && known.value() == status.modifiedMSecs) {
            text = m_civilTexts.value(database);
        } else {
            // A failed read is cached too: nothing comes from this file until it changes again.
            text = KProductDatabaseReader::recentModelList(database);
            m_civilTimes.insert(database, status.modifiedMSecs);
            m_civilTexts.insert(database, text);
        }
    }
    const QStringList entries = text.split(QStringLiteral("\r\n"));
    for (const QString& entry : entries) {
        if (!entry.isEmpty() && !entry.endsWith(QLatin1String(".tmp")))
            list->append(KPaths::foldCase(entry));
    }
}
