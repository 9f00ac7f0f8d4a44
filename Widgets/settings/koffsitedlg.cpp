#include "Widgets/settings/koffsitedlg.h"

#include "Widgets/dialogs/kmessagebox.h"
#include "core/kcommon.h"
#include "offsite/kresticcommand.h"
#include "service/koffsiteservice.h"
#include "ui_koffsitedlg.h"

#include <QPushButton>

KOffsiteDlg::KOffsiteDlg(KOffsiteService* service, QWidget* parent)
    : KDialogBaseWidget(parent)
    , m_service(service)
    , m_ui(new Ui::KOffsiteDlg)
{
    m_ui->setupUi(this);
    const QString background = KCommon::skinImagePath(QStringLiteral("按扭背景.png"));
    for (KCustomButton* button : { m_ui->btnTest, m_ui->btnRestoreAll, m_ui->btnOk, m_ui->btnCancel })
        button->setPicName(background, 4);
    fixSize();
    setTitle(tr("异地备份"));

    const KOffsiteSettings settings = m_service->settings();
    m_ui->chkEnabled->setChecked(settings.enabled);
    m_ui->editRepository->setText(settings.repository);
    m_ui->spinKeepDays->setValue(settings.keepDays);
    m_ui->spinInterval->setValue(settings.intervalMinutes);
    if (m_service->hasPassword())
        m_ui->editPassword->setPlaceholderText(tr("已保存，不修改请留空"));
    m_ui->lblInstall->setVisible(KResticCommand::findProgram(settings.program).isEmpty());
    showKeyringNote();

    connect(m_service, &KOffsiteService::keyringUnavailable, this, &KOffsiteDlg::showKeyringNote);
    connect(m_service, &KOffsiteService::connectionTested, this, &KOffsiteDlg::onTested);
    connect(m_ui->btnTest, &QPushButton::clicked, this, &KOffsiteDlg::onTest);
    connect(m_ui->btnOk, &QPushButton::clicked, this, &KOffsiteDlg::onSave);
    connect(m_ui->btnRestoreAll, &QPushButton::clicked, this, &KOffsiteDlg::onRestoreAll);
    connect(m_service, &KOffsiteService::allRestored, this, &KOffsiteDlg::onAllRestored);
    connect(m_ui->btnCancel, &QPushButton::clicked, this, &QWidget::close);
}

KOffsiteDlg::~KOffsiteDlg() = default;

KOffsiteSettings KOffsiteDlg::chosen() const
{
    KOffsiteSettings settings = m_service->settings();
    settings.enabled = m_ui->chkEnabled->isChecked();
    settings.repository = m_ui->editRepository->text().trimmed();
    settings.keepDays = m_ui->spinKeepDays->value();
    settings.intervalMinutes = m_ui->spinInterval->value();
    return settings;
}

void KOffsiteDlg::showKeyringNote()
{
    m_ui->lblKeyring->setVisible(!m_service->keyringAvailable());
}

void KOffsiteDlg::onTest()
{
    if (m_ui->editRepository->text().trimmed().isEmpty()) {
        m_ui->lblResult->setText(tr("请先填写备份位置"));
        return;
    }
    m_testing = true;
    m_ui->btnTest->setEnabled(false);
    m_ui->lblResult->setText(tr("正在连接..."));
    m_service->testConnection(chosen(), m_ui->editPassword->text().toUtf8(), false);
}

void KOffsiteDlg::onTested(KOffsiteProblem problem, bool initialised)
{
    if (!m_testing)
        return;
    m_testing = false;
    m_ui->btnTest->setEnabled(true);
    if (problem == KOffsiteProblem::NotARepository) {
        m_ui->lblResult->setText(offsiteProblemText(problem));
        const std::unique_ptr<KYMessageBox> box = KYMessageBox::question(
            this, tr("异地备份"), tr("该位置还不是备份仓库，要在这里新建一个吗？"), tr("新建"), tr("取消"));
        if (box->exec() != 1)
            return;
        m_testing = true;
        m_ui->btnTest->setEnabled(false);
        m_ui->lblResult->setText(tr("正在新建备份仓库..."));
        m_service->testConnection(chosen(), m_ui->editPassword->text().toUtf8(), true);
        return;
    }
    if (problem == KOffsiteProblem::None)
        m_ui->lblResult->setText(
            initialised ? tr("已新建备份仓库，可以使用") : tr("连接成功，备份仓库可以使用"));
    else
        m_ui->lblResult->setText(offsiteProblemText(problem));
}

void KOffsiteDlg::onSave()
{
    const KOffsiteSettings settings = chosen();
    const QByteArray password = m_ui->editPassword->text().toUtf8();
    if (settings.enabled && settings.repository.isEmpty()) {
        m_ui->lblResult->setText(tr("请先填写备份位置"));
        return;
    }
    if (settings.enabled && password.isEmpty() && !m_service->hasPassword()) {
        m_ui->lblResult->setText(tr("请输入备份仓库的密码"));
        return;
    }
    if (!m_service->apply(settings, password)) {
        m_ui->lblResult->setText(tr("设置未能保存，请检查磁盘空间后重试"));
        return;
    }
    m_ui->editPassword->clear();
    accept();
}

void KOffsiteDlg::onRestoreAll()
{
    const QByteArray password = m_ui->editPassword->text().toUtf8();
    if (chosen().repository.isEmpty() || (password.isEmpty() && !m_service->hasPassword())) {
        m_ui->lblRestore->setText(tr("请先填写备份位置和仓库密码"));
        return;
    }
    if (m_service->holdsVersions()) {
        const std::unique_ptr<KYMessageBox> box = KYMessageBox::question(this, tr("异地备份"),
            tr("备份目录中已有备份版本。全部恢复会补回缺少的版本，已有的版本保持不变。要继续吗？"),
            tr("全部恢复"), tr("取消"));
        if (box->exec() != 1)
            return;
    }
    m_restoring = true;
    m_ui->btnRestoreAll->setEnabled(false);
    m_ui->barRestore->setVisible(true);
    m_ui->lblRestore->setText(tr("正在从异地备份恢复全部备份，请稍候..."));
    m_service->restoreAll(chosen(), password);
}

void KOffsiteDlg::onAllRestored(KOffsiteProblem problem, int restored, int kept)
{
    if (!m_restoring)
        return;
    m_restoring = false;
    m_ui->btnRestoreAll->setEnabled(true);
    m_ui->barRestore->setVisible(false);
    if (problem == KOffsiteProblem::None)
        m_ui->lblRestore->setText(tr("恢复完成：取回 %1 个版本，%2 个版本原本就在").arg(restored).arg(kept));
    else
        m_ui->lblRestore->setText(tr("恢复未完成，备份目录保持原样：%1").arg(offsiteProblemText(problem)));
}
