#include "platform/kinistore.h"

#include "platform/kfileio.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QLoggingCategory>
#include <QSet>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcIniStore, "vaultkeep.ini", QtInfoMsg)

namespace {

// Every store of the process takes turns on this lock, held while its file is read or written.
// (Qt's own lock on its settings cache is not seen by ThreadSanitizer; this one is.)
std::mutex g_mutex;

// How long a write waits for another process holding the file's lock.
constexpr int LockWaitMSecs = 2000;

// What tells one state of the file from another without reading it.
struct Identity
{
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    static Identity of(const struct stat& info)
    {
        return { true, info.st_dev, info.st_ino, info.st_size,
            qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
            qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec };
    }
    bool operator==(const Identity& other) const
    {
        return exists == other.exists && device == other.device && inode == other.inode && size == other.size
            && modifiedNs == other.modifiedNs && changedNs == other.changedNs;
    }
    bool operator!=(const Identity& other) const { return !(*this == other); }
};

// The names directly below `group`: its keys, or (with `groups`) its subgroups; with `values`,
// the keys and their values go there instead, with `texts` the values alone as text.
QStringList childrenOf(const QSettings::SettingsMap& map, const QString& group, bool groups,
    QVector<QPair<QString, QVariant>>* values = nullptr, QStringList* texts = nullptr)
{
    const QString prefix = group.isEmpty() ? QString() : group + QLatin1Char('/');
    QStringList names;
    for (auto it = map.lowerBound(prefix); it != map.cend() && it.key().startsWith(prefix);) {
        // A reference, not a copy: a list may hold thousands of keys and is read every cycle.
        const QStringRef rest = it.key().midRef(prefix.size());
        const int slash = rest.indexOf(QLatin1Char('/'));
        if (slash < 0) {
            if (values)
                values->append({ rest.toString(), it.value() });
            else if (texts)
                texts->append(it.value().toString());
            else if (!groups)
                names.append(rest.toString());
            ++it;
            continue;
        }
        const QString name = rest.left(slash).toString();
        if (groups)
            names.append(name);
        // Past the whole subgroup: "/" and "0" are neighbours.
        it = map.lowerBound(prefix + name + QLatin1Char('0'));
    }
    return names;
}

// The folder with its missing parents, private to the user.
bool makeFolder(const QString& folder)
{
    const QByteArray native = QFile::encodeName(folder);
    if (::mkdir(native.constData(), 0700) == 0 || errno == EEXIST)
        return true;
    const QString parent = QFileInfo(folder).absolutePath();
    return errno == ENOENT && parent != folder && makeFolder(parent)
        && (::mkdir(native.constData(), 0700) == 0 || errno == EEXIST);
}

} // namespace

struct KIniStore::File
{
    QString path;
    KIniFormat::Dialect dialect = KIniFormat::Dialect::Settings;
    KIniFormat::Document document;
    // The state of the file the document was read from, or that was found unusable.
    Identity identity;
    // Read long enough after the file's last change that a later change shows in its identity
    // (timestamps advance in coarse steps, and a file rewritten in place keeps its inode). A file
    // this process wrote is settled: it was renamed into place, and its text is known.
    bool settled = true;
    // The file as it is cannot be read or is no INI text: it is never written.
    bool unusable = false;
    QVector<KIniFormat::Change> pending;
    QSet<QString> pendingKeys; // the keys they name
    // The document's values with the pending changes made.
    QSettings::SettingsMap view;
    // Lists of values read from the view, by group, until it changes: a recent-file list is read
    // every cycle, and its readers tell an unchanged one at a glance by its being the same list.
    QHash<QString, QStringList> valueTexts;

    void refresh();
    void readFrom(QFile* file, const Identity& found);
    void setUnusable(const Identity& found, const QString& reason);
    void rebuildView();
    void apply(const KIniFormat::Change& change);
    void addPending(const KIniFormat::Change& change);
    bool write();
};

void KIniStore::File::refresh()
{
    struct stat info;
    const QByteArray native = QFile::encodeName(path);
    if (::stat(native.constData(), &info) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            setUnusable(Identity(), QString::fromLocal8Bit(std::strerror(errno)));
            return;
        }
        // No file (any more): nothing to read, and a write creates it.
        if (identity.exists || unusable || !document.text().isEmpty()) {
            document = KIniFormat::Document();
            identity = Identity();
            unusable = false;
            rebuildView();
        }
        settled = true;
        return;
    }
    const Identity found = Identity::of(info);
    if (found == identity && (settled || unusable))
        return;
    const std::unique_ptr<QFile> file = KFileIO::openRegularFile(path, MaxFileSize);
    if (!file) {
        setUnusable(found,
            errno == EFBIG ? QStringLiteral("it is larger than %1 MiB").arg(MaxFileSize >> 20)
                : errno == EINVAL || errno == EISDIR ? QStringLiteral("it is not a regular file")
                                                     : QString::fromLocal8Bit(std::strerror(errno)));
        return;
    }
    struct stat opened;
    readFrom(file.get(), ::fstat(file->handle(), &opened) == 0 ? Identity::of(opened) : found);
}

void KIniStore::File::readFrom(QFile* file, const Identity& found)
{
    QByteArray text;
    text.reserve(int(qMin<qint64>(found.size, MaxFileSize)));
    char buffer[64 * 1024];
    for (;;) {
        const qint64 got = file->read(buffer, sizeof buffer);
        if (got < 0) {
            setUnusable(found, file->errorString());
            return;
        }
        if (got == 0)
            break;
        if (text.size() + got > MaxFileSize) {
            setUnusable(found, QStringLiteral("it is larger than %1 MiB").arg(MaxFileSize >> 20));
            return;
        }
        text.append(buffer, int(got));
    }
    settled = QDateTime::currentMSecsSinceEpoch() - found.modifiedNs / 1000000 >= 1000;
    const bool same = !unusable && identity.exists && text == document.text();
    identity = found;
    if (same)
        return;
    KIniFormat::Document read;
    if (!read.parse(text, dialect)) {
        setUnusable(found, QStringLiteral("it holds no INI text"));
        return;
    }
    document = std::move(read);
    unusable = false;
    rebuildView();
}

void KIniStore::File::rebuildView()
{
    valueTexts.clear();
    view = document.values();
    for (const KIniFormat::Change& change : qAsConst(pending))
        apply(change);
}

void KIniStore::File::setUnusable(const Identity& found, const QString& reason)
{
    if (!unusable || found != identity) {
        qCWarning(lcIniStore, "%s is kept as it is and not written, since %s; changes stay in memory",
            qUtf8Printable(path), qUtf8Printable(reason));
    }
    identity = found;
    unusable = true;
}

void KIniStore::File::apply(const KIniFormat::Change& change)
{
    if (change.remove) {
        valueTexts.clear();
        for (const QString& key : KIniFormat::keyAndBelow(view, change.key))
            view.remove(key);
        return;
    }
    // A recent-file list stays the same list while only a counter beside it changes.
    valueTexts.remove(change.key.left(qMax(0, change.key.lastIndexOf(QLatin1Char('/')))));
    view.insert(change.key, change.value);
}

void KIniStore::File::addPending(const KIniFormat::Change& change)
{
    // A change makes earlier ones of the same keys moot: what is pending stays as small as the
    // keys it names, however long the file cannot be written. Many new keys cost no search.
    const QString below = change.key + QLatin1Char('/');
    const auto moot = [&](const KIniFormat::Change& earlier) {
        if (!change.remove)
            return !earlier.remove && earlier.key == change.key;
        return change.key.isEmpty() || earlier.key == change.key || earlier.key.startsWith(below);
    };
    if (change.remove || pendingKeys.contains(change.key)) {
        pending.erase(std::remove_if(pending.begin(), pending.end(), moot), pending.end());
        if (change.remove) {
            pendingKeys.clear();
            for (const KIniFormat::Change& kept : qAsConst(pending))
                pendingKeys.insert(kept.key);
        }
    }
    pending.append(change);
    pendingKeys.insert(change.key);
    apply(change);
}

bool KIniStore::File::write()
{
    if (pending.isEmpty())
        return true;
    if (!makeFolder(QFileInfo(path).absolutePath()))
        return false;
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(LockWaitMSecs))
        return false;
    refresh();
    if (unusable)
        return false;
    const QByteArray text = document.edited(pending);
    if (text != document.text() || (!identity.exists && !text.isEmpty())) {
        const QByteArray native = QFile::encodeName(path);
        // The file is made private, on its descriptor, before the text goes in: the replacement
        // below takes over its permissions, even where other programs made it readable to others.
        // A link is not followed (the replacement takes its place).
        const bool created = !identity.exists;
        KFd fd = created
            ? KFd(::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600))
            : KFileIO::openRegular(path, KFileIO::Links::DontFollow);
        if (created && !fd.isValid())
            return false;
        if (fd.isValid() && (::fchmod(fd.get(), 0600) != 0 || !fd.close())) {
            if (created)
                ::unlink(native.constData());
            return false;
        }
        if (!KFileIO::replaceContents(path, text, KFileIO::PrivateFileMode)) {
            if (created)
                ::unlink(native.constData());
            return false;
        }
        struct stat info;
        identity = ::stat(native.constData(), &info) == 0 ? Identity::of(info) : Identity();
        settled = true;
    }
    const KIniFormat::Document::Adopted adopted = document.adopt(text, pending, dialect);
    if (adopted == KIniFormat::Document::Adopted::InPlace) {
        // The view holds these keys already; it takes their values as the file now reads.
        for (const KIniFormat::Change& change : qAsConst(pending))
            apply({ change.key, document.values().value(change.key), false });
    } else {
        unusable = adopted == KIniFormat::Document::Adopted::Unreadable;
        valueTexts.clear();
        view = document.values();
    }
    pending.clear();
    pendingKeys.clear();
    return true;
}

KIniStore::KIniStore(const QString& filePath, KIniFormat::Dialect dialect)
{
    static QHash<QString, std::shared_ptr<File>> files;
    const std::lock_guard<std::mutex> locker(g_mutex);
    std::shared_ptr<File>& file = files[filePath];
    if (!file) {
        file = std::make_shared<File>();
        file->path = filePath;
        file->dialect = dialect;
    }
    m_file = file;
    m_file->refresh();
}

KIniStore::~KIniStore() = default;

QString KIniStore::filePath() const
{
    return m_file->path;
}

QVariant KIniStore::value(const QString& key, const QVariant& defaultValue) const
{
    const std::lock_guard<std::mutex> locker(g_mutex);
    return m_file->view.value(key, defaultValue);
}

bool KIniStore::contains(const QString& key) const
{
    const std::lock_guard<std::mutex> locker(g_mutex);
    return m_file->view.contains(key);
}

QStringList KIniStore::childKeys(const QString& group) const
{
    const std::lock_guard<std::mutex> locker(g_mutex);
    return childrenOf(m_file->view, group, false);
}

QVector<QPair<QString, QVariant>> KIniStore::childValues(const QString& group) const
{
    const std::lock_guard<std::mutex> locker(g_mutex);
    QVector<QPair<QString, QVariant>> result;
    childrenOf(m_file->view, group, false, &result);
    return result;
}

QStringList KIniStore::childValueTexts(const QString& group) const
{
    const std::lock_guard<std::mutex> locker(g_mutex);
    const auto known = m_file->valueTexts.constFind(group);
    if (known != m_file->valueTexts.cend())
        return known.value();
    QStringList texts;
    childrenOf(m_file->view, group, false, nullptr, &texts);
    m_file->valueTexts.insert(group, texts);
    return texts;
}

QStringList KIniStore::childGroups(const QString& group) const
{
    const std::lock_guard<std::mutex> locker(g_mutex);
    return childrenOf(m_file->view, group, true);
}

void KIniStore::setValue(const QString& key, const QVariant& value)
{
    const std::lock_guard<std::mutex> locker(g_mutex);
    m_file->addPending({ key, value, false });
}

void KIniStore::remove(const QString& key)
{
    const std::lock_guard<std::mutex> locker(g_mutex);
    m_file->addPending({ key, QVariant(), true });
}

bool KIniStore::sync()
{
    const std::lock_guard<std::mutex> locker(g_mutex);
    return m_file->write();
}
