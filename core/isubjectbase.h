#pragma once

#include <QList>
#include <QStringList>

class IObServerBase;

// The scanner's side of the protection cycle: each notification is forwarded at once, on the
// calling thread, to every attached observer in attachment order.
class ISubjectBase
{
public:
    virtual void notifyScanBegin();
    virtual void notifyScanFinished();
    virtual void notifyFilesFound(const QStringList* files, int fileType, bool backupAllowed);
    // True when every observer loaded what it keeps.
    bool notifyScannerStart();
    void notifyCleanUpRequested();

    // Appends `observer` (not owned); attaching it twice makes it hear everything twice.
    void attach(IObServerBase* observer);
    bool isAttached(IObServerBase* observer) const;

protected:
    ISubjectBase() = default;
    // Not virtual: a subject is never deleted through this interface.
    ~ISubjectBase() = default;

private:
    QList<IObServerBase*> m_observers;
};
