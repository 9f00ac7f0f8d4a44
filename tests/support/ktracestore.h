#pragma once

#include "AtriumCommon/atriumuserdatalogutils.h"
#include "ktestenvironment.h"

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QVector>

#include <sqlite3.h>

// What the trace library stored, read back with SQLite, and the library as the tests use it.

struct KStoredTrace
{
    QString time;
    QString user;
    QString application;
    QString operation;
    QString page;
    QString product;
    QString version;
    QString kind;
};

// Every record in `databaseFile`, oldest first; empty when there is no such file.
inline QVector<KStoredTrace> readStoredTraces(const QString& databaseFile)
{
    QVector<KStoredTrace> traces;
    sqlite3* db = nullptr;
    if (!QFile::exists(databaseFile)
        || sqlite3_open_v2(QFile::encodeName(databaseFile).constData(), &db, SQLITE_OPEN_READONLY, nullptr)
            != SQLITE_OK) {
        sqlite3_close(db);
        return traces;
    }
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* query = nullptr;
    if (sqlite3_prepare_v2(db,
            "SELECT time, user, application, operation, page, product, version, kind FROM trace ORDER BY id",
            -1, &query, nullptr)
        == SQLITE_OK) {
        const auto column = [query](int index) {
            return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(query, index)));
        };
        while (sqlite3_step(query) == SQLITE_ROW) {
            traces.append(
                { column(0), column(1), column(2), column(3), column(4), column(5), column(6), column(7) });
        }
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    return traces;
}

// The trace file as the library places it below the cache folder `cacheHome`.
inline QString traceDatabase(const QString& cacheHome)
{
    return cacheHome + QStringLiteral("/Atrium/AtriumDataLog.db");
}

// Copies the freshly built trace library into `folder`; returns the copy's path.
inline QString installPathmark(const QString& folder)
{
    QDir().mkpath(folder);
    const QString target = folder + QStringLiteral("/libPathmark.so");
    QFile::remove(target);
    return QFile::copy(QStringLiteral(VK_PATHMARK_LIBRARY), target) ? target : QString();
}

// Makes the fake platform's host an executable "atrium" in the test's folder, of version
// `version`, with the trace library beside it; returns the executable's path, empty on failure.
inline QString installHostWithPathmark(KTestEnvironment& env, const QString& version)
{
    const QString host = env.writeFile(QStringLiteral("host/atrium"), "host");
    if (host.isEmpty() || installPathmark(env.path(QStringLiteral("host"))).isEmpty())
        return QString();
    env.platform()->setHostExecutablePath(host);
    env.platform()->setFileVersion(version);
    return host;
}

// The records the process's trace library stored since the previous take(), each as
// "operation|page|product|kind" with the kind's own part ("自动发送" or "手动操作").
class KNewTraces
{
public:
    explicit KNewTraces(const QString& cacheHome)
        : m_database(traceDatabase(cacheHome))
    { }

    QStringList take()
    {
        AtriumUserDataLogUtils::instance()->waitForUpload(10000);
        const QVector<KStoredTrace> traces = readStoredTraces(m_database);
        QStringList records;
        for (int i = m_seen; i < traces.size(); ++i) {
            const KStoredTrace& trace = traces.at(i);
            records << QStringList { trace.operation, trace.page, trace.product,
                trace.kind.section(QLatin1Char(';'), 0, 0) }
                           .join(QLatin1Char('|'));
        }
        m_seen = traces.size();
        return records;
    }

private:
    QString m_database;
    int m_seen = 0;
};
