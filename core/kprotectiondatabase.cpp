#include "core/kprotectiondatabase.h"

#include "core/kcommon.h"
#include "core/kcopysums.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "core/kfiletypemanager.h"
#include "core/klogging.h"
#include "core/kxmlguard.h"
#include "platform/kfileio.h"
#include "platform/kfileops.h"
#include "platform/kplatform.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <expat.h>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// How much of a file's text is gathered before it is written.
constexpr int ChunkSize = 256 * 1024;

// Writes the chunks of a text to `fd` on a thread of its own while the next ones are made, each
// started on its way to the disk at once: making the text, copying it into the kernel and the
// disk's writing overlap, and the flush at the end waits for little more than the last chunk.
// The text's buffer and one more take turns, so its memory stays at two chunks. Where no thread
// can be started, the chunks are written as they come.
class KChunkWriter
{
public:
    explicit KChunkWriter(int fd)
        : m_fd(fd)
    {
        m_spare.front().reserve(ChunkSize + ChunkSize / 4);
        try {
            m_thread = std::thread([this] { writeChunks(); });
        } catch (const std::system_error&) {
            m_spare.clear();
        }
    }
    ~KChunkWriter() { static_cast<void>(finish()); }

    // Takes the chunk in `text` to write and leaves an empty buffer there. After a failed
    // write it only empties `text`.
    void put(QByteArray* text)
    {
        if (!m_thread.joinable()) {
            m_failed = m_failed || !KFileIO::writeAll(m_fd, text->constData(), text->size());
            text->resize(0);
            return;
        }
        std::unique_lock<std::mutex> locker(m_mutex);
        m_changed.wait(locker, [this] { return !m_spare.empty() || m_failed; });
        if (m_failed) {
            text->resize(0);
            return;
        }
        m_full.push_back(std::move(*text));
        *text = std::move(m_spare.back());
        m_spare.pop_back();
        m_changed.notify_all();
    }

    // Waits for every chunk; false when any write failed.
    [[nodiscard]] bool finish()
    {
        {
            const std::lock_guard<std::mutex> locker(m_mutex);
            m_ended = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        return !m_failed;
    }

private:
    void writeChunks()
    {
        qint64 offset = 0;
        for (;;) {
            QByteArray chunk;
            {
                std::unique_lock<std::mutex> locker(m_mutex);
                m_changed.wait(locker, [this] { return !m_full.empty() || m_ended; });
                if (m_full.empty())
                    return;
                chunk = std::move(m_full.front());
                m_full.pop_front();
            }
            const bool written = KFileIO::writeAll(m_fd, chunk.constData(), chunk.size());
            if (written)
                KFileIO::startWriteOut(m_fd, offset, chunk.size());
            offset += chunk.size();
            chunk.resize(0); // keeps its reserved room
            const std::lock_guard<std::mutex> locker(m_mutex);
            m_failed = m_failed || !written;
            m_spare.push_back(std::move(chunk));
            m_changed.notify_all();
        }
    }

    const int m_fd;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<QByteArray> m_full;
    std::vector<QByteArray> m_spare { 1 };
    bool m_ended = false;
    bool m_failed = false;
};

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
    if (!KFileIO::makeFolder(folder))
        qCWarning(vkEngine) << "the database's folder cannot be made:" << folder;
    return KCommon::joinPath(folder, QStringLiteral("VaultkeepDB.xml"));
}

QString KProtectionDatabase::sumsPath() const
{
    return KCopySums::pathBeside(path());
}

bool KProtectionDatabase::sumsPending() const
{
    return m_savedSums.load() != KCopySums::generation();
}

void KProtectionDatabase::saveSums(const Collections& collections) const
{
    const quint64 generation = KCopySums::generation();
    if (generation == m_savedSums.load())
        return;
    // Written as the lines are made: a hundred thousand versions make megabytes.
    KFileIO::KReplacement replacement(sumsPath(), KFileIO::KReplacement::Naming::Random);
    KCopySums::Writer writer(replacement.fd());
    const auto spill = [&writer](QByteArray*) {
        writer.spill();
    };
    for (const KFileObjectMgr* collection : collections) {
        if (collection && replacement.isOpen())
            collection->appendSums(writer.buffer(), spill, ChunkSize);
    }
    // The database's own save, in the same folder and right after, makes the rename durable too.
    if (replacement.isOpen() && writer.finish() && replacement.commit(KFileIO::PrivateFileMode, -1, false))
        m_savedSums = generation;
    else
        qCWarning(vkEngine) << "the copies' sums could not be saved; the next save tries again";
}

QByteArray KProtectionDatabase::content(const Collections& collections)
{
    QByteArray text;
    writeContent(collections, &text);
    return text;
}

void KProtectionDatabase::writeContent(const Collections& collections, QByteArray* text,
    const std::function<void(QByteArray*)>& spill, int chunk)
{
    // The elements of one kind are separated by line ends, and the kinds by one line end more
    // for each kind between them with no elements: so an empty kind leaves an empty line between
    // its neighbours, and no records leave one empty line between the root tags.
    text->append("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n<TarselFileProtect>\n");
    int lastWritten = -1;
    for (int kind = 0; kind < int(collections.size()); ++kind) {
        const int mark = text->size();
        if (lastWritten >= 0)
            text->append(QByteArray(kind - lastWritten, '\n'));
        const KFileObjectMgr* collection = collections.at(size_t(kind));
        if (collection && collection->appendElements(text, spill, chunk) > 0)
            lastWritten = kind;
        else
            text->resize(mark);
    }
    text->append("\n</TarselFileProtect>\n");
}

QString KProtectionDatabase::text(const Collections& collections)
{
    return QString::fromUtf8(content(collections));
}

bool KProtectionDatabase::save(const Collections& collections) const
{
    // The text goes to the file as it is made, a chunk at a time: ten thousand records make
    // megabytes, which are never held whole.
    const std::lock_guard<std::mutex> locker(m_saveMutex);
    // Written beside the old file, flushed and renamed over it: a crash, a kill or a full disk
    // during the write leaves the previous database whole.
    KFileIO::KReplacement replacement(path(), KFileIO::KReplacement::Naming::Random);
    if (!replacement.isOpen())
        return false;
    KChunkWriter writer(replacement.fd());
    const auto spill = [&writer](QByteArray* chunk) {
        writer.put(chunk);
    };
    QByteArray text;
    text.reserve(ChunkSize + ChunkSize / 4);
    writeContent(collections, &text, spill, ChunkSize);
    spill(&text);
    const bool written = writer.finish();
    // Every copy the text lists is on disk before the text is: copies are flushed after the
    // text was made from the records, so none made meanwhile can be listed and not flushed.
    if (!written || !KFileCopyedObject::flushNewCopies())
        return false;
    // The sums go first, so that every version the database lists has its sum on disk.
    saveSums(collections);
    return replacement.commit(KFileIO::PrivateFileMode) && replacement.isFolderSynced();
}

void KProtectionDatabase::removeAbandonedReplacements(const QString& filePath) const
{
    const QFileInfo file(filePath);
    const QDir folder = file.absoluteDir();
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (KFileIO::isReplacementFileName(name, file.fileName())
            || KFileIO::isReplacementFileName(name, QFileInfo(KCopySums::pathBeside(filePath)).fileName())) {
            QFile::remove(folder.filePath(name));
        }
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

// Ten million versions would not fill it; a larger file is not one the engine wrote.
constexpr qint64 MaxFileSize = qint64(2) * 1024 * 1024 * 1024;

// Builds the records of the File elements as they are read: the records themselves are the only
// copy of what was read, so that a large database is never held twice. Nothing reaches a
// collection before the whole document was read without error.
class RecordBuilder
{
public:
    RecordBuilder(const KProtectionDatabase::Collections& collections, const QString& backupFolder)
        : m_collections(collections)
        , m_backupFolder(KFileIO::openFolder(backupFolder))
    { }
    ~RecordBuilder() { discard(); }

    void beginFile(const QXmlStreamAttributes& attributes)
    {
        beginFile(attributes.value(QLatin1String("FileName")).toString(),
            attributes.value(QLatin1String("Type")).toString());
    }
    void beginFile(const QString& fileName, const QString& typeText)
    {
        m_current = nullptr;
        if (fileName.isEmpty())
            return;
        bool isNumber = false;
        int type = typeText.toInt(&isNumber);
        if (!isNumber || type == -1) {
            type = KFileTypeManager::instance()->fileTypeOfSuffix(QFileInfo(fileName).suffix());
            if (type == int(FileTypeKind::Unknown))
                return;
        }
        m_collection
            = type >= 0 && type < int(m_collections.size()) ? m_collections.at(size_t(type)) : nullptr;
        if (m_collection)
            m_current = std::make_shared<KFileObject>(fileName, type);
    }
    void addVersion(const QString& fileId)
    {
        if (m_current)
            add(KVersionId(fileId));
    }
    // The same from the UTF-8 text of the fast reader.
    void addVersion(const char* fileId)
    {
        if (!fileId)
            addVersion(QString());
        else if (m_current)
            add(KVersionId(KVersionKey::fromUtf8(fileId, int(qstrlen(fileId)))));
    }
    void endFile()
    {
        if (m_current) {
            m_current->addVersions(m_present);
            if (m_current->versionCount() > 0)
                m_built.emplace_back(m_collection, m_current);
        }
        m_current = nullptr;
        m_present.clear();
    }
    // Gives the versions read the sums the file at `sumsPath` records for them. The file lists
    // them in the database's order, so each is looked for in the record of the one before and
    // a few after; the few found nowhere near are matched at the end.
    void applySums(const QString& sumsPath)
    {
        constexpr int LookAhead = 8;
        int at = 0;
        QVector<KVersionId> elsewhere;
        const bool whole = KCopySums::read(sumsPath, [this, &at, &elsewhere](const KVersionId& version) {
            for (int i = at; i < int(m_built.size()) && i < at + LookAhead; ++i) {
                if (m_built[size_t(i)].second->setSum(version, version.sum())) {
                    at = i;
                    return;
                }
            }
            elsewhere.append(version);
        });
        std::sort(elsewhere.begin(), elsewhere.end());
        for (const auto& built : m_built) {
            if (!whole) {
                built.second->clearSums();
                continue;
            }
            if (elsewhere.isEmpty())
                continue;
            const QVector<KVersionId> versions = built.second->versions();
            for (const KVersionId& version : versions) {
                const auto found = std::lower_bound(elsewhere.cbegin(), elsewhere.cend(), version);
                if (found != elsewhere.cend() && *found == version)
                    built.second->setSum(version, found->sum());
            }
        }
    }
    // Hands the records to their collections; a path already in memory keeps its record there,
    // which takes the versions it lacks.
    void commit()
    {
        // Each entry goes as its record is handed over: the collections' index grows into the
        // room the list gives back, rather than beside the whole list.
        for (; !m_built.empty(); m_built.pop_front()) {
            const auto& built = m_built.front();
            if (built.first->addFile(built.second))
                continue;
            if (const KFileObjectPtr own = built.first->findFile(built.second->fileName()))
                own->addVersions(built.second->versions());
        }
    }
    void discard()
    {
        m_current = nullptr;
        m_present.clear();
        m_built.clear();
    }

private:
    void add(KVersionId version)
    {
        // A FileID that could name a file outside the backup folder is dropped like a missing
        // copy, so no later operation can reach such a file; a folder of that name is no copy.
        // The engine's own form needs no checks, nor its name an encoding.
        char compact[KVersionId::TextLength + 1];
        QByteArray native;
        const char* name = compact;
        if (version.writeText(compact) == KVersionId::TextLength) {
            compact[KVersionId::TextLength] = '\0';
        } else {
            const QString fileId = version.text();
            if (!KFileCopyedObject::isSafeFileId(fileId) || !canWriteBack(fileId))
                return;
            native = QFile::encodeName(fileId);
            name = native.constData();
        }
        if (KFileIO::statusIn(m_backupFolder, name).isFile)
            m_present.append(std::move(version));
    }
    // The writer puts FileIDs into the file unescaped; one carrying an XML special character
    // or a character XML cannot hold would make the next save unreadable.
    static bool canWriteBack(const QString& fileId)
    {
        for (const QChar c : fileId) {
            if (c == QLatin1Char('&') || c == QLatin1Char('<') || c == QLatin1Char('>')
                || c == QLatin1Char('"'))
                return false;
        }
        return KFileObjectMgr::isStorablePath(fileId);
    }

    const KProtectionDatabase::Collections& m_collections;
    const KFd m_backupFolder;
    KFileObjectMgr* m_collection = nullptr;
    KFileObjectPtr m_current;
    QVector<KVersionId> m_present;
    std::deque<std::pair<KFileObjectMgr*, KFileObjectPtr>> m_built;
};

// Reads the File elements under the root with expat, faster than QXmlStreamReader over a large
// database, a chunk at a time. False for whatever it refuses, a document type
// (before any of its declarations is read) or nesting deeper than the format: the caller then
// lets the stream reader below judge the text.
class FastReader
{
public:
    explicit FastReader(RecordBuilder* builder)
        : m_parser(XML_ParserCreate(nullptr), XML_ParserFree)
        , m_builder(builder)
    { }

    bool read(QIODevice* device)
    {
        XML_Parser parser = m_parser.get();
        if (!parser)
            return false;
        XML_SetUserData(parser, this);
        XML_SetStartDoctypeDeclHandler(
            parser, [](void* self, const XML_Char*, const XML_Char*, const XML_Char*, int) {
                static_cast<FastReader*>(self)->refuse();
            });
        XML_SetElementHandler(parser, &FastReader::start, &FastReader::end);
        constexpr int ChunkSize = 256 * 1024;
        for (;;) {
            void* buffer = XML_GetBuffer(parser, ChunkSize);
            const qint64 read = buffer ? device->read(static_cast<char*>(buffer), ChunkSize) : -1;
            if (read < 0 || XML_ParseBuffer(parser, int(read), read == 0) != XML_STATUS_OK || m_refused)
                return false;
            if (read == 0)
                return true;
        }
    }

private:
    void refuse()
    {
        m_refused = true;
        XML_StopParser(m_parser.get(), XML_FALSE);
    }
    static const char* attribute(const XML_Char** attributes, const char* name)
    {
        for (; attributes[0]; attributes += 2) {
            if (qstrcmp(attributes[0], name) == 0)
                return attributes[1];
        }
        return nullptr;
    }
    static void start(void* data, const XML_Char*, const XML_Char** attributes)
    {
        auto* self = static_cast<FastReader*>(data);
        if (++self->m_depth > KProtectionDatabase::MaxDepth)
            self->refuse();
        else if (self->m_depth == 2)
            self->m_builder->beginFile(QString::fromUtf8(attribute(attributes, "FileName")),
                QString::fromUtf8(attribute(attributes, "Type")));
        else if (self->m_depth == 3)
            self->m_builder->addVersion(attribute(attributes, "FileID"));
    }
    static void end(void* data, const XML_Char*)
    {
        auto* self = static_cast<FastReader*>(data);
        if (self->m_depth-- == 2)
            self->m_builder->endFile();
    }

    std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> m_parser;
    RecordBuilder* m_builder;
    int m_depth = 0;
    bool m_refused = false;
};

// Reads the File elements under the root from the device, a few kilobytes at a time. False
// when the text does not parse, declares a document type or nests deeper than the format.
bool readStream(QIODevice* device, RecordBuilder* builder)
{
    QXmlStreamReader xml(device);
    int depth = 0;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::DTD:
            return false;
        case QXmlStreamReader::StartElement:
            if (++depth > KProtectionDatabase::MaxDepth)
                return false;
            // Children of the root, whatever their tag; their own children are the versions.
            if (depth == 2)
                builder->beginFile(xml.attributes());
            else if (depth == 3)
                builder->addVersion(xml.attributes().value(QLatin1String("FileID")).toString());
            break;
        case QXmlStreamReader::EndElement:
            if (depth-- == 2)
                builder->endFile();
            break;
        default:
            break;
        }
    }
    return !xml.hasError();
}

// The same with the document model, which accepts a little more than the streaming reader (a
// character reference to a control character, say, in a hand-edited file). It needs the whole
// text and several times its memory, so it only reads what the streaming reader refused, and
// only a text of the format's shape: it recurses through every level.
bool readDocument(const QByteArray& content, RecordBuilder* builder)
{
    QDomDocument document;
    if (!KXmlGuard::isPlain(content, KProtectionDatabase::MaxDepth) || !document.setContent(content))
        return false;
    const QDomElement root = document.documentElement();
    for (QDomElement element = root.firstChildElement(); !element.isNull();
         element = element.nextSiblingElement()) {
        builder->beginFile(
            element.attribute(QStringLiteral("FileName")), element.attribute(QStringLiteral("Type")));
        for (QDomElement version = element.firstChildElement(); !version.isNull();
             version = version.nextSiblingElement()) {
            builder->addVersion(version.attribute(QStringLiteral("FileID")));
        }
        builder->endFile();
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
    // Files an older version left readable to others become private.
    for (const QString& own : { QFileInfo(filePath).absolutePath(), filePath, sumsPath() }) {
        if (!KFileIO::makePrivate(own))
            qCWarning(vkEngine) << "could not be made private to the user:" << own;
    }
    // A document that fails to parse may hold what came before the error: none of it is used.
    RecordBuilder builder(collections, KCommon::backupDirectory());
    const auto file = KFileIO::openRegularFile(filePath, MaxFileSize);
    bool parsed = file && FastReader(&builder).read(file.get()) && file->error() == QFileDevice::NoError;
    if (!parsed && file && file->error() == QFileDevice::NoError && file->seek(0)) {
        builder.discard();
        parsed = readStream(file.get(), &builder) && file->error() == QFileDevice::NoError;
    }
    if (!parsed && file && file->error() == QFileDevice::NoError && file->seek(0)) {
        builder.discard();
        const QByteArray content = file->readAll();
        parsed = file->error() == QFileDevice::NoError && readDocument(content, &builder);
    }
    if (file)
        file->close();
    if (!parsed) {
        builder.discard();
        const std::lock_guard<std::mutex> locker(m_saveMutex);
        return setAside(filePath) ? LoadResult::SetAside : LoadResult::Unreadable;
    }
    builder.applySums(sumsPath());
    builder.commit();
    return LoadResult::Loaded;
}
