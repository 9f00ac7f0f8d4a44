#include "Widgets/deleted/ktablewidgetdeletedfileitem.h"

#include "Widgets/deleted/kdeletedwidget.h"
#include "Widgets/icons/kfileiconprovider.h"
#include "Widgets/versions/krestoresteps.h"
#include "core/kcommon.h"
#include "core/kfileobject.h"
#include "core/kfileservicemanager.h"
#include "ui_ktablewidgetdeletedfileitem.h"

#include <QFileInfo>
#include <QMessageBox>

KTableWidgetDeletedFileItem::KTableWidgetDeletedFileItem(QWidget* parent)
    : KTableWidgetItemBase(parent)
    , m_ui(new Ui::KTableWidgetDeletedFileItem)
{
    m_ui->setupUi(this);
    setItemType(ITEM_DELETED_FILE);
    setHoverBackground(m_ui->lblBG);
    KRestoreSteps::setUpRowControls(this, m_ui->lblBtn, m_ui->lblDelete, QStringLiteral("恢复到原位置"));
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
        m_ui->lblBtn->setResultText(texts.value(2));
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
    bringBack(
        key(), QMessageBox::Information, QMessageBox::Warning, QStringLiteral("恭喜！文件已找回到原位置"));
}

void KTableWidgetDeletedFileItem::onToDeskTop()
{
    // A file of the same name on the desktop is replaced without asking; it is backed up first.
    bringBack(KRestoreSteps::desktopTarget(key()), QMessageBox::Warning, QMessageBox::Information,
        QStringLiteral("恭喜！文件已恢复到桌面"));
}

void KTableWidgetDeletedFileItem::bringBack(
    const QString& target, int missingKind, int failedKind, const QString& successText)
{
    KFileServiceManager* engine = KFileServiceManager::instance();
    const auto record = engine->findFile(key());
    const KFileCopyedObject* latest = record ? record->latestVersion() : nullptr;
    const QString fileId = latest ? latest->fileId() : QString();
    if (fileId.isEmpty() || !KFileCopyedObject::backupFileExists(fileId)) {
        KRestoreSteps::inform(window(), missingKind, KRestoreSteps::missingBackupText());
        return;
    }
    m_targetPath = target;
    m_ui->lblBtn->setState(2);
    switch (engine->restoreVersion(fileId, m_targetPath)) {
    case KRestoreResult::Restored:
        m_ui->lblBtn->setResultText(successText);
        m_ui->lblBtn->setState(3);
        m_ui->lblDelete->hide();
        KDeletedWidget::restoredRows().insert(key(), { m_targetPath, successText, key() });
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
        KRestoreSteps::inform(window(), failedKind, QStringLiteral("备份文件找回失败，可能文件正在被使用！"));
        break;
    }
    m_ui->lblBtn->setState(1);
}

void KTableWidgetDeletedFileItem::onOpenFolder()
{
    if (!KRestoreSteps::reveal(m_targetPath))
        KRestoreSteps::inform(window(), QMessageBox::Information, KRestoreSteps::openFailedText());
}

void KTableWidgetDeletedFileItem::onDelete()
{
    if (KRestoreSteps::ask(window(), QStringLiteral("删除"),
            QStringLiteral("从列表里删除后这个文件就再也无法找回了，您确认永久删除它吗？"),
            QStringLiteral("永久删除"), QStringLiteral("取消"))
        != 1) {
        return;
    }
    if (!KFileServiceManager::instance()->removeFile(key())) {
        KRestoreSteps::inform(window(), QMessageBox::Information, QStringLiteral("对不起，文件删除失败！"));
        return;
    }
    KDeletedWidget::restoredRows().remove(key());
    emit sigRemove(key());
}
