#pragma once

#include "hostlibs/pathmark/pathmark.h"

#include <QLibrary>
#include <QObject>
#include <QString>

#include <atomic>

// One usage-trace record. Empty user, application and version take the host's values.
struct AtriumTraceRecord
{
    QString operation;
    QString page;
    QString product;
    QString user;
    QString application;
    QString version;
    QString kind; // "自动发送;" or "手动操作;"
};

// A record's seven texts exactly as the trace library receives them, in its order.
struct AtriumTraceCall
{
    QString user;
    QString application;
    QString operation;
    QString page;
    QString product;
    QString versionText;
    QString kindText;
};

// Finds the host's usage-trace library, binds it by function name and sends records to it.
// Without the library every call does nothing. Any thread may send.
class AtriumUserDataLogUtils : public QObject
{
    Q_OBJECT

public:
    // Binds the library of the host whose executable is `hostExecutablePath`; empty means the
    // running host.
    explicit AtriumUserDataLogUtils(const QString& hostExecutablePath = QString(), QObject* parent = nullptr);
    ~AtriumUserDataLogUtils() override;

    // The object of the process; binds the library on first use.
    static AtriumUserDataLogUtils* instance();

    // Where the library of that host is looked for; empty when there is no place to look.
    static QString findLibrary(const QString& hostExecutablePath);
    // The file version of `path`; empty (with a debug message) when it has none.
    static QString getFileVersion(const QString& path);

    QString libraryPath() const { return m_libraryPath; }
    // Whether records reach a library.
    bool isBound() const;

    // Fills in the host's defaults and builds the texts the library receives.
    AtriumTraceCall prepare(const AtriumTraceRecord& record) const;
    // Hands prepared texts to the library.
    void upload(const AtriumTraceCall& call) const;
    void send(const AtriumTraceRecord& record) const;
    // Waits at most `msecs` until the library has stored what it received; false on timeout
    // or without the library.
    bool waitForUpload(int msecs) const;

private:
    QString m_hostExecutablePath;
    QString m_hostVersion;
    QString m_libraryPath;
    QLibrary m_library;
    // Cleared by the destructor while other threads may still send.
    std::atomic<UploadUserTraceInfoFunction> m_uploadUserTraceInfo { nullptr };
    std::atomic<WaitForUpLoadUserTraceLogFunction> m_waitForUpLoadUserTraceLog { nullptr };
    std::atomic<SetCacheFileNameFunction> m_setCacheFileName { nullptr };
    std::atomic<SetCacheItemMaxCountFunction> m_setCacheItemMaxCount { nullptr };

    Q_DISABLE_COPY(AtriumUserDataLogUtils)
};

// One-line tracing for the rest of the module: a record of the host's user, application and
// version, sent automatically respectively on a user's action.
void writeAutoTrace(const QString& operation, const QString& page, const QString& product);
void writeManualTrace(const QString& operation, const QString& page, const QString& product);
