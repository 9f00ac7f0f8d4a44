#include "Widgets/versions/ktablewidgetbackedfileitem.h"

#include "Widgets/versions/krestoresteps.h"
#include "core/kcommon.h"
#include "core/kfileobject.h"
#include "core/kfileservicemanager.h"
#include "platform/kfileops.h"
#include "ui_ktablewidgetbackedfileitem.h"

#include <QMessageBox>

using KRestoreSteps::Outcome;
using KRestoreSteps::Place;

KTableWidgetBackedFileItem::KTableWidgetBackedFileItem(QWidget* parent)
    : KTableWidgetItemBase(parent)
    , m_ui(new Ui::KTableWidgetBackedFileItem)
{
    m_ui->setupUi(this);
    setItemType(ITEM_BACKED_FILE);
    setHoverBackground(m_ui->lblBG);
    KRestoreSteps::setUpRowControls(this, m_ui->lblBtn, m_ui->lblDelete, QStringLiteral("恢复至原位置"));
}

KTableWidgetBackedFileItem::~KTableWidgetBackedFileItem() = default;

KFindBackLabel* KTableWidgetBackedFileItem::findBackLabel() const
{
    return m_ui->lblBtn;
}

void KTableWidgetBackedFileItem::setData(const QStringList& texts)
{
    m_sourcePath = texts.value(0);
    m_versionId = texts.value(1);
    m_ui->lblBackedTime->setText(texts.value(2));
    m_damaged = false;
    m_ui->lblBtn->show();
    if (texts.value(3) == damagedMark())
        setDamaged();
}

void KTableWidgetBackedFileItem::setDamaged()
{
    if (m_damaged)
        return;
    m_damaged = true;
    m_ui->lblBackedTime->setText(m_ui->lblBackedTime->text() + tr("  备份文件已损坏"));
    m_ui->lblBtn->hide();
}

void KTableWidgetBackedFileItem::dropMissingVersion()
{
    KRestoreSteps::inform(window(), QMessageBox::Information, KRestoreSteps::missingBackupText());
    emit sigRemove(key());
}

void KTableWidgetBackedFileItem::onToSrcPlace()
{
    if (!KFileCopyedObject::backupFileExists(m_versionId)) {
        dropMissingVersion();
        return;
    }
    m_targetPath = m_sourcePath;
    m_ui->lblBtn->setState(2);
    if (KFileOps::status(m_targetPath).exists
        && KRestoreSteps::ask(window(), QStringLiteral("恢复到原位置"),
               QStringLiteral("这会覆盖您原有的工程文件，确定要恢复到原位置吗？"), QStringLiteral("确定覆盖"),
               QStringLiteral("取消"))
            != 1) {
        m_ui->lblBtn->setState(1);
        return;
    }
    copyAndShow(int(Place::SourcePlace), QStringLiteral("恭喜！文件已成功恢复"));
}

void KTableWidgetBackedFileItem::onToDeskTop()
{
    if (!KFileCopyedObject::backupFileExists(m_versionId)) {
        dropMissingVersion();
        return;
    }
    m_ui->lblBtn->setState(2);
    m_targetPath = KRestoreSteps::desktopTarget(m_sourcePath);
    if (!KRestoreSteps::settleSameName(window(), &m_targetPath)) {
        m_ui->lblBtn->setState(1);
        return;
    }
    copyAndShow(int(Place::Desktop), QStringLiteral("恭喜！文件已找回至桌面"));
}

void KTableWidgetBackedFileItem::copyAndShow(int place, const QString& successText)
{
    const QString versionId = m_versionId;
    const Outcome outcome
        = KRestoreSteps::copyLoop(window(), Place(place), &m_targetPath, [versionId](const QString& target) {
              return KFileServiceManager::instance()->restoreVersion(versionId, target);
          });
    switch (outcome) {
    case Outcome::Restored:
        m_ui->lblBtn->setResultText(successText);
        m_ui->lblBtn->setState(3);
        m_ui->lblDelete->hide();
        break;
    case Outcome::CopyMissing:
        m_ui->lblBtn->setState(1);
        dropMissingVersion();
        break;
    case Outcome::Damaged:
        m_ui->lblBtn->setState(1);
        setDamaged();
        break;
    case Outcome::GaveUp:
        m_ui->lblBtn->setState(1);
        break;
    }
}

void KTableWidgetBackedFileItem::onOpenFolder()
{
    if (!KRestoreSteps::reveal(m_targetPath))
        KRestoreSteps::inform(window(), QMessageBox::Warning, KRestoreSteps::openFailedText());
}

void KTableWidgetBackedFileItem::onDelete()
{
    if (KRestoreSteps::ask(window(), QStringLiteral("删除备份"), QStringLiteral("是否删除该备份文件？"),
            QStringLiteral("确定"), QStringLiteral("取消"))
        != 1) {
        return;
    }
    if (KFileServiceManager::instance()->removeVersion(m_versionId))
        emit sigRemove(m_versionId);
    else
        KRestoreSteps::inform(window(), QMessageBox::Information, QStringLiteral("对不起，文件删除失败！"));
}
