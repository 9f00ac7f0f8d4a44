#include "Widgets/deleted/ktablewidgetdeletedfileitem.h"

#include "Widgets/icons/kfileiconprovider.h"
#include "Widgets/versions/kfileversiondlg.h"
#include "Widgets/versions/krestoresteps.h"
#include "core/kcommon.h"
#include "core/kfileobject.h"
#include "service/kfileservicemanager.h"
#include "service/koffsiteservice.h"
#include "ui_ktablewidgetdeletedfileitem.h"

#include <QFileInfo>
#include <QMessageBox>

#include <memory>

KTableWidgetDeletedFileItem::KTableWidgetDeletedFileItem(const KServices& services, QWidget* parent)
    : KTableWidgetItemBase(parent)
    , m_services(services)
    , m_ui(new Ui::KTableWidgetDeletedFileItem)
{
    m_ui->setupUi(this);
    setItemType(ITEM_DELETED_FILE);
    setHoverBackground(m_ui->lblBG);
    KRestoreSteps::setUpRowControls(
        this, m_ui->lblBtn, m_ui->lblDelete, { tr("找回到原位置"), tr("选择其他版本") });
    connect(
        m_ui->lblBtn, &KFindBackLabel::sigOtherVersions, this, &KTableWidgetDeletedFileItem::onShowVersions);
}

KTableWidgetDeletedFileItem::~KTableWidgetDeletedFileItem() = default;

KFindBackLabel* KTableWidgetDeletedFileItem::findBackLabel() const
{
    return m_ui->lblBtn;
}

void KTableWidgetDeletedFileItem::setData(const QStringList& texts)
{
    m_sourcePath = texts.value(0);
    const QFileInfo file(m_sourcePath);
    const QString name = file.fileName();
    const QString folder = file.absolutePath();
    m_ui->lblName->setText(
        m_ui->lblName->fontMetrics().elidedText(name, Qt::ElideMiddle, m_ui->lblName->width()));
    m_ui->lblName->setToolTip(name);
    m_ui->lblPath->setText(
        m_ui->lblPath->fontMetrics().elidedText(folder, Qt::ElideMiddle, m_ui->lblPath->width()));
    m_ui->lblPath->setToolTip(folder);
    m_ui->lblIcon->setPixmap(KFileIconProvider::instance()->iconForFile(m_sourcePath).pixmap(32, 32));
    if (!texts.value(1).isEmpty()) {
        m_targetPath = texts.value(1);
        m_ui->lblBtn->setResultText(texts.value(2), m_targetPath);
        m_ui->lblBtn->setState(3);
        m_ui->lblDelete->hide();
    } else {
        m_targetPath.clear();
        m_ui->lblBtn->setState(1);
        m_ui->lblDelete->show();
    }
}

void KTableWidgetDeletedFileItem::onToSrcPlace()
{
    bringBack(key(), QMessageBox::Information, QMessageBox::Warning);
}

void KTableWidgetDeletedFileItem::onToDeskTop()
{
    // A file of the same name on the desktop is replaced without asking; it is backed up first.
    bringBack(KRestoreSteps::desktopTarget(m_services.platform, key()), QMessageBox::Warning,
        QMessageBox::Information);
}

void KTableWidgetDeletedFileItem::bringBack(const QString& target, int missingKind, int failedKind)
{
    KFileServiceManager* engine = m_services.engine;
    const auto record = engine->findFile(key());
    // Its newest backup is the last state of the file before it went.
    const QString fileId = record ? KRestoreSteps::newestFirst(record->versionIds()).value(0) : QString();
    if (fileId.isEmpty() || !KFileCopyedObject::backupFileExists(fileId)) {
        if (!fetchThenBringBack(fileId, target, missingKind, failedKind))
            KRestoreSteps::inform(window(), missingKind, KRestoreSteps::missingBackupText());
        return;
    }
    m_targetPath = target;
    m_ui->lblBtn->setState(2);
    KRestoreResult result = engine->restoreVersion(fileId, m_targetPath);
    // Its folder may be gone with it and not be made again: another place, if the user likes.
    while (result == KRestoreResult::FolderNotCreated
        && KRestoreSteps::offerElsewhere(window(), key(), &m_targetPath))
        result = engine->restoreVersion(fileId, m_targetPath);
    switch (result) {
    case KRestoreResult::Restored:
        showRestored(m_targetPath,
            KRestoreSteps::resultText(m_services.platform, key(), m_targetPath,
                tr("恭喜！文件已找回到原位置"), tr("恭喜！文件已找回到桌面")));
        return;
    case KRestoreResult::CopyMissing:
        KRestoreSteps::inform(window(), missingKind, KRestoreSteps::missingBackupText());
        break;
    case KRestoreResult::CurrentNotSaved:
        KRestoreSteps::inform(window(), QMessageBox::Warning, KRestoreSteps::notSavedText());
        break;
    case KRestoreResult::Damaged:
        KRestoreSteps::inform(window(), QMessageBox::Warning, KRestoreSteps::damagedText());
        break;
    case KRestoreResult::TargetIsLink:
        KRestoreSteps::inform(window(), QMessageBox::Warning, KRestoreSteps::linkText());
        break;
    case KRestoreResult::Failed:
        KRestoreSteps::inform(window(), failedKind, tr("备份文件找回失败，可能文件正在被使用！"));
        break;
    case KRestoreResult::FolderNotCreated:
        break;
    }
    m_ui->lblBtn->setState(1);
}

bool KTableWidgetDeletedFileItem::fetchThenBringBack(
    const QString& fileId, const QString& target, int missingKind, int failedKind)
{
    KOffsiteService* offsite = m_services.offsite;
    if (fileId.isEmpty() || !offsite || !offsite->canFetch())
        return false;
    if (KRestoreSteps::ask(window(), tr("从异地备份找回"),
            tr("这个文件的备份文件已丢失，是否从异地备份找回后再恢复？"), tr("找回"), tr("取消"))
        != 1) {
        return true;
    }
    m_ui->lblBtn->setState(2);
    auto answer = std::make_shared<QMetaObject::Connection>();
    *answer = connect(offsite, &KOffsiteService::versionFetched, this,
        [this, answer, fileId, target, missingKind, failedKind](
            const QString& fetched, KOffsiteProblem problem) {
            if (fetched != fileId)
                return;
            disconnect(*answer);
            if (problem == KOffsiteProblem::None) {
                bringBack(target, missingKind, failedKind);
                return;
            }
            m_ui->lblBtn->setState(1);
            KRestoreSteps::inform(
                window(), QMessageBox::Warning, KRestoreSteps::offsiteFetchFailedText(problem));
        });
    offsite->fetchVersion(fileId, m_services.engine->copySum(fileId), KCommon::backupDirectory() + fileId);
    return true;
}

void KTableWidgetDeletedFileItem::showRestored(const QString& target, const QString& message)
{
    m_targetPath = target;
    m_ui->lblBtn->setResultText(message, target);
    m_ui->lblBtn->setState(3);
    m_ui->lblDelete->hide();
    emit restored(key(), target, message);
}

void KTableWidgetDeletedFileItem::onShowVersions()
{
    QString target;
    QString message;
    {
        // The page holds back its refreshes while the dialog is open, and refreshes once this
        // slot has returned.
        KFileVersionDlg dialog(key(), m_services, window());
        connect(&dialog, &KFileVersionDlg::sigVersionRestored, this,
            [&target, &message](const QString& restoredTo, const QString& text) {
                target = restoredTo;
                message = text;
            });
        dialog.exec();
    }
    if (!target.isEmpty())
        showRestored(target, message);
}

void KTableWidgetDeletedFileItem::onOpenFolder()
{
    if (!KRestoreSteps::reveal(m_services.platform, m_targetPath))
        KRestoreSteps::inform(window(), QMessageBox::Information, KRestoreSteps::openFailedText());
}

void KTableWidgetDeletedFileItem::onDelete()
{
    if (KRestoreSteps::ask(window(), tr("删除"),
            tr("从列表里删除后这个文件就再也无法找回了，您确认永久删除它吗？"), tr("永久删除"), tr("取消"))
        != 1) {
        return;
    }
    if (!m_services.engine->removeFile(key())) {
        KRestoreSteps::inform(window(), QMessageBox::Information, tr("对不起，文件删除失败！"));
        return;
    }
    emit sigRemove(key());
}
