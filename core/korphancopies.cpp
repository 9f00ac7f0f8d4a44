#include "core/korphancopies.h"

#include "core/klogging.h"
#include "platform/kfileops.h"
#include "platform/kfiletransfer.h"

#include <algorithm>
#include <cerrno>

namespace {

bool isFileIdName(const QString& name, KVersionId* version)
{
    *version = KVersionId(name);
    char text[KVersionId::TextLength];
    return version->writeText(text) == KVersionId::TextLength
        && QLatin1String(text, KVersionId::TextLength) == name;
}

} // namespace

namespace KOrphanCopies {

Result remove(const QString& folder, const QVector<KVersionId>& named, qint64 madeBeforeMSecs)
{
    Result result;
    KFileIO::WalkVisitor visitor;
    visitor.visit = [&](const KFileIO::WalkEntry& entry) {
        KVersionId version;
        const QString name = entry.fileName();
        if (!entry.status.isFile || !isFileIdName(name, &version)
            || std::binary_search(named.cbegin(), named.cend(), version)) {
            return KFileIO::WalkStep::Skip;
        }
        const QString path = folder + name;
        // Made when its status last changed: a copy carries its source's modification time.
        if (KFileOps::status(path).createdMSecs >= madeBeforeMSecs)
            return KFileIO::WalkStep::Skip;
        if (KFileTransfer::removeFile(path)) {
            qCInfo(vkCleanUp) << "removed the copy no record lists:" << name;
            ++result.removed;
        } else {
            qCWarning(vkCleanUp) << "cannot remove the copy no record lists:" << path;
            ++result.failed;
        }
        return KFileIO::WalkStep::Skip;
    };
    visitor.failed = [&](const QString&, const QString&, int error) {
        if (error != ENOENT) {
            qCWarning(vkCleanUp) << "cannot list the backup folder" << folder << "to find unlisted copies";
            ++result.failed;
        }
        return false;
    };
    static_cast<void>(KFileIO::walk(folder, visitor, KFileIO::Links::Follow));
    return result;
}

} // namespace KOrphanCopies
