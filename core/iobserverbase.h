#pragma once

#include <QObject>
#include <QStringList>

// The engine's side of the protection cycle: a cycle is onScanBegin(), then the found files of
// each file kind 0 to 4, then onScanFinished(), all on the scanner's thread.
class IObServerBase : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void onScanBegin() = 0;
    virtual void onFilesFound(const QStringList* files, int fileType, bool backupAllowed) = 0;
    virtual void onScanFinished() = 0;
};
