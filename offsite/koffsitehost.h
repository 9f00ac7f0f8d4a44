#pragma once

#include <QString>
#include <QStringList>

// What the copy off this machine needs of the rest of the product, handed in by whoever builds it.
class KOffsiteHost
{
public:
    virtual ~KOffsiteHost();

    // The folder that holds the copies of the versions.
    virtual QString backupFolder() const = 0;
    // The protection database and the sums file beside it.
    virtual QStringList databaseFiles() const = 0;
    // Adds the records of a database brought back from the repository, its sums file beside it,
    // to the product's own; true once they are in the saved database.
    [[nodiscard]] virtual bool importDatabase(const QString& databaseFile) = 0;
};
