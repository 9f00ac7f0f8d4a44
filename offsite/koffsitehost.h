#pragma once

#include "platform/kfileio.h"

#include <QString>
#include <QStringList>

#include <functional>

// What the copy off this machine needs of the rest of the product, handed in by whoever builds it.
class KOffsiteHost
{
public:
    virtual ~KOffsiteHost();

    // The folder that holds the copies of the versions.
    virtual QString backupFolder() const = 0;
    // The protection database and the sums file beside it.
    virtual QStringList databaseFiles() const = 0;
    using SumLookup = std::function<KContentSum(const QString& fileId)>;
    // The sums recorded in the sums file beside a database brought back, by FileID, to check its
    // copies with before they are taken in; a copy it does not know gives a sum not known.
    virtual SumLookup recordedSums(const QString& databaseFile) const = 0;
    // Adds the records of a database brought back from the repository, its sums file beside it,
    // to the product's own, for the copies now in the backup folder. False when nothing was
    // taken in (the file could not be read); a save that fails is made again later.
    [[nodiscard]] virtual bool importDatabase(const QString& databaseFile) = 0;
};
