#include "core/kprotectiondatabase.h"

#include "core/kcommon.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "core/kxmlguard.h"
#include "discovery/kfiletypemanager.h"
#include "platform/kfileops.h"
#include "platform/kplatform.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

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

QByteArray KProtectionDatabase::content(const Collections& collections)
{
    QByteArray text;
    writeContent(collections, &text);
    return text;
}

void KProtectionDatabase::writeContent(const Collections& collections, QByteArray* text)
{
    // Each kind's elements trimmed and closed by a line end, then the whole body trimmed: an
    // empty kind leaves an empty line between its neighbours, and no records leave one empty
    // line between the root tags. Elements begin with "<" and end with ">", so trimming only
    // ever removes the line ends between them.
    text->append("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<TarselFileProtect>\n");
    const int body = text->size();
    for (const KFileObjectMgr* collection : collections) {
        const int start = text->size();
        if (collection)
            collection->appendXml(text);
        while (text->size() > start && text->endsWith('\n'))
            text->chop(1);
        text->append('\n');
    }
    int leading = 0;
    while (body + leading < text->size() && text->at(body + leading) == '\n')
        ++leading;
    text->remove(body, leading);
    while (text->size() > body && text->endsWith('\n'))
        text->chop(1);
    text->append("\n</TarselFileProtect>\n");
}

QString KProtectionDatabase::text(const Collections& collections)
{
    return QString::fromUtf8(content(collections));
}

bool KProtectionDatabase::save(const Collections& collections) const
{
    const std::lock_guard<std::mutex> locker(m_saveMutex);
    m_buffer.resize(0); // keeps the capacity reserved below
    writeContent(collections, &m_buffer);
    m_buffer.reserve(m_buffer.size());
    // Every copy the text lists is on disk before the text is: copies are flushed after the
    // text was built from the records, so none made meanwhile can be listed and not flushed.
    if (!KFileCopyedObject::flushNewCopies())
        return false;
    // Written beside the old file, flushed and renamed over it: a crash, a kill or a full disk
    // during the write leaves the previous database whole.
    return KFileOps::replaceFile(path(), m_buffer);
}

void KProtectionDatabase::removeAbandonedReplacements(const QString& filePath) const
{
    const QFileInfo file(filePath);
    const QDir folder = file.absoluteDir();
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (KFileOps::isReplacementFileName(name, file.fileName()))
            QFile::remove(folder.filePath(name));
    }
}

bool KProtectionDatabase::setAside(const QString& filePath) const
{
    const QString stamped = filePath + QStringLiteral(".unreadable-")
        + KPlatform::instance()->currentDateTime().toString(QStringLiteral("yyyyMMddhhmmss"));
    QString target = stamped;
    for (int n = 1; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = stamped + QLatin1Char('-') + QString::number(n);
    return QFile::rename(filePath, target);
}

namespace {

struct LoadedFile
{
    QString fileName;
    QString type;
    QStringList fileIds;
};

// Reads every File element under the root. False when the file does not parse: a document
// with an error is used not even in part.
bool readElements(const QByteArray& content, QVector<LoadedFile>* files)
{
    QXmlStreamReader xml(content);
    if (!xml.readNextStartElement())
        return !xml.hasError();
    // Children of the root, whatever their tag; their own children are the versions.
    while (xml.readNextStartElement()) {
        LoadedFile file;
        const QXmlStreamAttributes attributes = xml.attributes();
        file.fileName = attributes.value(QLatin1String("FileName")).toString();
        file.type = attributes.value(QLatin1String("Type")).toString();
        while (xml.readNextStartElement()) {
            file.fileIds << xml.attributes().value(QLatin1String("FileID")).toString();
            xml.skipCurrentElement();
        }
        files->append(file);
    }
    // Reading on to the end proves the rest of the document well-formed too.
    while (!xml.atEnd())
        xml.readNext();
    return !xml.hasError();
}

// The same with the document model, which accepts a little more than the streaming reader (a
// character reference to a control character, say, in a hand-edited file). It needs several
// times the memory, so it only reads what the streaming reader refused.
bool readElementsLeniently(const QByteArray& content, QVector<LoadedFile>* files)
{
    QDomDocument document;
    if (!document.setContent(content))
        return false;
    const QDomElement root = document.documentElement();
    for (QDomElement element = root.firstChildElement(); !element.isNull();
         element = element.nextSiblingElement()) {
        LoadedFile file;
        file.fileName = element.attribute(QStringLiteral("FileName"));
        file.type = element.attribute(QStringLiteral("Type"));
        for (QDomElement version = element.firstChildElement(); !version.isNull();
             version = version.nextSiblingElement()) {
            file.fileIds << version.attribute(QStringLiteral("FileID"));
        }
        files->append(file);
    }
    return true;
}

} // namespace

KProtectionDatabase::LoadResult KProtectionDatabase::load(const Collections& collections) const
{
    const QString filePath = path();
    {
        // Not while a save of this database writes its replacement.
        const std::lock_guard<std::mutex> locker(m_saveMutex);
        removeAbandonedReplacements(filePath);
    }
    const KFileStatus status = KFileOps::status(filePath);
    if (status.isGone())
        return LoadResult::NoFile;
    QFile file(filePath);
    QByteArray content;
    bool readable = status.isFile && file.open(QIODevice::ReadOnly);
    if (readable) {
        content = file.readAll();
        readable = file.error() == QFileDevice::NoError && content.size() == file.size();
        file.close();
    }
    QVector<LoadedFile> files;
    // A document that fails to parse may hold what came before the error: use none of it. The
    // document model is only let near a text of the format's shape.
    bool parsed = readable && KXmlGuard::isPlain(content, MaxDepth);
    if (parsed && !readElements(content, &files)) {
        files.clear();
        parsed = readElementsLeniently(content, &files);
    }
    if (!parsed) {
        const std::lock_guard<std::mutex> locker(m_saveMutex);
        return setAside(filePath) ? LoadResult::SetAside : LoadResult::Unreadable;
    }

    const QString backupFolder = KCommon::backupDirectory();
    for (const LoadedFile& loaded : qAsConst(files)) {
        if (loaded.fileName.isEmpty())
            continue;
        bool isNumber = false;
        int type = loaded.type.toInt(&isNumber);
        if (!isNumber || type == -1) {
            type = KFileTypeManager::instance()->fileTypeOfSuffix(QFileInfo(loaded.fileName).suffix());
            if (type == int(FileTypeKind::Unknown))
                continue;
        }
        KFileObjectMgr* collection
            = type >= 0 && type < int(collections.size()) ? collections.at(size_t(type)) : nullptr;
        if (!collection)
            continue;
        auto* record = new KFileObject(loaded.fileName, type);
        QStringList present;
        for (const QString& fileId : loaded.fileIds) {
            // A FileID that could name a file outside the backup folder is dropped like a
            // missing copy, so no later operation can reach such a file.
            if (!KFileCopyedObject::isSafeFileId(fileId) || !canWriteBack(fileId))
                continue;
            // A folder of that name is no copy.
            if (KFileOps::status(backupFolder + fileId).isFile)
                present.append(fileId);
        }
        record->addVersions(present);
        // A path already in memory keeps its record there; a refused record is deleted here.
        if (record->versionCount() == 0 || !collection->addFile(record))
            delete record;
    }
    return LoadResult::Loaded;
}
