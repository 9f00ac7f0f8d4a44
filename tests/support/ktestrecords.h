#pragma once

#include "core/kfileobject.h"
#include "core/kfileobjectmgr.h"
#include "core/kprotectiondatabase.h"

#include <QString>
#include <QStringList>

#include <array>

// The engine's five collections of protected files, one per kind.
using KTestStore = std::array<KFileObjectMgr, 5>;

inline KProtectionDatabase::Collections collectionsOf(KTestStore& store)
{
    return { &store[0], &store[1], &store[2], &store[3], &store[4] };
}

// A well-formed FileID numbered `n`: the modification `modified` (yyyyMMddhhmmss) backed up on
// `backedUp` (yyyyMMdd).
inline QString testFileId(int n, const QString& modified = QStringLiteral("20240105093012"),
    const QString& backedUp = QStringLiteral("20240105"))
{
    return QStringLiteral("{00000000-0000-0000-0000-%1}_").arg(n, 12, 10, QLatin1Char('0')) + modified
        + QLatin1Char('_') + backedUp;
}

// A record of `path` with versions of the given FileIDs, added to `collection` (kept there only
// when the collection accepts it).
inline void addTestRecord(
    KFileObjectMgr* collection, const QString& path, int type, const QStringList& fileIds)
{
    auto* record = new KFileObject(path, type);
    for (const QString& id : fileIds)
        record->addVersion(id);
    if (!collection->addFile(record))
        delete record;
}
