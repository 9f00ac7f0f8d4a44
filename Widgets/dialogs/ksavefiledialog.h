#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The save-file dialog of the restore procedures.
//
// Tests answer it in advance, as they answer the message boxes: while names are queued with
// setNextFileName(), getSaveFileName() takes the first of them at once, without showing a
// dialog (an empty name answers as a cancelled dialog), and remembers the name and filter it
// was asked with. With no name queued the platform's dialog is shown.
class KSaveFileDialog
{
public:
    // The chosen file name, or empty when the user cancelled. The dialog opens in the folder of
    // `proposed` with its file name filled in; a name typed without a suffix gets
    // `defaultSuffix`.
    static QString getSaveFileName(QWidget* parent, const QString& caption, const QString& proposed,
        const QString& filter, const QString& defaultSuffix = QString());

    static void setNextFileName(const QString& fileName);
    // Forgets queued names and the requests answered.
    static void clearNextFileNames();
    static int queuedFileNameCount();
    // "<proposed>|<filter>" of each dialog answered from the queue, oldest first.
    static QStringList answeredRequests();

private:
    KSaveFileDialog() = delete;
};
