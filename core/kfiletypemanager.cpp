#include "core/kfiletypemanager.h"

#include <mutex>

KFileTypeObject::KFileTypeObject(QObject* parent)
    : QObject(parent)
{ }

bool KFileTypeObject::addFileExt(const QString& extension)
{
    if (extension.isEmpty() || contains(extension))
        return false;
    m_fileExts.append(extension);
    return true;
}

bool KFileTypeObject::contains(const QString& extension) const
{
    return m_fileExts.contains(extension, Qt::CaseInsensitive);
}

KFileTypeManager::KFileTypeManager(QObject* parent)
    : QObject(parent)
{ }

KFileTypeManager* KFileTypeManager::instance()
{
    static KFileTypeManager manager;
    return &manager;
}

const KFileTypeObject* KFileTypeManager::objectOf(int kind) const
{
    switch (FileTypeKind(kind)) {
    case FileTypeKind::Pricing:
        return &m_pricing;
    case FileTypeKind::Civil:
        return &m_civil;
    case FileTypeKind::Rebar:
        return &m_rebar;
    case FileTypeKind::Installation:
        return &m_installation;
    case FileTypeKind::Other:
        return &m_other;
    case FileTypeKind::Unknown:
        break;
    }
    return nullptr;
}

KFileTypeObject* KFileTypeManager::objectOf(int kind)
{
    return const_cast<KFileTypeObject*>(qAsConst(*this).objectOf(kind));
}

bool KFileTypeManager::addFileExts(int kind, const QString& text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char(','));
    const std::lock_guard<std::shared_mutex> locker(m_lock);
    KFileTypeObject* object = objectOf(kind);
    if (!object)
        return false;
    for (const QString& part : parts)
        object->addFileExt(part.trimmed());
    return true;
}

int KFileTypeManager::fileTypeOfSuffix(const QString& suffix) const
{
    const QString trimmed = suffix.trimmed();
    if (trimmed.isEmpty())
        return int(FileTypeKind::Unknown);
    static constexpr FileTypeKind order[] = { FileTypeKind::Pricing, FileTypeKind::Other, FileTypeKind::Civil,
        FileTypeKind::Rebar, FileTypeKind::Installation };
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    for (const FileTypeKind kind : order) {
        if (objectOf(int(kind))->contains(trimmed))
            return int(kind);
    }
    return int(FileTypeKind::Unknown);
}

QStringList KFileTypeManager::fileExts(int kind) const
{
    const std::shared_lock<std::shared_mutex> locker(m_lock);
    const KFileTypeObject* object = objectOf(kind);
    return object ? object->fileExts() : QStringList();
}
