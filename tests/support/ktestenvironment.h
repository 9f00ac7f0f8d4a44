#pragma once

#include "kfakeplatform.h"

#include <QDateTime>
#include <QMap>
#include <QScopedPointer>
#include <QString>
#include <QTemporaryDir>

class KFileServiceManager;
class KProductCatalog;

constexpr quint64 MiB = 1024 * 1024;

// Puts a test process on the fake platform: folders, hive and drives below one temporary
// folder, Qt's standard paths in test mode. Nothing a test does reaches the real home folder.
class KTestEnvironment
{
public:
    KTestEnvironment();
    ~KTestEnvironment();

    KFakePlatform* platform() const { return m_platform.data(); }
    // Paths below the temporary folder; an absolute path is taken as it is.
    QString path(const QString& relative = QString()) const;

    // Creates the folder (with parents) and returns its path with a trailing "/".
    QString makeFolder(const QString& relative) const;
    // Writes `content` to the file, creating folders, and gives it the modification time
    // `modified` when one is given; returns its full path, empty on failure.
    QString writeFile(
        const QString& relative, const QByteArray& content, const QDateTime& modified = QDateTime()) const;

    // A fixed drive below the temporary folder, created on disk, and made the backup path.
    QString addBackupDrive(const QString& name, quint64 freeMiB = 50000);

    // Writes `content` at `path` (below the temporary folder unless absolute), modified
    // `modified`, and backs it up through `engine` as a new version of its record of kind `kind`.
    // The new version's FileID; empty on failure.
    QString backUp(KFileServiceManager* engine, const QString& path, const QByteArray& content,
        const QDateTime& modified, int kind = 0) const;

    // Runs this test program again with `arguments` (and `environment` added to its own); its
    // standard output, or "<failed>" when it did not end normally with code 0 within `timeoutMs`.
    static QByteArray runSelf(
        const QStringList& arguments, const QMap<QString, QString>& environment = {}, int timeoutMs = 60000);

    // writeFile() at a full path.
    static QString writeFileAt(const QString& file, const QByteArray& content, const QDateTime& modified);
    static bool setModified(const QString& path, const QDateTime& time);
    // The file's bytes; empty when it cannot be read.
    static QByteArray contentOf(const QString& path);
    // The permission bits of `path` itself, a link not followed; 0 when there is nothing.
    static unsigned modeOf(const QString& path);
    [[nodiscard]] static bool setMode(const QString& path, unsigned mode);
    // The names in `folder`, hidden and special ones included.
    static QStringList entriesOf(const QString& folder);
    // A FIFO, or a listening socket's file, at `path`, as another user could put in a list.
    static bool makeFifo(const QString& path);
    static bool makeSocket(const QString& path);
    // Makes the recent-file list of the catalog's first product whose code holds `codePart` name
    // exactly `paths`.
    static void listAsRecent(const KProductCatalog& catalog, const QStringList& paths,
        const QString& codePart = QStringLiteral("PRA4"));

private:
    QTemporaryDir m_dir;
    QScopedPointer<KFakePlatform> m_platform;
    Q_DISABLE_COPY(KTestEnvironment)
};
