#pragma once

#include "core/atriumthread.h"

#include <QString>

// Moves the backup folder from one backup path to another on its own thread (see
// KBackupFolderMove), reporting the bytes moved as it goes and, at the end, where the backups
// are. Started by the move panel, which deletes it when it has finished.
class KFileOperationThread : public AtriumThread
{
    Q_OBJECT

public:
    KFileOperationThread(
        const QString& sourceRoot, const QString& destinationRoot, QObject* parent = nullptr);
    ~KFileOperationThread() override;

signals:
    void sigMoveProcess(qulonglong nTotal, qulonglong nCurrent);
    // `moved` is false when nothing moved, or not everything; `backupFolder` is where the
    // backups are now, and where the backup path points. `problem` is a
    // KBackupFolderMove::Problem, `entry` the backup file it concerns (may be empty).
    void sigMoveResult(bool moved, const QString& backupFolder, int problem, const QString& entry);

protected:
    void doWork() override;

private:
    QString m_sourceRoot;
    const QString m_destinationRoot;

    Q_DISABLE_COPY(KFileOperationThread)
};
