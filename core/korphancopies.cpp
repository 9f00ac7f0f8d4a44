#include "core/korphancopies.h"

#include "core/klogging.h"
#include "platform/kfileops.h"
#include "platform/kfiletransfer.h"

#include <algorithm>

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
    QStringList names;
    if (!KFileTransfer::entryNames(folder, &names)) {
        if (KFileIO::status(folder, KFileIO::Links::DontFollow).kind() != KFileStatus::Missing) {
            qCWarning(vkCleanUp) << "cannot list the backup folder" << folder << "to find unlisted copies";
            ++result.failed;
        }
        return result;
    }
    for (const QString& name : qAsConst(names)) {
        KVersionId version;
        if (!isFileIdName(name, &version) || std::binary_search(named.cbegin(), named.cend(), version))
            continue;
        const QString path = folder + name;
        // Made when its status last changed: a copy carries its source's modification time.
        if (KFileIO::status(path, KFileIO::Links::DontFollow).kind() != KFileStatus::File
            || KFileOps::status(path).createdMSecs >= madeBeforeMSecs) {
            continue;
        }
        if (KFileTransfer::removeFile(path)) {
            qCInfo(vkCleanUp) << "removed the copy no record lists:" << name;
            ++result.removed;
        } else {
            qCWarning(vkCleanUp) << "cannot remove the copy no record lists:" << path;
            ++result.failed;
        }
    }
    return result;
}

} // namespace KOrphanCopies
