#include "storage/kbackupfoldermove.h"

#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kprotectiondatabase.h"
#include "platform/kfileio.h"
#include "platform/kfilelock.h"
#include "platform/kpaths.h"
#include "storage/kstoragelog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QThread>
#include <QVector>

#include <algorithm>
#include <atomic>
#include <cerrno>

namespace {

using KFileTransfer::Error;

std::atomic<bool> g_moveInProgress { false };

const QString CopyingState = QStringLiteral("copying");
const QString RemovingState = QStringLiteral("removing");

// A file another program writes is tried again this often, this far apart, before the move
// gives up on it.
constexpr int BusyAttempts = 30;
constexpr int BusyPauseMs = 100;
// Backups that reach the old folder while it is being emptied are moved in further rounds.
constexpr int RemovalRounds = 10;
constexpr qint64 ReportIntervalMs = 40;
// How much of the copies is read ahead from the disk while they are checked.
constexpr qint64 ReadAheadBytes = 32 * 1024 * 1024;

QString separator()
{
    return QString(KPaths::nativeSeparator());
}

QString withoutTrailingSeparator(QString path)
{
    while (path.size() > 1 && path.endsWith(KPaths::nativeSeparator()))
        path.chop(1);
    return path;
}

QString parentOf(const QString& path)
{
    const QString trimmed = withoutTrailingSeparator(path);
    const int at = trimmed.lastIndexOf(KPaths::nativeSeparator());
    return at <= 0 ? separator() : trimmed.left(at);
}

QString nameOf(const QString& path)
{
    const QString trimmed = withoutTrailingSeparator(path);
    return trimmed.mid(trimmed.lastIndexOf(KPaths::nativeSeparator()) + 1);
}

QString dataFolder()
{
    const QString folder = KCommon::joinPath(
        KCommon::joinPath(KCommon::hostDataFolder(), QStringLiteral("App")), QStringLiteral("KVaultkeep"));
    if (!KFileIO::makeFolder(folder))
        qCWarning(vkStorage) << "the move's data folder cannot be made:" << folder;
    return folder;
}

bool sameLink(const QString& first, const QString& second)
{
    return QFileInfo(first).symLinkTarget() == QFileInfo(second).symLinkTarget();
}

KBackupFolderMove::Problem problemOf(Error error)
{
    using Problem = KBackupFolderMove::Problem;
    switch (error) {
    case Error::None:
        return Problem::None;
    case Error::SourceUnreadable:
        return Problem::SourceUnreadable;
    case Error::SourceChanged:
    case Error::SourceInUse:
        return Problem::InUse;
    case Error::TargetExists:
        return Problem::Conflict;
    case Error::NoSpace:
        return Problem::NoSpace;
    case Error::NotWritable:
        return Problem::NotWritable;
    case Error::TargetMissing:
        return Problem::DestinationMissing;
    case Error::NotMovable:
        return Problem::NotMovable;
    case Error::Damaged:
        return Problem::Damaged;
    case Error::Other:
        break;
    }
    return Problem::Other;
}

// Whether a folder the walk could not open (for `error`) is merely gone, so that it holds nothing.
bool isListable(const QString& folder, int error)
{
    if (error == ENOENT)
        return true;
    qCWarning(vkStorage) << "cannot list" << folder;
    return false;
}

// The move walks its folders in the order of their names, so that the first problem met is
// always the same one.
KFileIO::WalkVisitor walkByName()
{
    KFileIO::WalkVisitor visitor;
    visitor.byName = true;
    return visitor;
}

// Removes a journal that has been settled.
void removeJournal()
{
    if (!QFile::remove(KBackupFolderMove::journalPath()) && QFile::exists(KBackupFolderMove::journalPath()))
        qCWarning(vkStorage) << "cannot remove the settled journal" << KBackupFolderMove::journalPath();
}

// Waits until no loop still writes backups into the folder the backup path pointed to before.
void awaitBackupWriters()
{
    const std::unique_lock<std::shared_mutex> settled(KBackupFolderMove::backupWriters());
}

} // namespace

// What the journal records of a running move.
struct KBackupFolderMove::Journal
{
    enum Reading
    {
        Absent,
        Unreadable,
        Read
    };

    QString state;
    bool rename = false;
    QString sourceRoot;
    QString destinationRoot;
    bool destinationExisted = false;
    QStringList present;
    bool presentComplete = true;

    QByteArray toJson() const
    {
        QJsonObject object;
        object.insert(QStringLiteral("state"), state);
        object.insert(QStringLiteral("rename"), rename);
        object.insert(QStringLiteral("sourceRoot"), sourceRoot);
        object.insert(QStringLiteral("destinationRoot"), destinationRoot);
        object.insert(QStringLiteral("destinationExisted"), destinationExisted);
        object.insert(QStringLiteral("present"), QJsonArray::fromStringList(present));
        if (!presentComplete)
            object.insert(QStringLiteral("presentComplete"), false);
        return QJsonDocument(object).toJson();
    }

    static Reading read(Journal* journal)
    {
        QFile file(journalPath());
        if (!file.exists())
            return Absent;
        if (!file.open(QIODevice::ReadOnly))
            return Unreadable;
        const QJsonObject object = QJsonDocument::fromJson(file.readAll()).object();
        journal->state = object.value(QStringLiteral("state")).toString();
        journal->rename = object.value(QStringLiteral("rename")).toBool();
        journal->sourceRoot = object.value(QStringLiteral("sourceRoot")).toString();
        journal->destinationRoot = object.value(QStringLiteral("destinationRoot")).toString();
        journal->destinationExisted = object.value(QStringLiteral("destinationExisted")).toBool();
        const QJsonArray present = object.value(QStringLiteral("present")).toArray();
        for (const QJsonValue& entry : present)
            journal->present.append(entry.toString());
        journal->presentComplete = object.value(QStringLiteral("presentComplete")).toBool(true);
        const bool known = journal->state == CopyingState || journal->state == RemovingState;
        return known && !journal->sourceRoot.isEmpty() && !journal->destinationRoot.isEmpty() ? Read
                                                                                              : Unreadable;
    }
};

KBackupFolderMove::KBackupFolderMove(const QString& sourceRoot, const QString& destinationRoot)
    : m_sourceRoot(sourceRoot)
    , m_destinationRoot(destinationRoot)
    , m_sourceFolder(folderOf(sourceRoot))
    , m_destinationFolder(folderOf(destinationRoot))
    , m_backupFolder(m_sourceFolder)
{ }

KBackupFolderMove::~KBackupFolderMove() = default;

QString KBackupFolderMove::folderOf(const QString& root)
{
    if (root.isEmpty())
        return QString();
    return KCommon::joinPath(root, KCommon::backupFolderName() + KPaths::nativeSeparator());
}

QString KBackupFolderMove::journalPath()
{
    return KCommon::joinPath(dataFolder(), QStringLiteral("BackupMove.journal"));
}

QString KBackupFolderMove::lockPath()
{
    return KCommon::joinPath(dataFolder(), QStringLiteral("BackupMove.lock"));
}

QString KBackupFolderMove::temporaryPrefix()
{
    return QStringLiteral(".vkmove~");
}

std::shared_mutex& KBackupFolderMove::backupWriters()
{
    static std::shared_mutex writers;
    return writers;
}

bool KBackupFolderMove::isMoveInProgress()
{
    return g_moveInProgress;
}

void KBackupFolderMove::prepare(const QString& sourceRoot, const QString& destinationRoot)
{
    if (sourceRoot.isEmpty() || destinationRoot.isEmpty() || sourceRoot == destinationRoot)
        return;
    const KFileLock lock(lockPath(), KFileLock::DontWait);
    // A journal not yet settled is the one that counts; the next start settles it first.
    if (!lock.isLocked() || QFile::exists(journalPath()))
        return;
    KBackupFolderMove move(sourceRoot, destinationRoot);
    move.m_rename = KFileTransfer::sameFileSystem(move.m_sourceFolder, destinationRoot);
    move.m_destinationExisted
        = KFileIO::status(move.m_destinationFolder, KFileIO::Links::DontFollow).kind() == KFileStatus::Folder;
    // A destination that cannot be listed is recorded so: the move then refuses to begin.
    if (move.m_destinationExisted)
        move.m_presentComplete = move.listPresent();
    if (!move.writeJournal(CopyingState))
        qCWarning(vkStorage) << "cannot record the coming move in" << journalPath();
}

std::unique_ptr<KFileLock> KBackupFolderMove::recoverInterruptedMove()
{
    std::unique_ptr<KFileLock> lock(new KFileLock(lockPath()));
    // The trace already says why; the journal stays for the next start.
    if (!settleJournal())
        qCInfo(vkStorage) << "the database is loaded while an interrupted move stays recorded in"
                          << journalPath();
    return lock;
}

bool KBackupFolderMove::settleJournal(KBackupFolderMove* next)
{
    Journal journal;
    switch (Journal::read(&journal)) {
    case Journal::Absent:
        return true;
    case Journal::Unreadable: {
        // Journals are replaced whole, so only something else can have spoilt this one. It is
        // kept aside to be looked at; nothing can be settled from it.
        const QString aside = journalPath() + QStringLiteral(".unreadable");
        QFile::remove(aside);
        if (!QFile::rename(journalPath(), aside))
            qCWarning(vkStorage) << "cannot set the unreadable journal aside" << journalPath();
        return true;
    }
    case Journal::Read:
        break;
    }
    // The record prepare() made for this very move, or one a process that died in its copying
    // left: it tells what the destination held before, and the move goes on from there.
    if (next && journal.state == CopyingState && journal.sourceRoot == next->m_sourceRoot
        && journal.destinationRoot == next->m_destinationRoot) {
        next->m_journalled = true;
        next->m_destinationExisted = journal.destinationExisted;
        next->m_present = QSet<QString>(journal.present.cbegin(), journal.present.cend());
        next->m_presentComplete = journal.presentComplete;
        return true;
    }
    KBackupFolderMove earlier(journal.sourceRoot, journal.destinationRoot);
    earlier.recover(journal);
    return !QFile::exists(journalPath());
}

void KBackupFolderMove::recover(const Journal& journal)
{
    m_rename = journal.rename;
    m_destinationExisted = journal.destinationExisted;
    m_present = QSet<QString>(journal.present.cbegin(), journal.present.cend());
    m_presentComplete = journal.presentComplete;
    if (journal.state == CopyingState) {
        if (!rollback())
            qCWarning(vkStorage)
                << "an interrupted move could not be undone yet; it is tried again at the next start";
        return;
    }
    // Everything had reached the new folder and was checked there: the move goes on. Without
    // the new folder (its drive is gone) nothing can be finished; the journal waits for a later
    // start, and so it does while the settings cannot be written.
    if (KFileIO::status(m_destinationFolder, KFileIO::Links::DontFollow).kind() != KFileStatus::Folder
        || !pointBackupPathTo(m_destinationRoot)) {
        qCWarning(vkStorage)
            << "an interrupted move could not be finished yet; it is tried again at the next start";
        return;
    }
    finish();
}

KBackupFolderMove::Result KBackupFolderMove::run(const Progress& progress, const Cancellation& cancelled)
{
    m_progress = progress;
    m_cancelled = cancelled;
    bool idle = false;
    if (!g_moveInProgress.compare_exchange_strong(idle, true)) {
        m_problem = Problem::Busy;
        return Result::Busy;
    }
    struct InProgress
    {
        ~InProgress() { g_moveInProgress = false; }
    } const inProgress;

    const KFileLock lock(lockPath());
    if (!lock.isLocked() || !settleJournal(this) || m_sourceFolder.isEmpty()
        || m_destinationFolder.isEmpty()) {
        fail(Problem::Other);
        return Result::Failed;
    }
    if (const std::optional<Result> ended = preflight())
        return *ended;
    return commit(transfer());
}

std::optional<KBackupFolderMove::Result> KBackupFolderMove::preflight()
{
    const KFileStatus source = KFileIO::status(m_sourceFolder, KFileIO::Links::DontFollow);
    const KFileStatus destination = KFileIO::status(m_destinationFolder, KFileIO::Links::DontFollow);
    if (KFileIO::status(m_destinationRoot, KFileIO::Links::DontFollow).kind() != KFileStatus::Folder) {
        fail(Problem::DestinationMissing);
        return failBeforeCopying();
    }
    const bool sameFolder = source.kind() == KFileStatus::Folder && destination.kind() == KFileStatus::Folder
        && source.device == destination.device && source.inode == destination.inode;
    if (sameFolder || source.kind() == KFileStatus::Missing) {
        // Nothing to move.
        if (!pointBackupPathTo(m_destinationRoot)) {
            fail(Problem::SettingsNotSaved);
            return Result::Failed;
        }
        m_backupFolder = m_destinationFolder;
        removeJournal();
        return Result::Moved;
    }
    const QString from = QDir::cleanPath(m_sourceFolder) + QLatin1Char('/');
    const QString to = QDir::cleanPath(m_destinationFolder) + QLatin1Char('/');
    if (source.kind() != KFileStatus::Folder || from.startsWith(to) || to.startsWith(from)) {
        fail(source.kind() != KFileStatus::Folder ? Problem::SourceUnreadable : Problem::Nested);
        return failBeforeCopying();
    }
    if (destination.kind() != KFileStatus::Missing && destination.kind() != KFileStatus::Folder) {
        fail(Problem::Conflict);
        return failBeforeCopying();
    }

    m_rename = KFileTransfer::sameFileSystem(m_sourceFolder, m_destinationRoot);
    if (!m_rename)
        m_recorded = KCopySums::read(KProtectionDatabase().sumsPath());
    m_destinationThere = destination.kind() == KFileStatus::Folder;
    // A folder renamed whole copies nothing, so it has no bytes to report.
    m_wholeFolder = m_rename && !m_destinationThere;
    if (!m_wholeFolder)
        m_total = quint64(KCommon::folderSize(m_sourceFolder, false));
    if (!m_journalled) {
        m_destinationExisted = m_destinationThere;
        if (m_destinationExisted)
            m_presentComplete = listPresent();
        if (!m_presentComplete)
            return failBeforeCopying();
        if (!writeJournal(CopyingState)) {
            fail(Problem::Other);
            return failBeforeCopying();
        }
    } else if (!m_presentComplete) {
        // What the destination held could not be listed when the move was recorded: nothing
        // there can be told apart from what the move would put there.
        fail(Problem::FolderUnreadable, m_destinationFolder);
        return undo();
    }
    return std::nullopt;
}

bool KBackupFolderMove::transfer()
{
    // A same-named file with other content at the destination stops the move before anything
    // is copied.
    bool moved = !m_destinationThere || findConflicts();
    if (moved && m_wholeFolder) {
        const Error renamed = KFileTransfer::renameNoReplace(
            withoutTrailingSeparator(m_sourceFolder), withoutTrailingSeparator(m_destinationFolder));
        if (renamed == Error::None) {
            m_renamedIn << parentOf(m_sourceFolder) << parentOf(m_destinationFolder);
            m_renamedWhole = true;
        } else if (renamed == Error::TargetExists) {
            // A backup created the new folder meanwhile: move entry by entry.
            m_total = quint64(KCommon::folderSize(m_sourceFolder, false));
            moved = transferFolder();
        } else {
            moved = check(renamed, QString());
        }
    } else if (moved) {
        moved = check(KFileTransfer::makeFolder(m_destinationFolder), QString())
            && (m_destinationExisted ? restrictDestination() : true) && transferFolder();
    }
    if (m_progress && m_total > 0)
        m_progress(m_total, qMin(m_moved, m_total));
    return moved;
}

KBackupFolderMove::Result KBackupFolderMove::commit(bool moved)
{
    // Every copy is on the new disk and read back from it, and the settings on disk name the new
    // folder, before the move goes forward. Should the process end before the journal says so,
    // the next start undoes the move (a folder renamed whole is renamed back).
    moved = moved && secureMoved();
    if (moved && !pointBackupPathTo(m_destinationRoot)) {
        moved = false;
        fail(Problem::SettingsNotSaved);
    }
    if (moved && !m_renamedWhole && !writeJournal(RemovingState)) {
        moved = false;
        fail(Problem::Other);
    }
    if (!moved)
        return undo();
    finish();
    return Result::Moved;
}

KBackupFolderMove::Result KBackupFolderMove::undo()
{
    if (!rollback())
        qCWarning(vkStorage)
            << "the failed move could not be undone yet; it is tried again at the next start";
    return Result::Failed;
}

KBackupFolderMove::Result KBackupFolderMove::failBeforeCopying()
{
    // Nothing was copied; the backup path points back to the backups. Should that not reach the
    // disk, the journal of the dialog's change is kept for the next start to settle.
    if (pointBackupPathTo(m_sourceRoot))
        removeJournal();
    else
        qCWarning(vkStorage) << "cannot point the backup path back to" << m_sourceRoot;
    return Result::Failed;
}

bool KBackupFolderMove::restrictDestination()
{
    if (KFileTransfer::restrictFolder(withoutTrailingSeparator(m_destinationFolder)))
        return true;
    fail(Problem::NotWritable);
    return false;
}

void KBackupFolderMove::finish()
{
    m_backupFolder = m_destinationFolder;
    awaitBackupWriters();
    removeSources();
    m_problem = Problem::None;
    m_problemEntry.clear();
    // Whatever stayed in the old folder is a second copy of a moved backup, or content another
    // program changed after it was copied; both are left where they are. Backups that reached
    // the old folder late moved as the others did; the journal goes once they are on disk.
    if (syncRenamed())
        removeJournal();
}

bool KBackupFolderMove::secureMoved()
{
    if (m_rename) {
        if (syncRenamed())
            return true;
        fail(Problem::NotFlushed);
        return false;
    }
    // One flush for the whole file system (it reports any write the disk refused), each copy
    // read back from the disk, then the folders that name them flushed.
    if (!KFileIO::syncFileSystem(m_destinationFolder)) {
        fail(Problem::NotFlushed);
        return false;
    }
    // Read from the disk a window ahead, in the order they were written.
    QStringList copies;
    for (auto it = m_copied.cbegin(); it != m_copied.cend(); ++it) {
        if (it->unchecked)
            copies.append(it.key());
    }
    std::sort(copies.begin(), copies.end());
    int ahead = 0;
    qint64 bytesAhead = 0;
    for (int i = 0; i < copies.size(); ++i) {
        for (; ahead < copies.size() && (ahead <= i || bytesAhead < ReadAheadBytes); ++ahead) {
            bytesAhead += m_copied.value(copies.at(ahead)).source.size;
            KFileTransfer::readAheadFromDisk(destinationPath(copies.at(ahead)));
        }
        bytesAhead -= m_copied.value(copies.at(i)).source.size;
        if (!verifyCopied(copies.at(i)))
            return false;
    }
    for (const QString& folder : qAsConst(m_filledFolders)) {
        if (!KFileIO::syncFolder(folder)) {
            fail(Problem::NotFlushed, folder);
            return false;
        }
    }
    return true;
}

bool KBackupFolderMove::verifyCopied(const QString& relative)
{
    const auto copied = m_copied.find(relative);
    if (copied == m_copied.end() || !copied->unchecked)
        return true;
    const Error verified
        = KFileTransfer::verifyCopy(destinationPath(relative), copied->source.size, copied->hash);
    if (verified != Error::None) {
        qCWarning(vkStorage) << "the copy" << destinationPath(relative) << "does not hold what was copied";
        fail(verified == Error::Damaged ? Problem::Damaged : Problem::NotFlushed, relative);
        return false;
    }
    copied->unchecked = false;
    return true;
}

void KBackupFolderMove::removeSources()
{
    for (int round = 0; round < RemovalRounds; ++round) {
        const bool cleared = removeMovedSources();
        if (KFileTransfer::removeEmptyFolder(withoutTrailingSeparator(m_sourceFolder)))
            return;
        if (!cleared)
            break;
    }
    qCInfo(vkStorage) << "the old backup folder keeps what is not a moved backup:" << m_sourceFolder;
}

bool KBackupFolderMove::writeJournal(const QString& state) const
{
    Journal journal;
    journal.state = state;
    journal.rename = m_rename;
    journal.sourceRoot = m_sourceRoot;
    journal.destinationRoot = m_destinationRoot;
    journal.destinationExisted = m_destinationExisted;
    journal.present = QStringList(m_present.cbegin(), m_present.cend());
    return KFileIO::replaceContents(journalPath(), journal.toJson(), KFileIO::PrivateFileMode);
}

void KBackupFolderMove::fail(Problem problem, const QString& entry)
{
    if (m_problem != Problem::None)
        return; // the first problem is the one to tell
    m_problem = problem;
    m_problemEntry = entry;
}

bool KBackupFolderMove::check(Error error, const QString& entry)
{
    if (error == Error::None)
        return true;
    // A source that went meanwhile leaves nothing to move.
    if ((error == Error::SourceUnreadable || error == Error::TargetMissing)
        && KFileIO::status(sourcePath(entry), KFileIO::Links::DontFollow).kind() == KFileStatus::Missing) {
        return true;
    }
    if (KFileIO::status(m_destinationRoot, KFileIO::Links::DontFollow).kind() != KFileStatus::Folder)
        fail(Problem::DestinationMissing, entry);
    else
        fail(problemOf(error), entry);
    return false;
}

KFileIO::WalkVisitor KBackupFolderMove::walkEveryFolder()
{
    KFileIO::WalkVisitor visitor = walkByName();
    visitor.failed = [this](const QString& path, const QString&, int) {
        fail(Problem::FolderUnreadable, path);
        return false;
    };
    return visitor;
}

bool KBackupFolderMove::listPresent()
{
    KFileIO::WalkVisitor visitor = walkEveryFolder();
    visitor.visit = [this](const KFileIO::WalkEntry& entry) {
        m_present.insert(entry.relative());
        return KFileIO::WalkStep::Enter;
    };
    return KFileIO::walk(m_destinationFolder, visitor);
}

bool KBackupFolderMove::findConflicts()
{
    KFileIO::WalkVisitor visitor = walkEveryFolder();
    visitor.visit = [this](const KFileIO::WalkEntry& entry) {
        const QString relative = entry.relative();
        if (!m_present.contains(relative) || isTemporary(relative))
            return KFileIO::WalkStep::Skip;
        const KFileStatus& source = entry.status;
        const QString from = sourcePath(relative);
        const QString to = destinationPath(relative);
        const KFileStatus target = KFileIO::status(to, KFileIO::Links::DontFollow);
        if (source.kind() == KFileStatus::Folder && target.kind() == KFileStatus::Folder)
            return KFileIO::WalkStep::Enter;
        const bool same = source.kind() == target.kind()
            && ((source.kind() == KFileStatus::File && source.size == target.size
                    && KFileTransfer::sameContent(from, to))
                || (source.kind() == KFileStatus::SymLink && sameLink(from, to)));
        if (same)
            return KFileIO::WalkStep::Skip;
        fail(Problem::Conflict, relative);
        return KFileIO::WalkStep::Stop;
    };
    return KFileIO::walk(m_sourceFolder, visitor);
}

bool KBackupFolderMove::transferFolder()
{
    KFileIO::WalkVisitor visitor = walkByName();
    visitor.visit = [this](const KFileIO::WalkEntry& entry) {
        if (m_cancelled && m_cancelled()) {
            fail(Problem::Cancelled);
            return KFileIO::WalkStep::Stop;
        }
        const QString relative = entry.relative();
        return isTemporary(relative) ? KFileIO::WalkStep::Skip : transferEntry(relative, entry.status);
    };
    visitor.failed = [this](const QString&, const QString& relative, int) {
        return check(Error::SourceUnreadable, relative);
    };
    return KFileIO::walk(m_sourceFolder, visitor);
}

KFileIO::WalkStep KBackupFolderMove::transferEntry(const QString& relative, const KFileStatus& source)
{
    using Step = KFileIO::WalkStep;
    const auto next = [](bool done, Step then = Step::Skip) {
        return done ? then : Step::Stop;
    };
    const QString from = sourcePath(relative);
    const QString to = destinationPath(relative);
    const KFileStatus target = KFileIO::status(to, KFileIO::Links::DontFollow);
    switch (source.kind()) {
    case KFileStatus::Missing:
        return Step::Skip;
    case KFileStatus::File:
        return next(transferFile(relative, source));
    case KFileStatus::Folder:
        if (target.kind() == KFileStatus::Missing && m_rename) {
            const qint64 bytes = KCommon::folderSize(from, false);
            const Error renamed = KFileTransfer::renameNoReplace(from, to);
            if (renamed == Error::None) {
                m_renamedIn << parentOf(from) << parentOf(to);
                advance(bytes);
                return Step::Skip;
            }
            if (renamed != Error::TargetExists)
                return next(check(renamed, relative));
        }
        // Its entries are moved next, into the folder made for them.
        if (target.kind() == KFileStatus::Missing || target.kind() == KFileStatus::Folder)
            return next(check(KFileTransfer::makeFolder(to), relative), Step::Enter);
        break;
    case KFileStatus::SymLink:
        if (target.kind() == KFileStatus::SymLink && sameLink(from, to))
            return Step::Skip;
        if (target.kind() == KFileStatus::Missing) {
            if (!m_rename)
                return next(check(KFileTransfer::copySymLink(from, to), relative));
            const Error renamed = KFileTransfer::renameNoReplace(from, to);
            m_renamedIn << parentOf(from) << parentOf(to);
            return next(check(renamed, relative));
        }
        break;
    case KFileStatus::Other:
        fail(Problem::NotMovable, relative);
        return Step::Stop;
    }
    fail(Problem::Conflict, relative);
    return Step::Stop;
}

bool KBackupFolderMove::transferFile(const QString& relative, const KFileStatus& source)
{
    const QString from = sourcePath(relative);
    const QString to = destinationPath(relative);
    const KFileStatus target = KFileIO::status(to, KFileIO::Links::DontFollow);
    if (target.kind() != KFileStatus::Missing) {
        // The same content already there counts as moved; anything else is not ours to replace.
        if (target.kind() == KFileStatus::File && target.size == source.size
            && KFileTransfer::sameContent(from, to)) {
            m_copied.insert(relative, { source, 0, false });
            advance(source.size);
            return true;
        }
        fail(Problem::Conflict, relative);
        return false;
    }
    if (m_rename) {
        const Error renamed = KFileTransfer::renameNoReplace(from, to);
        if (renamed == Error::None) {
            m_renamedIn << parentOf(from) << parentOf(to);
            advance(source.size);
        }
        return check(renamed, relative);
    }
    Copied made;
    const Error copied = copyInto(from, to, &made.source, &made.hash);
    if (copied == Error::None) {
        made.unchecked = true;
        m_copied.insert(relative, made);
        m_filledFolders.insert(parentOf(to));
        advance(made.source.size);
        // Moved on, a damaged backup would pass for whole wherever its record is lost.
        if (!m_recorded.sumOf(KVersionId(relative)).admits({ made.source.size, made.hash, true })) {
            qCWarning(vkStorage) << "the backup" << from << "differs from what was recorded when it was made";
            fail(Problem::CopyDamaged, relative);
            return false;
        }
    }
    return check(copied, relative);
}

Error KBackupFolderMove::copyInto(
    const QString& from, const QString& to, KFileStatus* matched, quint64* hash) const
{
    // Written aside and renamed into place once it matches, so that a copy under its final name
    // is always whole.
    const QString aside = temporaryFor(to);
    if (!KFileTransfer::removeFile(aside))
        return Error::NotWritable;
    Error copied = Error::None;
    for (int attempt = 0; attempt < BusyAttempts; ++attempt) {
        copied = KFileTransfer::copyFile(from, aside, matched, hash);
        if (copied != Error::SourceChanged && copied != Error::SourceInUse)
            break;
        if (m_cancelled && m_cancelled())
            break;
        QThread::msleep(BusyPauseMs);
    }
    if (copied == Error::None)
        copied = KFileTransfer::renameNoReplace(aside, to);
    if (copied != Error::None && !KFileTransfer::removeFile(aside))
        qCWarning(vkStorage) << "cannot remove the unfinished copy" << aside;
    return copied;
}

void KBackupFolderMove::advance(qint64 bytes)
{
    m_moved += quint64(qMax<qint64>(0, bytes));
    if (!m_progress || m_total == 0)
        return;
    if (m_sinceReport.isValid() && m_sinceReport.elapsed() < ReportIntervalMs && m_moved < m_total)
        return;
    m_sinceReport.start();
    m_progress(m_total, qMin(m_moved, m_total));
}

bool KBackupFolderMove::removeMovedSources()
{
    // Whether each folder entered, the old folder first, was cleared: only a cleared folder goes.
    QVector<bool> cleared { true };
    const auto clearedIf = [&cleared](bool done) {
        cleared.last() = done && cleared.last();
    };
    KFileIO::WalkVisitor visitor = walkByName();
    visitor.visit = [&](const KFileIO::WalkEntry& entry) {
        const QString relative = entry.relative();
        const QString from = sourcePath(relative);
        const QString to = destinationPath(relative);
        if (isTemporary(relative)) {
            clearedIf(KFileTransfer::removeFile(from));
            return KFileIO::WalkStep::Skip;
        }
        const KFileStatus target = KFileIO::status(to, KFileIO::Links::DontFollow);
        switch (entry.status.kind()) {
        case KFileStatus::Missing:
            break;
        case KFileStatus::Folder:
            if (target.kind() == KFileStatus::Missing && KFileTransfer::makeFolder(to) != Error::None) {
                clearedIf(false);
                break;
            }
            cleared.append(true);
            return KFileIO::WalkStep::Enter;
        case KFileStatus::File:
            clearedIf(settleSourceFile(relative));
            break;
        case KFileStatus::SymLink:
            if (target.kind() == KFileStatus::Missing
                && transferEntry(relative, entry.status) == KFileIO::WalkStep::Stop) {
                clearedIf(false);
                break;
            }
            if (KFileIO::status(from, KFileIO::Links::DontFollow).kind() == KFileStatus::SymLink)
                clearedIf(sameLink(from, to) && KFileTransfer::removeFile(from));
            break;
        case KFileStatus::Other:
            clearedIf(false);
            break;
        }
        return KFileIO::WalkStep::Skip;
    };
    visitor.leave = [&](const KFileIO::WalkEntry& entry) {
        const bool below = cleared.takeLast();
        clearedIf(below && KFileTransfer::removeEmptyFolder(entry.path()));
        return true;
    };
    visitor.failed = [&](const QString& path, const QString&, int error) {
        clearedIf(isListable(path, error));
        return true;
    };
    static_cast<void>(KFileIO::walk(m_sourceFolder, visitor));
    return cleared.first();
}

bool KBackupFolderMove::settleSourceFile(const QString& relative)
{
    const QString from = sourcePath(relative);
    const QString to = destinationPath(relative);
    for (int attempt = 0; attempt < BusyAttempts; ++attempt) {
        const KFileStatus source = KFileIO::status(from, KFileIO::Links::DontFollow);
        if (source.kind() == KFileStatus::Missing)
            return true;
        if (KFileIO::status(to, KFileIO::Links::DontFollow).kind() == KFileStatus::Missing) {
            // A backup that reached the old folder after the copying: it moves now, and its
            // copy is on disk and read back before the original goes.
            if (!transferFile(relative, source))
                return false;
            if (m_rename)
                return true;
            if (!KFileTransfer::syncFile(to))
                return false;
            KFileTransfer::readAheadFromDisk(to);
            if (!verifyCopied(relative))
                return false;
        }
        KFileStatus expected = m_copied.value(relative).source;
        if (!expected.isSameState(source)) {
            // Not copied by this move, or changed since: only the same content may go.
            if (!KFileTransfer::sameContent(from, to))
                return false;
            expected = source;
        }
        switch (KFileTransfer::removeUnchanged(from, expected)) {
        case Error::None:
            return true;
        case Error::SourceInUse:
            QThread::msleep(BusyPauseMs);
            break;
        case Error::SourceChanged:
            m_copied.remove(relative);
            break;
        default:
            return false;
        }
    }
    return false;
}

bool KBackupFolderMove::rollback()
{
    m_backupFolder = m_sourceFolder;
    bool settled = pointBackupPathTo(m_sourceRoot);
    awaitBackupWriters();
    settled = KFileTransfer::makeFolder(m_sourceFolder) == Error::None && settled;
    bool copiedBack = false;
    // Copies this move wrote and never found whole on the new disk go whatever they hold.
    m_unchecked.clear();
    for (auto it = m_copied.cbegin(); it != m_copied.cend(); ++it) {
        if (it->unchecked)
            m_unchecked.insert(it.key());
    }
    m_copied.clear();
    m_filledFolders.clear();
    bool broughtBack = bringBack(&copiedBack);
    // What came back is on disk and read back before its copy in the new folder goes.
    if (copiedBack && !KFileIO::syncFileSystem(m_sourceFolder))
        broughtBack = false;
    for (auto it = m_copied.cbegin(); broughtBack && it != m_copied.cend(); ++it) {
        KFileTransfer::readAheadFromDisk(sourcePath(it.key()));
        broughtBack
            = KFileTransfer::verifyCopy(sourcePath(it.key()), it->source.size, it->hash) == Error::None
            && KFileIO::syncFolder(parentOf(sourcePath(it.key())));
    }
    if (m_rename)
        broughtBack = syncRenamed() && broughtBack;
    settled = broughtBack && settled;
    if (broughtBack)
        settled = takeAwayCopies() && settled;
    if (!m_destinationExisted
        && !KFileTransfer::removeEmptyFolder(withoutTrailingSeparator(m_destinationFolder)))
        qCInfo(vkStorage) << "the new folder keeps what could not be taken away:" << m_destinationFolder;
    // A journal that could not be settled stays for the next start to try again.
    if (settled)
        removeJournal();
    return settled;
}

bool KBackupFolderMove::bringBack(bool* copiedBack)
{
    bool settled = true;
    KFileIO::WalkVisitor visitor = walkByName();
    visitor.visit = [&](const KFileIO::WalkEntry& entry) {
        const QString relative = entry.relative();
        const QString from = destinationPath(relative);
        const QString to = sourcePath(relative);
        const KFileStatus& there = entry.status;
        if (isTemporary(relative)) {
            if (!m_present.contains(relative))
                settled = KFileTransfer::removeFile(from) && settled;
            return KFileIO::WalkStep::Skip;
        }
        if (there.kind() == KFileStatus::Folder) {
            const KFileStatus here = KFileIO::status(to, KFileIO::Links::DontFollow);
            if (here.kind() == KFileStatus::Missing && m_rename && !m_present.contains(relative)) {
                const Error renamed = KFileTransfer::renameNoReplace(from, to);
                m_renamedIn << parentOf(from) << parentOf(to);
                settled = renamed == Error::None && settled;
                return KFileIO::WalkStep::Skip;
            }
            if (KFileTransfer::makeFolder(to) == Error::None)
                return KFileIO::WalkStep::Enter;
            settled = false;
            return KFileIO::WalkStep::Skip;
        }
        // Only what the old folder lacks comes back: files the move renamed, and backups made
        // into the new folder while the move ran.
        if (m_present.contains(relative)
            || KFileIO::status(to, KFileIO::Links::DontFollow).kind() != KFileStatus::Missing)
            return KFileIO::WalkStep::Skip;
        Error moved = Error::Other;
        if (m_rename) {
            moved = KFileTransfer::renameNoReplace(from, to);
            m_renamedIn << parentOf(from) << parentOf(to);
        } else if (there.kind() == KFileStatus::SymLink) {
            moved = KFileTransfer::copySymLink(from, to);
        } else if (there.kind() == KFileStatus::File) {
            Copied back;
            moved = copyInto(from, to, &back.source, &back.hash);
            if (moved == Error::None)
                m_copied.insert(relative, back);
        }
        if (moved == Error::None && !m_rename)
            *copiedBack = true;
        settled = moved == Error::None && settled;
        return KFileIO::WalkStep::Skip;
    };
    visitor.failed = [&settled](const QString& path, const QString&, int error) {
        settled = isListable(path, error) && settled;
        return true;
    };
    static_cast<void>(KFileIO::walk(m_destinationFolder, visitor));
    return settled;
}

bool KBackupFolderMove::takeAwayCopies()
{
    bool settled = true;
    KFileIO::WalkVisitor visitor = walkByName();
    visitor.visit = [&](const KFileIO::WalkEntry& entry) {
        const QString relative = entry.relative();
        const KFileStatus& copy = entry.status;
        if (copy.kind() == KFileStatus::Folder)
            return KFileIO::WalkStep::Enter;
        if (m_present.contains(relative))
            return KFileIO::WalkStep::Skip;
        const QString there = destinationPath(relative);
        const QString here = sourcePath(relative);
        const KFileStatus original = KFileIO::status(here, KFileIO::Links::DontFollow);
        if (original.kind() == KFileStatus::Missing) {
            settled = false; // it could not be brought back: it stays
            return KFileIO::WalkStep::Skip;
        }
        // A copy this move made, or one just brought back: the old folder holds the same.
        const bool same = copy.kind() == original.kind()
            && ((copy.kind() == KFileStatus::File
                    && (m_unchecked.contains(relative) || KFileTransfer::sameContent(here, there)))
                || (copy.kind() == KFileStatus::SymLink && sameLink(here, there)));
        if (same)
            settled = KFileTransfer::removeFile(there) && settled;
        return KFileIO::WalkStep::Skip;
    };
    // A folder that still holds anything stays.
    visitor.leave = [this](const KFileIO::WalkEntry& entry) {
        if (!m_present.contains(entry.relative()))
            static_cast<void>(KFileTransfer::removeEmptyFolder(entry.path()));
        return true;
    };
    visitor.failed = [&settled](const QString& path, const QString&, int error) {
        settled = isListable(path, error) && settled;
        return true;
    };
    static_cast<void>(KFileIO::walk(m_destinationFolder, visitor));
    return settled;
}

bool KBackupFolderMove::pointBackupPathTo(const QString& root) const
{
    KConfig* config = KConfig::instance();
    // Usually the settings dialog has written it already. A path this process reads may yet be
    // pending in memory only (its write failed): then it is written again, which puts every
    // pending change in the file.
    if ((config->isBackUpPathOnDisk(root) || config->setBackUpPath(root))
        && KFileTransfer::syncFile(config->filePath())) {
        return true;
    }
    qCWarning(vkStorage) << "cannot write the settings that point the backup path to" << root;
    return false;
}

bool KBackupFolderMove::syncRenamed() const
{
    // A folder the move has emptied and removed since needs no flush.
    bool synced = true;
    for (const QString& folder : m_renamedIn) {
        synced = (KFileIO::syncFolder(folder)
                     || KFileIO::status(folder, KFileIO::Links::DontFollow).kind() == KFileStatus::Missing)
            && synced;
    }
    return synced;
}

QString KBackupFolderMove::sourcePath(const QString& relative) const
{
    return relative.isEmpty() ? m_sourceFolder : m_sourceFolder + relative;
}

QString KBackupFolderMove::destinationPath(const QString& relative) const
{
    return relative.isEmpty() ? m_destinationFolder : m_destinationFolder + relative;
}

QString KBackupFolderMove::temporaryFor(const QString& path)
{
    return parentOf(path) + separator() + temporaryPrefix() + nameOf(path);
}

bool KBackupFolderMove::isTemporary(const QString& relative)
{
    return nameOf(relative).startsWith(temporaryPrefix());
}
