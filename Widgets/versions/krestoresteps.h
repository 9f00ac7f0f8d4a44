#pragma once

#include "Widgets/controls/klabel.h"
#include "Widgets/versions/kfindbacklabel.h"
#include "offsite/koffsitetypes.h"
#include "service/kfilerestore.h"

#include <QString>
#include <QStringList>

#include <functional>

class KPlatform;
class QWidget;

// The steps the restore procedures of the recovery views share: their boxes, the names of
// their targets, and the copy loop that asks what to do when a copy fails.
namespace KRestoreSteps {

// The texts more than one procedure shows.
QString missingBackupText(); // "备份文件丢失，请从其他版本恢复！"
QString notSavedText(); // the file at the target could not be backed up first
QString openFailedText(); // "打开文件失败！"
QString damagedText(); // the backup copy is not what was backed up
QString linkText(); // a restore does not write through a link at the target
QString folderNotCreatedText(const QString& folder); // names the folder that could not be made
// Why a copy could not be fetched from the repository off this machine.
QString offsiteFetchFailedText(KOffsiteProblem problem);

// The information box: title "提示", one button "确定", `kind` as its icon (1 information,
// 2 warning). Counted as an open box while it runs.
void inform(QWidget* parent, int kind, const QString& text);
// The question box: 1 for `accept`, 0 for `other`, -1 when closed.
int ask(
    QWidget* parent, const QString& title, const QString& text, const QString& accept, const QString& other);

// The desktop folder joined with the file name of `sourcePath`.
QString desktopTarget(KPlatform* platform, const QString& sourcePath);
// `existing` renamed after its own modification time: "a.b.xls" last modified 2014-03-05
// 08:09:10 gives "a.b2014-03-05-08-09-10.xls" in the same folder.
QString renamedTarget(const QString& existing);

// When a file is at `*target` already, asks whether to restore under a new name (then
// `*target` becomes renamedTarget()) or over it. False when the user closed the box.
bool settleSameName(QWidget* parent, QString* target);

// The save-file dialog for a copy of `sourcePath` placed elsewhere: it proposes the file's own
// name in its own folder (or the nearest folder of it that still exists). False when cancelled;
// otherwise `*target` is the place chosen.
bool chooseElsewhere(QWidget* parent, const QString& sourcePath, QString* target);
// After the folder of `*target` could not be made: says so, naming it, and offers another place
// (chooseElsewhere()). False when the user declined.
bool offerElsewhere(QWidget* parent, const QString& sourcePath, QString* target);

// What a restore of `sourcePath` to `target` reports: `sourceText` at the source place,
// `desktopText` on the desktop, and the folder's name anywhere else.
QString resultText(KPlatform* platform, const QString& sourcePath, const QString& target,
    const QString& sourceText, const QString& desktopText);

enum class Outcome
{
    Restored,
    CopyMissing,
    // The backup copy is damaged; the user was told.
    Damaged,
    GaveUp,
};

// Copies `sourcePath`'s backup with `copy` to `*target` until it succeeds or the user gives up.
// After a failed copy the user chooses another place (chooseElsewhere()) or the same place
// again (after 200 ms); when the target's folder could not be made, another place or none. A
// refusal (the file there cannot be backed up first, a link there, a damaged copy) is told in a
// box and ends the loop. `*target` ends as the place last tried.
Outcome copyLoop(QWidget* parent, KPlatform* platform, const QString& sourcePath, QString* target,
    const std::function<KRestoreResult(const QString& target)>& copy);

// The versions `fileIds` (FileIDs), the newest backup first: by backup date, then by the
// modification time each records.
QStringList newestFirst(const QStringList& fileIds);

// Shows the file selected in the file manager.
bool reveal(KPlatform* platform, const QString& path);

// Waits before a retry: the window keeps painting, user input waits.
void waitBeforeRetry();

// The bin picture of a row's delete button.
QString deleteButtonImage();

// Sets up the restore control and the delete button of a version row or a deleted-file row and
// connects them to the row's slots of the same names.
template<class Row>
void setUpRowControls(Row* row, KFindBackLabel* control, KLabel* deleteButton, const QStringList& menuEntries)
{
    const QString bin = deleteButtonImage();
    deleteButton->setImages(bin, bin, bin, bin);
    for (const QString& entry : menuEntries)
        control->addMenuEntry(entry);
    control->setState(1);
    QObject::connect(control, &KFindBackLabel::sigRecoverdToDesk, row, &Row::onToDeskTop);
    QObject::connect(control, &KFindBackLabel::sigRecoverdToSrcPalce, row, &Row::onToSrcPlace);
    QObject::connect(control, &KFindBackLabel::openFolder, row, &Row::onOpenFolder);
    QObject::connect(deleteButton, &KLabel::clicked, row, &Row::onDelete);
}

} // namespace KRestoreSteps
