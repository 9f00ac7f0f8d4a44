#include "service/kfilerestore.h"

#include "core/kcommon.h"
#include "core/kconfig.h"
#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "core/kfiletypemanager.h"
#include "core/ktimestamp.h"
#include "platform/kfileops.h"
#include "platform/kpaths.h"
#include "service/kfileservicemanager.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

KRestoreResult restore(KFileServiceManager* engine, const QString& copyPath, const QString& target,
    qint64 modifiedNs, const KContentSum& recorded, const std::function<void()>& afterEachChunk)
{
    const KFileStatus copy = KFileOps::status(copyPath);
    if (!copy.isFile)
        return KRestoreResult::CopyMissing;
    // A copy of another size is known to be damaged before anything is touched.
    if (recorded.isKnown() && copy.size != recorded.size)
        return KRestoreResult::Damaged;
    const KFileStatus current = KFileIO::status(target, KFileIO::Links::DontFollow);
    if (current.isLink)
        return KRestoreResult::TargetIsLink;
    if (!current.exists) {
        const QString folder = QFileInfo(target).absolutePath();
        if (!KFileOps::status(folder).isDir && !QDir().mkpath(folder))
            return KRestoreResult::FolderNotCreated;
    }
    if (current.exists) {
        // A folder or a device at the target is never replaced, nor a file of another user's.
        if (!current.isFile || !current.isOwn)
            return KRestoreResult::Failed;
        if (!engine->backUpCurrentState(target))
            return KRestoreResult::CurrentNotSaved;
    }
    switch (KFileIO::replaceFile(copyPath, target, modifiedNs, recorded, afterEachChunk)) {
    case KReplaceResult::Replaced:
        return KRestoreResult::Restored;
    case KReplaceResult::SourceDamaged:
        return KRestoreResult::Damaged;
    case KReplaceResult::TargetIsLink:
        return KRestoreResult::TargetIsLink;
    case KReplaceResult::Failed:
        break;
    }
    return KFileOps::status(copyPath).isFile ? KRestoreResult::Failed : KRestoreResult::CopyMissing;
}

// Whether a version of `record` whose copy is present carries `stamp` in its FileID.
bool hasVersionWithStamp(const KFileObject& record, const QString& stamp)
{
    const QStringList ids = record.versionIds();
    for (const QString& id : ids) {
        if (id.midRef(KFileCopyedObject::StampPosition, KFileCopyedObject::StampLength) == stamp
            && KFileCopyedObject::backupFileExists(id)) {
            return true;
        }
    }
    return false;
}

} // namespace

namespace KFileRestore {

int kindOfPath(const QString& path)
{
    const int kind = KFileTypeManager::instance()->fileTypeOfSuffix(QFileInfo(path).suffix());
    return kind >= 0 && kind < KFileServiceManager::KindCount ? kind : int(FileTypeKind::Other);
}

KRestoreResult restoreVersion(KFileServiceManager* engine, const QString& fileId, const QString& target,
    const std::function<void()>& afterEachChunk)
{
    if (!KFileCopyedObject::isSafeFileId(fileId))
        return KRestoreResult::CopyMissing;
    const QString copyPath = KCommon::backupDirectory() + fileId;
    // The FileID records the time to the second; the copy's own time is exact when it agrees.
    KFileCopyedObject version;
    version.setFileId(fileId);
    const QString stamp = version.modifiedStamp();
    qint64 modifiedNs = -1;
    if (!stamp.isEmpty() && KTimeStamp::formatMSecs(KFileOps::status(copyPath).modifiedMSecs) != stamp)
        modifiedNs = version.modifiedTime().toMSecsSinceEpoch() * 1000000;
    const KRestoreResult result
        = restore(engine, copyPath, target, modifiedNs, engine->copySum(fileId), afterEachChunk);
    if (result == KRestoreResult::Damaged)
        engine->markCopyDamaged(fileId);
    return result;
}

KRestoreResult restoreFile(KFileServiceManager* engine, const QString& copyPath, const QString& target,
    const std::function<void()>& afterEachChunk)
{
    return restore(engine, copyPath, target, -1, KContentSum(), afterEachChunk);
}

} // namespace KFileRestore

// ---- The engine's entry points ----

bool KFileServiceManager::backUpCurrentState(const QString& path)
{
    const KFileStatus file = KFileOps::status(path);
    if (!file.isFile)
        return false;
    const QString key = KPaths::foldCase(path);
    KFileObjectPtr record = findFile(key);
    if (record && hasVersionWithStamp(*record, KTimeStamp::formatMSecs(file.modifiedMSecs)))
        return true;

    const int kind = record ? record->fileType() : KFileRestore::kindOfPath(path);
    const QStringList before = record ? record->versionIds() : QStringList();
    record = collection(kind)->backupFile(key, kind);
    if (!record)
        return false;
    markChanged();
    if (!KConfig::instance()->addToTotalBackupCount(1))
        m_counterUnsaved = true; // written again at the end of the next cycle
    const QSet<QString> known(before.cbegin(), before.cend());
    const QStringList after = record->versionIds();
    for (const QString& id : after) {
        if (!known.contains(id))
            emit sigVersionAdded(record->fileName(), id);
    }
    // The copy is on disk; the restore goes on only once the database lists it too. Should the
    // save fail, the end of the next cycle saves it.
    return saveDatabase();
}

KRestoreResult KFileServiceManager::restoreVersion(
    const QString& fileId, const QString& target, const std::function<void()>& afterEachChunk)
{
    return KFileRestore::restoreVersion(this, fileId, target, afterEachChunk);
}

KRestoreResult KFileServiceManager::restoreFile(
    const QString& copyPath, const QString& target, const std::function<void()>& afterEachChunk)
{
    return KFileRestore::restoreFile(this, copyPath, target, afterEachChunk);
}
