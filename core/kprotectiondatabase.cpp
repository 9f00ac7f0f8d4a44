#include "core/kprotectiondatabase.h"

#include "core/kcommon.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "discovery/kfiletypemanager.h"
#include "platform/kfileops.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

namespace {

// The writer puts FileIDs into the file unescaped; one carrying an XML special character or a
// character XML cannot hold would make the next save unreadable.
bool canWriteBack(const QString& fileId)
{
    for (const QChar c : fileId) {
        if (c == QLatin1Char('&') || c == QLatin1Char('<') || c == QLatin1Char('>') || c == QLatin1Char('"'))
            return false;
    }
    return KFileObjectMgr::isStorablePath(fileId);
}

} // namespace

KProtectionDatabase::KProtectionDatabase(const QString& filePath)
    : m_filePath(filePath)
{ }

QString KProtectionDatabase::path() const
{
    if (!m_filePath.isEmpty())
        return m_filePath;
    const QString folder = KCommon::joinPath(
        KCommon::joinPath(KCommon::hostDataFolder(), QStringLiteral("App")), QStringLiteral("KVaultkeep"));
    if (!QFileInfo::exists(folder))
        QDir().mkpath(folder);
    return KCommon::joinPath(folder, QStringLiteral("VaultkeepDB.xml"));
}

QString KProtectionDatabase::text(const Collections& collections)
{
    // Each kind's elements trimmed and closed by a line end, then the whole body trimmed: an
    // empty kind leaves an empty line between its neighbours, and no records leave one empty
    // line between the root tags.
    QString body;
    for (const KFileObjectMgr* collection : collections)
        body.append(collection ? collection->toXml().trimmed() : QString()).append(QLatin1Char('\n'));
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<TarselFileProtect>\n")
        + body.trimmed() + QStringLiteral("\n</TarselFileProtect>\n");
}

bool KProtectionDatabase::save(const Collections& collections) const
{
    const QString content = text(collections);
    // Written beside the old file and renamed over it: a crash, a kill or a full disk during
    // the write leaves the previous database whole.
    QSaveFile file(path());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QTextStream out(&file);
    out.setCodec("UTF-8");
    out << content;
    out.flush();
    return out.status() == QTextStream::Ok && file.commit();
}

bool KProtectionDatabase::load(const Collections& collections) const
{
    const QString filePath = path();
    if (!QFile::exists(filePath))
        return false;
    QDomDocument document;
    QFile file(filePath);
    // A document that fails to parse may hold what came before the error: use none of it.
    if (!file.open(QIODevice::ReadOnly) || !document.setContent(&file))
        document = QDomDocument();
    file.close();

    const QString backupFolder = KCommon::backupDirectory();
    const QDomElement root = document.documentElement();
    for (QDomElement element = root.firstChildElement(); !element.isNull();
         element = element.nextSiblingElement()) {
        const QString fileName = element.attribute(QStringLiteral("FileName"));
        if (fileName.isEmpty())
            continue;
        bool isNumber = false;
        int type = element.attribute(QStringLiteral("Type")).toInt(&isNumber);
        if (!isNumber || type == -1) {
            type = KFileTypeManager::instance()->fileTypeOfSuffix(QFileInfo(fileName).suffix());
            if (type == int(FileTypeKind::Unknown))
                continue;
        }
        KFileObjectMgr* collection
            = type >= 0 && type < int(collections.size()) ? collections.at(type) : nullptr;
        if (!collection)
            continue;

        auto* record = new KFileObject(fileName, type);
        for (QDomElement version = element.firstChildElement(); !version.isNull();
             version = version.nextSiblingElement()) {
            const QString fileId = version.attribute(QStringLiteral("FileID"));
            // A FileID that could name a file outside the backup folder is dropped like a
            // missing copy, so no later operation can reach such a file.
            if (!KFileCopyedObject::isSafeFileId(fileId) || !canWriteBack(fileId))
                continue;
            // A folder of that name is no copy.
            if (KFileOps::status(backupFolder + fileId).isFile)
                record->addVersion(fileId);
        }
        // A path already in memory keeps its record there; a refused record is deleted here.
        if (record->versionCount() == 0 || !collection->addFile(record))
            delete record;
    }
    return true;
}
