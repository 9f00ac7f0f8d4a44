#include "storage/kfileoperationthread.h"

#include "AtriumCommon/atriumuserdatalogutils.h"
#include "storage/kbackupfoldermove.h"

KFileOperationThread::KFileOperationThread(
    const QString& sourceRoot, const QString& destinationRoot, QObject* parent)
    : AtriumThread(parent)
    , m_sourceRoot(sourceRoot)
    , m_destinationRoot(destinationRoot)
{ }

KFileOperationThread::~KFileOperationThread()
{
    // A move asked to stop while it copies is undone; whatever a forced end leaves behind, the
    // journal settles at the next start.
    stopThread();
}

void KFileOperationThread::doWork()
{
    if (m_sourceRoot.isEmpty())
        return;
    KBackupFolderMove move(m_sourceRoot, m_destinationRoot);
    const KBackupFolderMove::Result result
        = move.run([this](quint64 total, quint64 moved) { emit sigMoveProcess(total, moved); },
            [this] { return isStopRequested(); });
    emit sigMoveResult(result == KBackupFolderMove::Result::Moved, move.backupFolder(), int(move.problem()),
        move.problemEntry());
    writeAutoTrace(QStringLiteral("移动磁盘"), QStringLiteral("移动备份文件"), QStringLiteral("Vaultkeep"));
    m_sourceRoot.clear();
}
