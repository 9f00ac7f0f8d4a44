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

    // Once on the scanner's thread before its first cycle: what the cycles build on is loaded.
    // False when there was nothing to load.
    virtual bool onScannerStart() { return true; }
    // The seven-day clean-up was asked for: it runs on the scanner's thread before the cycle.
    virtual void onCleanUpRequested() { }
    virtual void onScanBegin() = 0;
    virtual void onFilesFound(const QStringList* files, int fileType, bool backupAllowed) = 0;
    virtual void onScanFinished() = 0;
};
