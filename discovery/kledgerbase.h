#pragma once

#include <QLibrary>
#include <QString>
#include <QStringList>

// The maker's data engine, bound at run time by file name (libLedgerbase.so). The module reads
// one list field through it; when the library is missing every read simply fails.
class KLedgerbase
{
public:
    // Binds the library at `libraryPath`; an empty path searches for it (searchPaths(), then the
    // system's library search).
    explicit KLedgerbase(const QString& libraryPath = QString());
    ~KLedgerbase();

    // The engine of the process, searched for on first use.
    static KLedgerbase* instance();
    // Where the library is looked for before the system's search: beside the host executable, or
    // in the installed library folder.
    static QStringList searchPaths();

    bool isLoaded() const { return m_read != nullptr; }
    QString libraryPath() const;

    // The entries of a field of a record group, joined with "\r\n". False on any failure: no
    // library, no such file, group or field, or an error inside the engine.
    bool readField(
        const QString& database, const QString& recordGroup, const QString& field, QString* text) const;
    // Replaces a field's entries (tools and tests prepare databases with it).
    bool writeField(const QString& database, const QString& recordGroup, const QString& field,
        const QStringList& entries) const;

private:
    struct Database;
    using OpenFunction = Database* (*)(const char16_t*, int);
    using CloseFunction = void (*)(Database*);
    using ReadFunction = int (*)(Database*, const char16_t*, const char16_t*, char16_t*, int);
    using WriteFunction = int (*)(Database*, const char16_t*, const char16_t*, const char16_t* const*, int);

    bool bind(const QString& fileName);

    QLibrary m_library;
    OpenFunction m_open = nullptr;
    CloseFunction m_close = nullptr;
    ReadFunction m_read = nullptr;
    WriteFunction m_write = nullptr;
    Q_DISABLE_COPY(KLedgerbase)
};
