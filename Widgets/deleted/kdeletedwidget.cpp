#include "Widgets/deleted/kdeletedwidget.h"

#include "AtriumCommon/atriumuserdatalogutils.h"
#include "Widgets/deleted/ktablewidgetdeletedfileitem.h"
#include "Widgets/dialogs/kmessagebox.h"
#include "Widgets/table/knodatawidget.h"
#include "Widgets/versions/kfileversiondlg.h"
#include "Widgets/versions/krestoresteps.h"
#include "core/kcommon.h"
#include "core/krows.h"
#include "platform/kfileops.h"
#include "service/kfileservicemanager.h"
#include "ui_kdeletedwidget.h"

#include <QLineEdit>
#include <QMessageBox>

KDeletedWidget::KDeletedWidget(QWidget* parent)
    : QWidget(parent)
    , m_ui(new Ui::KDeletedWidget)
    , m_noData(new KNoDataWidget(this))
{
    m_ui->setupUi(this);
    m_noData->setObjectName(QStringLiteral("noDataWidget"));
    m_noData->setMode(1);
    m_noData->hide();
    m_ui->lblClearBtn->setImages(KCommon::skinImagePath(QStringLiteral("清空列表01.png")),
        KCommon::skinImagePath(QStringLiteral("清空列表01a.png")),
        KCommon::skinImagePath(QStringLiteral("清空列表01a.png")), QString(), false);

    KTableWidget* table = m_ui->deletedTableWidget;
    table->setColumnCount(1);
    table->setRowFactory([this](int type, QWidget* viewport) -> KTableWidgetItemBase* {
        if (type != KTableWidgetItemBase::ITEM_DELETED_FILE)
            return nullptr;
        auto* row = new KTableWidgetDeletedFileItem(m_services, viewport);
        connect(row, &KTableWidgetDeletedFileItem::restored, this, &KDeletedWidget::onRowRestored);
        return row;
    });
    connect(table, &KTableWidget::sigRowRemoved, this, &KDeletedWidget::onRowRemoved);
    connect(m_ui->lblClearBtn, &KCommonButton::clicked, this, &KDeletedWidget::onClear);
    connect(m_ui->editSearch, &QLineEdit::textChanged, this, &KDeletedWidget::applySearch);
}

void KDeletedWidget::setServices(const KServices& services)
{
    m_services = services;
    KFileServiceManager* engine = services.engine;
    connect(
        engine, &KFileServiceManager::sigAfxDeletedPreUpdate, this, &KDeletedWidget::onAfxDeletedPreUpdate);
    connect(engine, &KFileServiceManager::sigAfxDeletedAddRow, this, &KDeletedWidget::onAfxDeletedAddRow);
    connect(
        engine, &KFileServiceManager::sigAfxDeletedEndUpdate, this, &KDeletedWidget::onAfxDeletedEndUpdate);
}

KDeletedWidget::~KDeletedWidget() = default;

KTableWidget* KDeletedWidget::table() const
{
    return m_ui->deletedTableWidget;
}

void KDeletedWidget::onAfxDeletedPreUpdate()
{
    // A row runs a box or a version dialog in its own slot: it must stay as it is meanwhile.
    m_updateAccepted
        = KYMessageBox::openMessageBoxCount() == 0 && KFileVersionDlg::openVersionDialogCount() == 0;
    if (m_updateAccepted)
        m_ui->deletedTableWidget->resetRows();
}

void KDeletedWidget::onAfxDeletedAddRow(const QString& strFileName)
{
    // A file brought back elsewhere is still gone from its place: it is shown once, at the end,
    // with its result.
    if (m_updateAccepted && !m_restored.contains(strFileName))
        m_ui->deletedTableWidget->addRow(
            strFileName, { strFileName, QString(), QString() }, KTableWidgetItemBase::ITEM_DELETED_FILE);
}

void KDeletedWidget::onAfxDeletedEndUpdate()
{
    if (!m_updateAccepted)
        return;
    KTableWidget* table = m_ui->deletedTableWidget;
    for (const RestoredRow& row : qAsConst(m_restored))
        table->addRow(
            row.key, { row.key, row.targetPath, row.message }, KTableWidgetItemBase::ITEM_DELETED_FILE);
    table->removeSurplusRows();
    applySearch();
    showEmptyState(table->rowCount() == 0);
}

void KDeletedWidget::applySearch()
{
    KTableWidget* table = m_ui->deletedTableWidget;
    const QString text = m_ui->editSearch->text();
    for (int row = 0; row < table->rowCount(); ++row)
        table->setRowHidden(row, !KRows::nameMatches(table->rowKey(row), text));
}

void KDeletedWidget::onRowRestored(const QString& key, const QString& targetPath, const QString& message)
{
    m_restored.insert(key, { targetPath, message, key });
}

void KDeletedWidget::onRowRemoved(const QString& strKey)
{
    m_restored.remove(strKey);
    // Told before the row goes: the list is about to be empty when this was its last row.
    if (m_ui->deletedTableWidget->rowCount() <= 1)
        showEmptyState(true);
}

void KDeletedWidget::onClear()
{
    if (KRestoreSteps::ask(window(), tr("提示"), tr("清空列表将再也无法找回这些文件，确定清空吗？"),
            tr("确定清空"), tr("取消"))
        != 1) {
        return;
    }
    KTableWidget* table = m_ui->deletedTableWidget;
    KFileServiceManager* engine = m_services.engine;
    QStringList keys;
    for (int i = 0; i < table->rowCount(); ++i)
        keys << table->rowKey(i);
    bool kept = false;
    for (const QString& key : qAsConst(keys)) {
        // A file brought back to its own place is there again: its protection stays. A file
        // whose copies could not all be deleted keeps its row.
        if (!KFileOps::status(key).exists && !engine->removeFile(key) && engine->findFile(key)) {
            kept = true;
            continue;
        }
        table->onRemoveRow(key);
    }
    m_restored.clear();
    if (kept)
        KRestoreSteps::inform(window(), QMessageBox::Information, tr("对不起，文件删除失败！"));
    if (table->rowCount() == 0)
        showEmptyState(true);
    writeManualTrace(QStringLiteral("清空删除列表"), QStringLiteral("误删找回"), QStringLiteral("Vaultkeep"));
}

void KDeletedWidget::showEmptyState(bool empty)
{
    if (empty) {
        m_noData->setGeometry(rect());
        m_noData->raise();
    }
    m_noData->setVisible(empty);
    m_ui->deletedTableWidget->setVisible(!empty);
    m_ui->lblTitleBG->setVisible(!empty);
    m_ui->lblTitleText->setVisible(!empty);
    m_ui->lblClearBtn->setVisible(!empty);
    m_ui->editSearch->setVisible(!empty);
}

void KDeletedWidget::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_ui->deletedTableWidget->setGeometry(0, 40, width(), height() - 40);
    m_ui->lblTitleBG->resize(width(), m_ui->lblTitleBG->height());
    m_ui->lblClearBtn->move(width() - 106, m_ui->lblClearBtn->y());
    m_ui->editSearch->move(m_ui->lblClearBtn->x() - m_ui->editSearch->width() - 10, m_ui->editSearch->y());
    m_ui->lblTitleText->resize(
        m_ui->editSearch->x() - m_ui->lblTitleText->x() - 8, m_ui->lblTitleText->height());
    if (m_noData->isVisible())
        m_noData->setGeometry(rect());
}
