#include "Widgets/dialogs/ksavefiledialog.h"

#include <QFileDialog>

namespace {

// Only ever touched on the GUI thread.
struct QueuedNames
{
    QStringList names;
    QStringList requests;
};

QueuedNames& queued()
{
    static QueuedNames answers;
    return answers;
}

} // namespace

QString KSaveFileDialog::getSaveFileName(
    QWidget* parent, const QString& caption, const QString& folder, const QString& filter)
{
    QueuedNames& answers = queued();
    if (answers.names.isEmpty())
        return QFileDialog::getSaveFileName(parent, caption, folder, filter);
    answers.requests.append(folder + QLatin1Char('|') + filter);
    return answers.names.takeFirst();
}

void KSaveFileDialog::setNextFileName(const QString& fileName)
{
    queued().names.append(fileName);
}

void KSaveFileDialog::clearNextFileNames()
{
    queued().names.clear();
    queued().requests.clear();
}

int KSaveFileDialog::queuedFileNameCount()
{
    return queued().names.size();
}

QStringList KSaveFileDialog::answeredRequests()
{
    return queued().requests;
}
