#include "discovery/kledgerbase.h"

#include "platform/kinstalllayout.h"
#include "platform/kplatform.h"

#include <QFileInfo>
#include <QVector>

namespace {

const QString LibraryFileName = QStringLiteral("libLedgerbase.so");

const char16_t* utf16(const QString& text)
{
    return reinterpret_cast<const char16_t*>(text.utf16());
}

} // namespace

KLedgerbase::KLedgerbase(const QString& libraryPath)
{
    if (!libraryPath.isEmpty()) {
        bind(libraryPath);
        return;
    }
    const QStringList candidates = searchPaths();
    for (const QString& candidate : candidates) {
        if (QFileInfo::exists(candidate) && bind(candidate))
            return;
    }
    bind(QStringLiteral("Ledgerbase")); // the system's library search
}

KLedgerbase::~KLedgerbase() = default; // the library stays loaded: other threads may still hold its functions

KLedgerbase* KLedgerbase::instance()
{
    static KLedgerbase engine;
    return &engine;
}

QStringList KLedgerbase::searchPaths()
{
    const QString folder = KInstallLayout::libraryFolder(KPlatform::instance()->hostExecutablePath());
    return { folder + QLatin1Char('/') + LibraryFileName };
}

QString KLedgerbase::libraryPath() const
{
    return isLoaded() ? m_library.fileName() : QString();
}

bool KLedgerbase::bind(const QString& fileName)
{
    m_library.setFileName(fileName);
    if (!m_library.load())
        return false;
    m_open = reinterpret_cast<OpenFunction>(m_library.resolve("LedgerbaseOpen"));
    m_close = reinterpret_cast<CloseFunction>(m_library.resolve("LedgerbaseClose"));
    m_read = reinterpret_cast<ReadFunction>(m_library.resolve("LedgerbaseReadField"));
    m_write = reinterpret_cast<WriteFunction>(m_library.resolve("LedgerbaseWriteField"));
    if (!m_open || !m_close || !m_read) {
        m_open = nullptr;
        m_close = nullptr;
        m_read = nullptr;
        m_write = nullptr;
        m_library.unload();
        return false;
    }
    return true;
}

bool KLedgerbase::readField(
    const QString& database, const QString& recordGroup, const QString& field, QString* text) const
{
    if (!isLoaded() || database.isEmpty())
        return false;
    // The engine is outside this module: whatever it throws ends the read, not the scan.
    try {
        Database* handle = m_open(utf16(database), 0);
        if (!handle)
            return false;
        QVector<char16_t> buffer(4096);
        int length = m_read(handle, utf16(recordGroup), utf16(field), buffer.data(), buffer.size());
        if (length >= buffer.size()) {
            buffer.resize(length + 1);
            length = m_read(handle, utf16(recordGroup), utf16(field), buffer.data(), buffer.size());
        }
        m_close(handle);
        if (length < 0 || length >= buffer.size())
            return false;
        *text = QString::fromUtf16(buffer.constData(), length);
        return true;
    } catch (...) {
        return false;
    }
}

bool KLedgerbase::writeField(const QString& database, const QString& recordGroup, const QString& field,
    const QStringList& entries) const
{
    if (!isLoaded() || !m_write || database.isEmpty())
        return false;
    try {
        Database* handle = m_open(utf16(database), 1);
        if (!handle)
            return false;
        QVector<const char16_t*> pointers;
        pointers.reserve(entries.size());
        for (const QString& entry : entries)
            pointers << utf16(entry);
        const bool written
            = m_write(handle, utf16(recordGroup), utf16(field), pointers.constData(), pointers.size()) == 0;
        m_close(handle);
        return written;
    } catch (...) {
        return false;
    }
}
