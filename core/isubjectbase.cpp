#include "core/isubjectbase.h"

#include "core/iobserverbase.h"

void ISubjectBase::notifyScanBegin()
{
    for (IObServerBase* observer : qAsConst(m_observers))
        observer->onScanBegin();
}

void ISubjectBase::notifyScanFinished()
{
    for (IObServerBase* observer : qAsConst(m_observers))
        observer->onScanFinished();
}

void ISubjectBase::notifyFilesFound(const QStringList* files, int fileType, bool backupAllowed)
{
    for (IObServerBase* observer : qAsConst(m_observers))
        observer->onFilesFound(files, fileType, backupAllowed);
}

bool ISubjectBase::notifyScannerStart()
{
    bool loaded = true;
    for (IObServerBase* observer : qAsConst(m_observers))
        loaded = observer->onScannerStart() && loaded;
    return loaded;
}

void ISubjectBase::notifyCleanUpRequested()
{
    for (IObServerBase* observer : qAsConst(m_observers))
        observer->onCleanUpRequested();
}

void ISubjectBase::attach(IObServerBase* observer)
{
    m_observers.append(observer);
}

bool ISubjectBase::isAttached(IObServerBase* observer) const
{
    return m_observers.contains(observer);
}
