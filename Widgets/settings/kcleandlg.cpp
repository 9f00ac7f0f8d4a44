#include "Widgets/settings/kcleandlg.h"

#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/dialogs/kmessagebox.h"
#include "core/kcommon.h"
#include "core/klogging.h"
#include "service/kfileservicemanager.h"
#include "ui_kcleandlg.h"

#include <QPushButton>

namespace {

const QString Nothing = QStringLiteral("0B");
const QString CleanPage = QStringLiteral("清理界面");
const QString Product = QStringLiteral("Vaultkeep");

} // namespace

KCleanDlg::KCleanDlg(const KServices& services, QWidget* parent)
    : KDialogBaseWidget(parent)
    , m_services(services)
    , m_ui(new Ui::KCleanDlg)
{
    m_ui->setupUi(this);
    const QString background = KCommon::skinImagePath(QStringLiteral("按扭背景.png"));
    for (KCustomButton* button : { m_ui->btnCleanAll, m_ui->btnCleanBefore, m_ui->btnClose })
        button->setPicName(background, 4);
    fixSize();

    connect(m_ui->btnCleanAll, &QPushButton::clicked, this, &KCleanDlg::onCleanAll);
    connect(m_ui->btnCleanBefore, &QPushButton::clicked, this, &KCleanDlg::onCleanBefore);
    connect(m_ui->btnClose, &QPushButton::clicked, this, &QWidget::close);
    connect(this, &KCleanDlg::sigGetBackedFilesSize, this, &KCleanDlg::onGetBackedFilesSize,
        Qt::QueuedConnection);
    setTitle(tr("清除"));
    emit sigGetBackedFilesSize();
}

KCleanDlg::~KCleanDlg() = default;

void KCleanDlg::showSizes()
{
    const KFileServiceManager* service = m_services.engine;
    const QString total = KCommon::displaySize(service->totalBackupSize());
    m_ui->lblCacheSize->setText(total);
    m_ui->lblCleanAllSize->setText(total);
    m_ui->lblCleanBeforeSize->setText(KCommon::displaySize(service->backupSizeBeforeToday()));
    if (m_ui->lblCleanAllSize->text() == Nothing)
        m_ui->btnCleanAll->setEnabled(false);
    if (m_ui->lblCleanBeforeSize->text() == Nothing)
        m_ui->btnCleanBefore->setEnabled(false);
}

void KCleanDlg::onGetBackedFilesSize()
{
    showSizes();
}

bool KCleanDlg::confirm(const QString& question)
{
    // Nothing cleaned up can be brought back: No is the default.
    const std::unique_ptr<KYMessageBox> box
        = KYMessageBox::question(this, tr("清除"), question, tr("清除"), tr("取消"));
    auto* yes = box->findChild<QPushButton*>(QStringLiteral("okButton"));
    auto* no = box->findChild<QPushButton*>(QStringLiteral("cancelButton"));
    // Focus must not make the other button the default.
    yes->setAutoDefault(false);
    no->setAutoDefault(false);
    no->setDefault(true);
    no->setFocus();
    return box->exec() == 1;
}

void KCleanDlg::onCleanBefore()
{
    if (!confirm(tr("今天之前的备份将被永久删除，这些版本再也无法恢复或找回。确定清除吗？")))
        return;
    KFileServiceManager* service = m_services.engine;
    if (!service->cleanBeforeToday())
        qCWarning(vkCleanUp) << "some backups made before today could not be deleted";
    showSizes();
    emit service->sigUpdate();
    writeManualTrace(QStringLiteral("清理今天之前备份"), CleanPage, Product);
}

void KCleanDlg::onCleanAll()
{
    if (!confirm(tr("全部备份将被永久删除，所有版本再也无法恢复或找回。确定清除吗？")))
        return;
    KFileServiceManager* service = m_services.engine;
    const bool cleaned = service->cleanAll();
    // Whatever no record lists goes too; what stays is taken by a later cycle's sweep.
    if (!KCommon::clearFolder(KCommon::backupDirectory()) || !cleaned)
        qCWarning(vkCleanUp) << "some backups could not be deleted:" << KCommon::backupDirectory();
    onGetBackedFilesSize();
    emit service->sigUpdate();
    writeManualTrace(QStringLiteral("全部清理"), CleanPage, Product);
}
