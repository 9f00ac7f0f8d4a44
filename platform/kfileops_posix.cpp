#include "platform/kfileops.h"
#include "platform/kplatform.h"

KCopySource::KCopySource(const QString& path)
    : m_fd(KFileIO::openRegular(path, KFileIO::Links::Follow, &m_raw))
{
    if (!m_fd.isValid())
        return;
    m_status = m_raw;
    KPlatform::instance()->adjustFileStatus(path, &m_status);
}

KFileIO::CopyResult KCopySource::copyTo(const QString& target, KContentSum* sum)
{
    if (!m_fd.isValid())
        return KFileIO::CopyResult::Failed;
    // The copy carries the modification time it is recorded under: the file's own, exact, unless
    // the platform answers another one.
    const qint64 modifiedNs
        = m_status.modifiedMSecs == m_raw.modifiedMSecs ? m_raw.modifiedNs : m_status.modifiedMSecs * 1000000;
    return KFileIO::copyToNew(m_fd.get(), m_raw, target, KFileIO::PrivateFileMode, modifiedNs, sum);
}

namespace KFileOps {

KFileStatus status(const QString& path)
{
    KFileStatus result = KFileIO::status(path);
    if (!path.isEmpty())
        KPlatform::instance()->adjustFileStatus(path, &result);
    return result;
}

bool copyFile(const QString& source, const QString& target)
{
    KCopySource from(source);
    return from.isOpen() && from.copyTo(target) == KFileIO::CopyResult::Copied;
}

} // namespace KFileOps
