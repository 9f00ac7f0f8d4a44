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

QString KSaveFileDialog::getSaveFileName(QWidget* parent, const QString& caption, const QString& proposed,
    const QString& filter, const QString& defaultSuffix)
{
    QueuedNames& answers = queued();
    if (!answers.names.isEmpty()) {
        answers.requests.append(proposed + QLatin1Char('|') + filter);
        return answers.names.takeFirst();
    }
    QFileDialog dialog(parent, caption, proposed, filter);
    dialog.setObjectName(QStringLiteral("saveFileDialog"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted)
        return QString();
    return dialog.selectedFiles().value(0);
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
